#include "support/fakeserialcomponent.h"

#include "support/frames.h"

FakeSerialComponent::FakeSerialComponent(std::function<int64_t()> now, QObject *parent)
    : SerialComponent(parent)
    , m_now(std::move(now))
{
}

void FakeSerialComponent::setCommPort(int16_t port)
{
    m_port = port;
    record(QStringLiteral("port %1").arg(port));
}

bool FakeSerialComponent::setSettings(const QString &settings)
{
    record(QStringLiteral("settings ") + settings);
    return true;
}

void FakeSerialComponent::setInBufferCount(int count)
{
    if (count == 0)
        m_received.clear();
    record(QStringLiteral("inbuffer %1").arg(count));
}

void FakeSerialComponent::setRThreshold(int16_t threshold)
{
    record(QStringLiteral("rthreshold %1").arg(threshold));
}

void FakeSerialComponent::setInputMode(int mode)
{
    record(QStringLiteral("inputmode %1").arg(mode));
}

void FakeSerialComponent::setReceiveLatency(int16_t latency)
{
    record(QStringLiteral("latency %1").arg(latency));
}

bool FakeSerialComponent::setPortOpen(bool open)
{
    if (!open) {
        if (m_open)
            record(QStringLiteral("close"));
        m_open = false;
        return true;
    }
    if (m_open)
        return fail(PortError::PortInUse);
    if (m_port < 1 || m_port > 8)
        return fail(PortError::NoSuchPort);
    const PortFailure failure = m_openFailures.value(m_port);
    if (failure.error != PortError::None)
        return fail(failure);
    m_open = true;
    record(QStringLiteral("open"));
    return true;
}

bool FakeSerialComponent::output(const QByteArray &bytes)
{
    if (!m_open)
        return fail(PortError::PortClosed);
    if (m_writeFailure != PortError::None)
        return fail(m_writeFailure);
    const int64_t time = m_now ? m_now() : 0;
    m_written.append({time, m_port, bytes});
    record(QStringLiteral("write ") + hexBytes(bytes));
    return true;
}

QByteArray FakeSerialComponent::input()
{
    QByteArray bytes;
    bytes.swap(m_received);
    return bytes;
}

void FakeSerialComponent::receive(const QByteArray &bytes)
{
    m_received.append(bytes);
    emit OnComm();
}

void FakeSerialComponent::signalEmpty()
{
    emit OnComm();
}

void FakeSerialComponent::failOpen(int16_t port, PortError error, const QString &detail)
{
    m_openFailures.insert(port, {error, detail});
}

QStringList FakeSerialComponent::frameTrace() const
{
    QStringList lines;
    for (const Written &frame : m_written)
        lines.append(QStringLiteral("%1 %2").arg(frame.time).arg(hexBytes(frame.bytes)));
    return lines;
}

void FakeSerialComponent::clearRecords()
{
    m_written.clear();
    m_log.clear();
}

void FakeSerialComponent::record(const QString &what)
{
    m_log.append(QStringLiteral("%1 %2").arg(m_now ? m_now() : 0).arg(what));
}

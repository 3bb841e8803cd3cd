#include "busscanner.h"

#include "serial/commandframe.h"
#include "serial/serialcomponent.h"

BusScanner::BusScanner(SerialComponent &line, int firstAddress, int lastAddress, int timeoutMs,
                       QObject *parent)
    : QObject(parent)
    , m_line(line)
    , m_lastAddress(lastAddress)
    , m_address(firstAddress)
{
    m_timeout.setSingleShot(true);
    m_timeout.setTimerType(Qt::PreciseTimer);
    m_timeout.setInterval(timeoutMs);
    connect(&m_timeout, &QTimer::timeout, this, &BusScanner::judge);
    connect(&m_line, &SerialComponent::OnComm, this, &BusScanner::onComm);
}

void BusScanner::start()
{
    ask(InputStatusQuery);
}

QString BusScanner::replyFault(const QByteArray &reply, int address, uint8_t code)
{
    if (reply.size() < kFrameLength)
        return QStringLiteral("应答不完整(%1字节)").arg(reply.size());
    if (reply.size() > kFrameLength)
        return QStringLiteral("应答过长(%1字节)").arg(reply.size());
    if (!checksumValid(reply))
        return QStringLiteral("应答校验和错误");
    if (uint8_t(reply[0]) != 0xE0 || uint8_t(reply[2]) != code)
        return QStringLiteral("应答格式错误");
    if (uint8_t(reply[1]) != address)
        return QStringLiteral("应答地址错误(来自地址%1)").arg(uint8_t(reply[1]));
    return {};
}

void BusScanner::ask(uint8_t code)
{
    m_code = code;
    m_received.clear();
    // A late answer to the previous query must not count for this one.
    m_line.setInBufferCount(0);
    if (!m_line.output(commandFrame(uint8_t(m_address), code, 0))) {
        emit lineFailed(m_line.errorDescription());
        return;
    }
    m_timeout.start();
}

void BusScanner::onComm()
{
    if (!m_timeout.isActive())
        return;
    m_received += m_line.input();
    if (m_received.size() >= kFrameLength)
        judge();
}

void BusScanner::judge()
{
    m_timeout.stop();
    const QString fault = replyFault(m_received, m_address, m_code);
    if (m_code == InputStatusQuery) {
        if (m_received.isEmpty()) {
            nextAddress();
        } else if (!fault.isEmpty()) {
            emit badReply(m_address, fault, m_received);
            nextAddress();
        } else {
            m_host = Host{m_address, uint8_t(m_received[3]), uint8_t(m_received[4]), std::nullopt};
            ask(OutputStatusQuery);
        }
        return;
    }
    if (m_received.isEmpty())
        emit badReply(m_address, QStringLiteral("输出状态无应答"), m_received);
    else if (!fault.isEmpty())
        emit badReply(m_address, fault, m_received);
    else
        m_host.out = uint8_t(m_received[3]);
    emit hostFound(m_host);
    nextAddress();
}

void BusScanner::nextAddress()
{
    if (m_address >= m_lastAddress) {
        emit finished();
        return;
    }
    ++m_address;
    ask(InputStatusQuery);
}

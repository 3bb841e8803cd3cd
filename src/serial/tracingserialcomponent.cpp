#include "serial/tracingserialcomponent.h"

#include "serial/framemeaning.h"
#include "serial/portfailuretext.h"
#include "serial/portmap.h"
#include "serial/replyframer.h"
#include "serial/wiretrace.h"
#include "tracefile/tracewords.h"

TracingSerialComponent::TracingSerialComponent(SerialComponent &line, WireTrace &trace, QObject *parent)
    : SerialComponent(parent)
    , m_line(line)
    , m_trace(trace)
{
    connect(&m_line, &SerialComponent::OnComm, this, &SerialComponent::OnComm);
}

bool TracingSerialComponent::setSettings(const QString &settings)
{
    return passOn(m_line.setSettings(settings), QStringLiteral("settings ") + settings);
}

bool TracingSerialComponent::setPortOpen(bool open)
{
    const bool wasOpen = m_line.portOpen();
    const bool ok = m_line.setPortOpen(open);
    if (!open) {
        if (wasOpen)
            m_trace.write(traceword::kClose, {}, portName());
        return passOn(ok, QStringLiteral("close ") + portName());
    }
    if (ok)
        m_trace.write(traceword::kOpen, {}, portName());
    return passOn(ok, QStringLiteral("open ") + portName());
}

bool TracingSerialComponent::output(const QByteArray &bytes)
{
    // Traced before it goes, so the line's timestamp is no later than the
    // far end's.
    if (m_trace.takesLines())
        m_trace.write(traceword::kTx, bytes, commandMeaning(bytes));
    return passOn(m_line.output(bytes), QStringLiteral("write"));
}

QByteArray TracingSerialComponent::input()
{
    const QByteArray bytes = m_line.input();
    if (!bytes.isEmpty() && m_trace.takesLines())
        m_trace.write(traceword::kRx, bytes, receptionMeaning(bytes));
    return bytes;
}

void TracingSerialComponent::noteReception(const Reception &reception)
{
    if (m_trace.takesLines())
        m_trace.write(receptionVerdict(reception.kind), reception.bytes, verdictMeaning(reception));
}

void TracingSerialComponent::annotate(const char *what, const QByteArray &bytes, const QString &meaning)
{
    if (m_trace.takesLines())
        m_trace.write(what, bytes, meaning);
}

bool TracingSerialComponent::passOn(bool ok, const QString &doing)
{
    if (ok)
        return true;
    const PortFailure failure = m_line.failure();
    m_trace.write(traceword::kFail, {}, doing + QStringLiteral(": ") + portFailureDescription(failure));
    return fail(failure);
}

QString TracingSerialComponent::portName() const
{
    return QStringLiteral("COM%1 %2").arg(m_line.commPort()).arg(deviceForPort(m_line.commPort()));
}

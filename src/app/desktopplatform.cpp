#include "app/desktopplatform.h"

#include "platform/systemtimer.h"
#include "serial/qtserialcomponent.h"
#include "serial/tracingserialcomponent.h"
#include "serial/wiretrace.h"

#include <QCoreApplication>

DesktopPlatform::DesktopPlatform()
    : m_serial(std::make_unique<QtSerialComponent>())
{
    const QString traceSetting = qEnvironmentVariable("ALARM_HOST_TESTER_TRACE");
    if (traceSetting.isEmpty())
        return;
    m_trace = std::make_unique<WireTrace>(traceSetting);
    m_traced = std::make_unique<TracingSerialComponent>(*m_serial, *m_trace);
}

DesktopPlatform::~DesktopPlatform() = default;

IntervalTimer *DesktopPlatform::createTimer(QObject *parent)
{
    return createSystemTimer(parent);
}

SerialComponent &DesktopPlatform::serial()
{
    if (m_traced)
        return *m_traced;
    return *m_serial;
}

void DesktopPlatform::endProgram()
{
    m_ended = true;
    serial().setPortOpen(false);
    // Leaves every running event loop, message boxes included; before the
    // main loop runs, main() looks at ended() instead.
    QCoreApplication::exit(0);
}

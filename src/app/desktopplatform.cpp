#include "desktopplatform.h"

#include "link/qtserialcomponent.h"
#include "platform/qtintervaltimer.h"

#include <QCoreApplication>

DesktopPlatform::DesktopPlatform()
    : m_serial(std::make_unique<QtSerialComponent>())
{
}

DesktopPlatform::~DesktopPlatform() = default;

IntervalTimer *DesktopPlatform::createTimer(QObject *parent)
{
    return new QtIntervalTimer(parent);
}

SerialComponent &DesktopPlatform::serial()
{
    return *m_serial;
}

void DesktopPlatform::endProgram()
{
    m_ended = true;
    m_serial->setPortOpen(false);
    // Leaves every running event loop, message boxes included; before the
    // main loop runs, main() looks at ended() instead.
    QCoreApplication::exit(0);
}

#pragma once

#include "platform/platform.h"
#include "platform/qtmessagebox.h"
#include "platform/singleinstance.h"

#include <memory>

class QtSerialComponent;
class QWidget;
class TracingSerialComponent;
class WireTrace;

// The platform of the real program: precise timers, the real serial port,
// real message boxes and the lock file of the single-instance test. With
// ALARM_HOST_TESTER_TRACE set (a file, a folder or the user's data folder,
// see WireTrace), what goes over the line is traced there; without it
// nothing is opened or written.
class DesktopPlatform : public Platform
{
public:
    DesktopPlatform();
    ~DesktopPlatform() override;

    void setWindow(QWidget *window) { m_messageBox.setParent(window); }

    IntervalTimer *createTimer(QObject *parent) override;
    SerialComponent &serial() override;
    MessageBox &messageBox() override { return m_messageBox; }
    bool anotherInstanceRunning() override { return m_instance.anotherRunning(); }
    void endProgram() override;

    bool ended() const { return m_ended; }

private:
    std::unique_ptr<QtSerialComponent> m_serial;
    std::unique_ptr<WireTrace> m_trace;
    std::unique_ptr<TracingSerialComponent> m_traced;
    QtMessageBox m_messageBox;
    SingleInstance m_instance;
    bool m_ended = false;
};

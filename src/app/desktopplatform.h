#pragma once

#include "platform/platform.h"
#include "platform/qtmessagebox.h"
#include "platform/singleinstance.h"

#include <memory>

class QtSerialComponent;
class QWidget;

// The platform of the real program: precise timers, the real serial port,
// real message boxes and the lock file of the single-instance test.
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
    QtMessageBox m_messageBox;
    SingleInstance m_instance;
    bool m_ended = false;
};

#pragma once

#include "serial/portfailure.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>

struct Reception;

// The window's serial-port component (MSComm1). Every serial byte of the
// program goes through this interface; the real port and the test double
// both implement it.
//
// Operations that can fail return false and leave what went wrong in
// failure(); the texts for it are chosen by whoever shows it.
class SerialComponent : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Port number 1..8 for COM1..COM8; selects the device of the next open.
    virtual void setCommPort(int16_t port) = 0;
    virtual int16_t commPort() const = 0;
    // Line settings such as "9600,n,8,1", used by the next open.
    virtual bool setSettings(const QString &settings) = 0;
    // Only 0 is meaningful: discards everything received.
    virtual void setInBufferCount(int count) = 0;
    virtual void setRThreshold(int16_t threshold) = 0;
    // 1 = binary: input() returns bytes.
    virtual void setInputMode(int mode) = 0;
    // How long the line may hold received bytes back before passing them on;
    // 0 asks the driver for its lowest latency at open.
    virtual void setReceiveLatency(int16_t latency) = 0;

    virtual bool portOpen() const = 0;
    virtual bool setPortOpen(bool open) = 0;

    // Writes all bytes, in order, unaltered.
    virtual bool output(const QByteArray &bytes) = 0;
    virtual int inBufferCount() const = 0;
    // Every waiting byte; the receive buffer is empty afterwards.
    virtual QByteArray input() = 0;

    PortFailure failure() const { return m_failure; }

    // What the receiver made of a piece of a reception, for the trace of
    // the line where one is kept.
    virtual void noteReception(const Reception &reception) { Q_UNUSED(reception); }
    // A line for the trace of the line, where one is kept: what the
    // receiver made of a reception, or what the program began or ended.
    virtual void annotate(const char *what, const QByteArray &bytes, const QString &meaning)
    {
        Q_UNUSED(what);
        Q_UNUSED(bytes);
        Q_UNUSED(meaning);
    }

signals:
    // Raised on the GUI thread when received bytes are waiting.
    void OnComm();

protected:
    bool fail(PortError error, const QString &detail = {}) { return fail(PortFailure{error, detail}); }
    bool fail(const PortFailure &failure)
    {
        m_failure = failure;
        return false;
    }

private:
    PortFailure m_failure;
};

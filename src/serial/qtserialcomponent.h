#pragma once

#include "serial/linesettings.h"
#include "serial/receivebursts.h"
#include "serial/serialcomponent.h"

#include <QDeadlineTimer>
#include <QSerialPort>

// The serial-port component on a real port: received bytes are handed on
// per burst (ReceiveBursts).
class QtSerialComponent : public SerialComponent
{
    Q_OBJECT

public:
    explicit QtSerialComponent(QObject *parent = nullptr);
    ~QtSerialComponent() override;

    void setCommPort(int16_t port) override;
    int16_t commPort() const override { return m_commPort; }
    bool setSettings(const QString &settings) override;
    void setInBufferCount(int count) override;
    // Receptions are always raised per reply burst and read as bytes, so
    // neither setting changes anything here.
    void setRThreshold(int16_t) override {}
    void setInputMode(int) override {}
    void setReceiveLatency(int16_t latency) override { m_receiveLatency = latency; }

    bool portOpen() const override { return m_open; }
    bool setPortOpen(bool open) override;

    bool output(const QByteArray &bytes) override;
    int inBufferCount() const override;
    QByteArray input() override;

    LineSettings lineSettings() const { return m_settings; }
    // Silence after which a partial reply is handed on.
    int quietIntervalMs() const { return m_bursts.quietIntervalMs(); }

private:
    bool open();
    void close();
    bool waitForDriverQueue(const QDeadlineTimer &deadline);
    void waitForTransmitter(const QDeadlineTimer &deadline);
    QDeadlineTimer lineTimeFromNow(int characters) const;
    bool applySettings();
    void onReadyRead();
    void onBurstEnded();
    void onErrorOccurred(QSerialPort::SerialPortError error);
    void releaseLostDevice();

    QSerialPort m_port;
    ReceiveBursts m_bursts;
    LineSettings m_settings;
    int16_t m_commPort = 1;
    int16_t m_receiveLatency = -1;
    // Open as the callers see it; stays set after the device vanished until
    // they close the port.
    bool m_open = false;
    // Set when the device vanished under an open port.
    bool m_deviceGone = false;
    // Set by a write error reported while output() runs.
    bool m_writeFailed = false;
    // When the last frame has been sent, counted from when it was written
    // or last seen leaving the driver's queue.
    QDeadlineTimer m_lastFrameOut;
};

#pragma once

#include "serial/serialcomponent.h"

#include <QDeadlineTimer>
#include <QSerialPort>
#include <QTimer>

#include <optional>

// Line settings of the "9600,n,8,1" form.
struct LineSettings
{
    qint32 baudRate = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;

    // Empty for text that is not a valid setting.
    static std::optional<LineSettings> parse(const QString &text);
    // Bits on the line per character, start and stop bits included.
    double bitsPerCharacter() const;
};

// The serial-port component on a real port.
//
// Replies come in six-byte frames and the callers read each receive event
// as the start of a frame, so received bytes are handed on per burst: one
// OnComm once a frame's worth is waiting or the line has gone quiet.
class QtSerialComponent : public SerialComponent
{
    Q_OBJECT

public:
    static inline const QString kInvalidSettings = QStringLiteral("无效的通信参数设置");
    static inline const QString kDeviceGone = QStringLiteral("端口设备已断开");
    static inline const QString kWriteFailed = QStringLiteral("端口写入失败");
    // Followed by the settings text or the device.
    static inline const QString kUnsupportedSettings = QStringLiteral("端口不支持通信参数");
    static inline const QString kOpenFailed = QStringLiteral("无法打开端口设备");

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
    int quietIntervalMs() const;

private:
    bool open();
    QString openFailure(const QString &device) const;
    void close();
    bool waitForDriverQueue(const QDeadlineTimer &deadline);
    void waitForTransmitter(const QDeadlineTimer &deadline);
    QDeadlineTimer lineTimeFromNow(int characters) const;
    bool applySettings();
    void requestLowLatency();
    void onReadyRead();
    void onQuiet();
    void onErrorOccurred(QSerialPort::SerialPortError error);
    void releaseLostDevice();

    QSerialPort m_port;
    QTimer m_quiet;
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

#pragma once

#include "serial/serialcomponent.h"

class WireTrace;

// Passes every call on to the serial component that does the work and
// writes what went over the line to a trace: frames written, receptions
// read, opening, closing and failures.
class TracingSerialComponent : public SerialComponent
{
    Q_OBJECT

public:
    // `line` and `trace` must outlive this component.
    TracingSerialComponent(SerialComponent &line, WireTrace &trace, QObject *parent = nullptr);

    void setCommPort(int16_t port) override { m_line.setCommPort(port); }
    int16_t commPort() const override { return m_line.commPort(); }
    bool setSettings(const QString &settings) override;
    void setInBufferCount(int count) override { m_line.setInBufferCount(count); }
    void setRThreshold(int16_t threshold) override { m_line.setRThreshold(threshold); }
    void setInputMode(int mode) override { m_line.setInputMode(mode); }
    void setReceiveLatency(int16_t latency) override { m_line.setReceiveLatency(latency); }

    bool portOpen() const override { return m_line.portOpen(); }
    bool setPortOpen(bool open) override;

    bool output(const QByteArray &bytes) override;
    int inBufferCount() const override { return m_line.inBufferCount(); }
    QByteArray input() override;
    void noteReception(const Reception &reception) override;
    void annotate(const char *what, const QByteArray &bytes, const QString &meaning) override;

private:
    // The result of a call on the line; a failure is traced and
    // becomes ours.
    bool passOn(bool ok, const QString &doing);
    QString portName() const;

    SerialComponent &m_line;
    WireTrace &m_trace;
};

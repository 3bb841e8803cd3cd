#pragma once

#include "serial/serialcomponent.h"

#include <QHash>
#include <QList>
#include <QStringList>

#include <functional>

// For the failures in data-driven tests.
Q_DECLARE_METATYPE(PortFailure)

// Test double of the serial component: records every set-up step, open,
// close and written frame with its (virtual) time, and lets a test inject
// receptions. Ports 1..8 exist and open unless told otherwise.
class FakeSerialComponent : public SerialComponent
{
    Q_OBJECT

public:
    struct Written
    {
        int64_t time = 0;
        int16_t port = 0;
        QByteArray bytes;
    };

    explicit FakeSerialComponent(std::function<int64_t()> now, QObject *parent = nullptr);

    void setCommPort(int16_t port) override;
    int16_t commPort() const override { return m_port; }
    bool setSettings(const QString &settings) override;
    void setInBufferCount(int count) override;
    void setRThreshold(int16_t threshold) override;
    void setInputMode(int mode) override;
    void setReceiveLatency(int16_t latency) override;
    bool portOpen() const override { return m_open; }
    bool setPortOpen(bool open) override;
    bool output(const QByteArray &bytes) override;
    int inBufferCount() const override { return int(m_received.size()); }
    QByteArray input() override;

    // A reception: the bytes wait in the buffer and the receive event fires.
    void receive(const QByteArray &bytes);
    // A receive event with nothing waiting (a line-state change).
    void signalEmpty();

    // Opening this port fails so (PortError::None = opens again).
    void failOpen(int16_t port, PortError error, const QString &detail = {});
    void failOpen(int16_t port, const PortFailure &failure) { failOpen(port, failure.error, failure.detail); }
    // Every write fails so (PortError::None = writes work again).
    void failWrites(PortError error) { m_writeFailure = error; }

    const QList<Written> &written() const { return m_written; }
    // Frames as "time HEX HEX ..." lines, for exact trace comparisons.
    QStringList frameTrace() const;
    // Every operation in order, e.g. "0 port 1", "0 open", "50 write E0 00 3F 00 00 1F".
    const QStringList &log() const { return m_log; }
    void clearRecords();

private:
    void record(const QString &what);

    std::function<int64_t()> m_now;
    int16_t m_port = 1;
    bool m_open = false;
    QByteArray m_received;
    QHash<int16_t, PortFailure> m_openFailures;
    PortError m_writeFailure = PortError::None;
    QList<Written> m_written;
    QStringList m_log;
};

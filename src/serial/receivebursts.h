#pragma once

#include "serial/linesettings.h"

#include <QObject>
#include <QTimer>

// Replies come in six-byte frames and the callers read each receive event
// as the start of a frame, so received bytes are handed on per burst: one
// burstEnded once a frame's worth is waiting or the line has gone quiet.
class ReceiveBursts : public QObject
{
    Q_OBJECT

public:
    explicit ReceiveBursts(QObject *parent = nullptr);

    void setLineSettings(const LineSettings &settings) { m_settings = settings; }
    // Silence after which a partial reply is handed on.
    int quietIntervalMs() const;

    // `waiting` bytes are waiting to be read.
    void bytesWaiting(qint64 waiting);
    // Forgets the burst under way.
    void stop() { m_quiet.stop(); }

signals:
    // Always raised from the timer: a handler that closes the port must not
    // do so inside QSerialPort's own read notification.
    void burstEnded();

private:
    QTimer m_quiet;
    LineSettings m_settings;
};

#pragma once

#include "recordbuilder.h"

#include <QFile>

// The decoded frames as CSV, written as they are read: time, direction,
// bytes, meaning, verdict.
class CsvWriter
{
public:
    // False with the reason in `error` when the file cannot be made.
    bool open(const QString &path, QString *error);
    void write(const RecordBuilder::Frame &frame);
    // False with the reason in `error` when a write failed.
    bool close(QString *error);

private:
    QByteArray isoTime(qint64 micros, int utcOffsetSeconds);

    QFile m_file;
    // The ISO text up to the minute, and the offset, of the minute last
    // written: a day's trace has millions of lines and only 1440 minutes.
    qint64 m_minute = -1;
    int m_offset = 0;
    QByteArray m_minuteText;
    QByteArray m_offsetText;
};

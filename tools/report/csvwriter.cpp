#include "csvwriter.h"

#include <QDateTime>

#include <cstdio>

bool CsvWriter::open(const QString &path, QString *error)
{
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = m_file.errorString();
        return false;
    }
    m_file.write("time,direction,bytes,meaning,verdict\n");
    return true;
}

void CsvWriter::write(const RecordBuilder::Frame &frame)
{
    QByteArray line = isoTime(frame.time, frame.utcOffsetSeconds);
    line += frame.sent ? ",tx," : ",rx,";
    line += frame.bytes.toHex(' ').toUpper();
    // Meanings hold commas; quotes inside are doubled.
    line += ",\"" + frame.meaning.toByteArray().replace('"', "\"\"") + "\",";
    line += frame.verdict.toByteArray();
    line += '\n';
    m_file.write(line);
}

QByteArray CsvWriter::isoTime(qint64 micros, int utcOffsetSeconds)
{
    const qint64 millis = micros / 1000;
    const qint64 local = millis + qint64(utcOffsetSeconds) * 1000;
    const qint64 minute = local / 60000 - (local % 60000 < 0 ? 1 : 0);
    if (minute != m_minute || utcOffsetSeconds != m_offset) {
        const QString text = QDateTime::fromMSecsSinceEpoch(millis, Qt::OffsetFromUTC, utcOffsetSeconds)
                                 .toString(Qt::ISODateWithMs);
        // "2026-12-08T08:00:" and "+08:00" (or "Z") around "SS.mmm".
        m_minuteText = text.left(17).toLatin1();
        m_offsetText = text.mid(23).toLatin1();
        m_minute = minute;
        m_offset = utcOffsetSeconds;
    }
    const qint64 inMinute = local - minute * 60000;
    char seconds[24];
    std::snprintf(seconds, sizeof seconds, "%02d.%03d", int(inMinute / 1000), int(inMinute % 1000));
    return m_minuteText + seconds + m_offsetText;
}

bool CsvWriter::close(QString *error)
{
    const bool ok = m_file.error() == QFileDevice::NoError && m_file.flush();
    if (!ok)
        *error = m_file.errorString();
    m_file.close();
    return ok;
}

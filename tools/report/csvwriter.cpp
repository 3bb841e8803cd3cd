#include "csvwriter.h"

#include <QDateTime>

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
    QByteArray line =
        QDateTime::fromMSecsSinceEpoch(frame.time / 1000, Qt::OffsetFromUTC, frame.utcOffsetSeconds)
            .toString(Qt::ISODateWithMs)
            .toLatin1();
    line += frame.sent ? ",tx," : ",rx,";
    line += frame.bytes.toHex(' ').toUpper();
    // Meanings hold commas; quotes inside are doubled.
    line += ",\"" + frame.meaning.toByteArray().replace('"', "\"\"") + "\",";
    line += frame.verdict.toByteArray();
    line += '\n';
    m_file.write(line);
}

bool CsvWriter::close(QString *error)
{
    const bool ok = m_file.error() == QFileDevice::NoError && m_file.flush();
    if (!ok)
        *error = m_file.errorString();
    m_file.close();
    return ok;
}

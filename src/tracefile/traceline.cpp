#include "tracefile/traceline.h"

#include <QDeadlineTimer>

QByteArray traceLine(qint64 micros, const char *what, const QByteArray &bytes, const QString &meaning)
{
    QByteArray line = QByteArray::number(micros) + ' ' + what;
    if (!bytes.isEmpty())
        line += ' ' + bytes.toHex(' ').toUpper();
    if (!meaning.isEmpty())
        line += "  " + meaning.toUtf8();
    return line + '\n';
}

qint64 traceMicroseconds()
{
    return QDeadlineTimer::current(Qt::PreciseTimer).deadlineNSecs() / 1000;
}

bool writeLine(QFile &file, const QByteArray &line, QString *error)
{
    qint64 written = file.write(line);
    // A write cut short (disk full, file size limit) says why on the next.
    if (written >= 0 && written < line.size())
        written += file.write(line.mid(written));
    if (written == line.size())
        return true;
    *error = file.errorString();
    return false;
}

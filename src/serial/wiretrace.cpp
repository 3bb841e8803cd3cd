#include "serial/wiretrace.h"

#include <QDeadlineTimer>

#include <cstdio>

WireTrace::WireTrace(const QString &path)
    : m_file(path)
{
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        giveUp("cannot open");
}

WireTrace::~WireTrace() = default;

qint64 WireTrace::nowMicroseconds()
{
    // The monotonic clock (CLOCK_MONOTONIC on Linux), as the simulator's.
    return QDeadlineTimer::current(Qt::PreciseTimer).deadlineNSecs() / 1000;
}

void WireTrace::write(const char *what, const QByteArray &bytes, const QString &meaning)
{
    if (!m_file.isOpen())
        return;
    QByteArray line = QByteArray::number(nowMicroseconds()) + ' ' + what;
    if (!bytes.isEmpty())
        line += ' ' + bytes.toHex(' ').toUpper();
    if (!meaning.isEmpty())
        line += "  " + meaning.toUtf8();
    line += '\n';
    if (m_file.write(line) != line.size()) {
        giveUp("cannot write");
        m_file.close();
    }
}

void WireTrace::giveUp(const char *doing)
{
    std::fprintf(stderr, "alarm-host-tester: %s trace file %s: %s; not traced\n", doing,
                 QFile::encodeName(m_file.fileName()).constData(),
                 m_file.errorString().toLocal8Bit().constData());
}

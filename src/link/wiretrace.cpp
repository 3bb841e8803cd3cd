#include "wiretrace.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <unistd.h>

WireTrace::WireTrace(const QString &path)
    : m_path(path)
{
    m_fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (m_fd < 0)
        giveUp("cannot open");
}

WireTrace::~WireTrace()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

qint64 WireTrace::nowMicroseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

void WireTrace::write(const char *what, const QByteArray &bytes, const QString &meaning)
{
    if (m_fd < 0)
        return;
    QByteArray line = QByteArray::number(nowMicroseconds()) + ' ' + what;
    if (!bytes.isEmpty())
        line += ' ' + bytes.toHex(' ').toUpper();
    if (!meaning.isEmpty())
        line += "  " + meaning.toUtf8();
    line += '\n';
    ssize_t written = 0;
    do {
        written = ::write(m_fd, line.constData(), size_t(line.size()));
    } while (written < 0 && errno == EINTR);
    if (written != line.size()) {
        giveUp("cannot write");
        ::close(m_fd);
        m_fd = -1;
    }
}

void WireTrace::giveUp(const char *doing)
{
    const int error = errno;
    std::fprintf(stderr, "alarm-host-tester: %s trace file %s: %s; not traced\n", doing,
                 QFile::encodeName(m_path).constData(), std::strerror(error));
}

#include "tracefile/regularfile_p.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TraceFileOpen openCheckedFile(QFile &file, QIODevice::OpenMode mode, QString *error)
{
    // Without O_NONBLOCK, a FIFO swapped in after the check would still hold
    // the open until a reader comes; O_NOFOLLOW refuses a link swapped in.
    int flags = O_WRONLY | O_CREAT | O_NOCTTY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW;
    if (mode & QIODevice::Append)
        flags |= O_APPEND;
    if (mode & QIODevice::NewOnly)
        flags |= O_EXCL;
    const int fd = ::open(QFile::encodeName(file.fileName()).constData(), flags, 0666);
    if (fd < 0 && errno == EEXIST)
        return TraceFileOpen::NameTaken;
    if (fd < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return TraceFileOpen::Refused;
    }
    struct stat status
    {
    };
    QString refusal;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        refusal = notRegular();
    else if (status.st_uid != ::geteuid())
        refusal = QStringLiteral("owned by another user");
    else if ((mode & QIODevice::Truncate) && ::ftruncate(fd, 0) != 0)
        refusal = QString::fromLocal8Bit(std::strerror(errno));
    if (!refusal.isEmpty()) {
        ::close(fd);
        *error = refusal;
        return TraceFileOpen::Refused;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    const QIODevice::OpenMode handled = QIODevice::Truncate | QIODevice::NewOnly;
    if (!file.open(fd, (mode & ~handled) | QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        *error = file.errorString();
        return TraceFileOpen::Refused;
    }
    return TraceFileOpen::Opened;
}

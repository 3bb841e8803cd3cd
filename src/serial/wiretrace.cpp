#include "serial/wiretrace.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdio>

#ifdef ALARM_LINUX_APIS
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Names tried in a trace folder before giving up.
constexpr int kMaxFolderNames = 1000;

QString notRegular()
{
    return QStringLiteral("not a regular file");
}

// The file a trace setting names: the setting itself, or the first name to
// try in the folder it names. `error` is set when the folder cannot be had.
QString tracePath(const QString &setting, bool *inFolder, QString *error)
{
    QString folder = setting;
    if (setting == QLatin1String(WireTrace::kDataFolderSetting)) {
        folder = WireTrace::dataFolder();
        if (folder.isEmpty()) {
            *error = QStringLiteral("no data folder known for this user");
            return setting;
        }
    } else if (!setting.endsWith(u'/') && !setting.endsWith(QDir::separator())
               && !QFileInfo(setting).isDir()) {
        return setting;
    }
    *inFolder = true;
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("cannot make the folder");
        return folder;
    }
    return QDir(folder).filePath(QStringLiteral("trace-")
                                 + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))
                                 + QStringLiteral(".txt"));
}

// The n-th name of a folder's trace: "trace-<stamp>-<n>.txt".
QString numbered(const QString &first, int n)
{
    return first.chopped(4) + QStringLiteral("-%1.txt").arg(n);
}

} // namespace

QByteArray traceLine(qint64 micros, const char *what, const QByteArray &bytes, const QString &meaning)
{
    QByteArray line = QByteArray::number(micros) + ' ' + what;
    if (!bytes.isEmpty())
        line += ' ' + bytes.toHex(' ').toUpper();
    if (!meaning.isEmpty())
        line += "  " + meaning.toUtf8();
    return line + '\n';
}

TraceFileOpen openRegularFile(QFile &file, QIODevice::OpenMode mode, QString *error)
{
    // Checked before opening as well: opening a device can have effects of
    // its own (a serial port raises its control lines).
    const QFileInfo info(file.fileName());
    if ((mode & QIODevice::NewOnly) && (info.exists() || info.isSymLink()))
        return TraceFileOpen::NameTaken;
    if (info.isSymLink()) {
        *error = QStringLiteral("a symbolic link");
        return TraceFileOpen::Refused;
    }
    if (info.exists() && !info.isFile()) {
        *error = notRegular();
        return TraceFileOpen::Refused;
    }
#ifdef ALARM_LINUX_APIS
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
#else
    // Elsewhere through QFile; the checks above are all there is.
    if (!file.open(mode | QIODevice::WriteOnly)) {
        if ((mode & QIODevice::NewOnly) && QFileInfo::exists(file.fileName()))
            return TraceFileOpen::NameTaken;
        *error = file.errorString();
        return TraceFileOpen::Refused;
    }
#endif
    return TraceFileOpen::Opened;
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

WireTrace::WireTrace(const QString &setting)
    : m_setting(setting)
{
}

bool WireTrace::open()
{
    m_opened = true;
    bool inFolder = false;
    QString why;
    const QString first = tracePath(m_setting, &inFolder, &why);
    m_path = first;
    const QIODevice::OpenMode mode =
        QIODevice::Unbuffered | (inFolder ? QIODevice::NewOnly : QIODevice::Append);
    TraceFileOpen result = TraceFileOpen::Refused;
    // A name taken by another start, or by anything else, between choosing
    // it and opening it moves on to the next.
    for (int n = 2; why.isEmpty() && n <= kMaxFolderNames; ++n) {
        m_file.setFileName(m_path);
        result = openRegularFile(m_file, mode, &why);
        if (result != TraceFileOpen::NameTaken)
            break;
        m_path = numbered(first, n);
    }
    if (result != TraceFileOpen::Opened) {
        giveUp("cannot open", why.isEmpty() ? QStringLiteral("no free name") : why);
        return false;
    }
    // The clock every line is stamped with, tied to the local date and
    // time, so a reader can tell when each line was written.
    const qint64 micros = nowMicroseconds();
    const QDateTime now = QDateTime::currentDateTime();
    const QString meaning = QStringLiteral("time=%1 version=%2")
                                .arg(now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODateWithMs),
                                     QStringLiteral("alarm-host-tester-" ALARM_VERSION));
    if (!writeLine(m_file, traceLine(micros, kBeginWhat, {}, meaning), &why)) {
        giveUp("cannot write", why);
        m_file.close();
        return false;
    }
    return true;
}

WireTrace::~WireTrace() = default;

qint64 WireTrace::nowMicroseconds()
{
    // The monotonic clock (CLOCK_MONOTONIC on Linux).
    return QDeadlineTimer::current(Qt::PreciseTimer).deadlineNSecs() / 1000;
}

QString WireTrace::dataFolder()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty())
        return {};
    return data + QStringLiteral("/alarm-host-tester");
}

void WireTrace::write(const char *what, const QByteArray &bytes, const QString &meaning)
{
    if (!m_opened && !open())
        return;
    if (!m_file.isOpen())
        return;
    QString why;
    if (!writeLine(m_file, traceLine(nowMicroseconds(), what, bytes, meaning), &why)) {
        giveUp("cannot write", why);
        m_file.close();
    }
}

void WireTrace::giveUp(const char *doing, const QString &why)
{
    std::fprintf(stderr, "alarm-host-tester: %s trace file %s: %s; not traced\n", doing,
                 QFile::encodeName(m_path).constData(), why.toLocal8Bit().constData());
}

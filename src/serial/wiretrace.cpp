#include "serial/wiretrace.h"

#include "tracefile/regularfile.h"
#include "tracefile/traceline.h"
#include "tracefile/tracewords.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdio>

namespace {

// Names tried in a trace folder before giving up.
constexpr int kMaxFolderNames = 1000;

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
    const qint64 micros = traceMicroseconds();
    const QDateTime now = QDateTime::currentDateTime();
    const QString meaning = QStringLiteral("time=%1 version=%2")
                                .arg(now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODateWithMs),
                                     QStringLiteral("alarm-host-tester-" ALARM_VERSION));
    if (!writeLine(m_file, traceLine(micros, traceword::kBegin, {}, meaning), &why)) {
        giveUp("cannot write", why);
        m_file.close();
        return false;
    }
    return true;
}

WireTrace::~WireTrace() = default;

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
    if (!writeLine(m_file, traceLine(traceMicroseconds(), what, bytes, meaning), &why)) {
        giveUp("cannot write", why);
        m_file.close();
    }
}

void WireTrace::giveUp(const char *doing, const QString &why)
{
    std::fprintf(stderr, "alarm-host-tester: %s trace file %s: %s; not traced\n", doing,
                 QFile::encodeName(m_path).constData(), why.toLocal8Bit().constData());
}

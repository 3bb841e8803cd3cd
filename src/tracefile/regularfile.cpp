#include "tracefile/regularfile.h"

#include "tracefile/regularfile_p.h"

#include <QFileInfo>

QString notRegular()
{
    return QStringLiteral("not a regular file");
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
    return openCheckedFile(file, mode, error);
}

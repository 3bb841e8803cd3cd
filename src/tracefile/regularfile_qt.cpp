#include "tracefile/regularfile_p.h"

#include <QFileInfo>

TraceFileOpen openCheckedFile(QFile &file, QIODevice::OpenMode mode, QString *error)
{
    if (!file.open(mode | QIODevice::WriteOnly)) {
        if ((mode & QIODevice::NewOnly) && QFileInfo::exists(file.fileName()))
            return TraceFileOpen::NameTaken;
        *error = file.errorString();
        return TraceFileOpen::Refused;
    }
    return TraceFileOpen::Opened;
}

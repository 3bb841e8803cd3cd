#pragma once

#include "recordbuilder.h"

#include <QFile>

// The decoded frames as CSV, written as they are read: time, direction,
// bytes, meaning, verdict.
class CsvWriter
{
public:
    // False with the reason in `error` when the file cannot be made.
    bool open(const QString &path, QString *error);
    void write(const RecordBuilder::Frame &frame);
    // False with the reason in `error` when a write failed.
    bool close(QString *error);

private:
    QFile m_file;
};

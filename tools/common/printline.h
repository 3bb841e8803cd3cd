#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>

// One line of text on a standard stream, flushed at once: tests and scripts
// read the tools' output through pipes while they run.
inline void printLine(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

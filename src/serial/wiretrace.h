#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// A trace file of what went over the line. One line per event:
//   <CLOCK_MONOTONIC microseconds> <what>[ <bytes in hex>][  <meaning>]
// the same clock and first three fields as the host simulator's trace.
// Each line is one unbuffered write to a file opened for appending, so it is
// in the file as soon as it happened, whatever the program does next. A file that
// cannot be opened or written costs one line on standard error; the trace
// then stays silent.
class WireTrace
{
public:
    explicit WireTrace(const QString &path);
    ~WireTrace();
    WireTrace(const WireTrace &) = delete;
    WireTrace &operator=(const WireTrace &) = delete;

    bool isOpen() const { return m_file.isOpen(); }
    void write(const char *what, const QByteArray &bytes, const QString &meaning);

    static qint64 nowMicroseconds();

private:
    void giveUp(const char *doing);

    QFile m_file;
};

#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// One line of a trace of the line, shared by the tester's trace and the host
// simulator's, so the two files of one session merge by time:
//   <CLOCK_MONOTONIC microseconds> <what>[ <bytes in hex>][  <meaning>]\n
QByteArray traceLine(qint64 micros, const char *what, const QByteArray &bytes, const QString &meaning = {});

enum class TraceFileOpen { Opened, NameTaken, Refused };

// Opens `file` for writing (with the Append, Truncate, NewOnly or Unbuffered
// flags of `mode`) only if it is, or is created as, a regular file of this
// user, named without a symbolic link. A FIFO, a device or a terminal is
// refused without waiting for a reader, so tracing never blocks and a reader
// going away cannot raise SIGPIPE; a link or another user's file is refused
// so that no one can point the lines, or the emptying, at a file of their
// choice. Truncate empties the file only once it has passed. NameTaken: a
// NewOnly name is in use. `error` names the reason of a refusal.
// (The file's name is not kept: QFile drops it when opened on a descriptor.)
TraceFileOpen openRegularFile(QFile &file, QIODevice::OpenMode mode, QString *error);
// Writes all of `line`; false with the reason in `error` if it cannot.
bool writeLine(QFile &file, const QByteArray &line, QString *error);

// A trace file of what went over the line, one line per event (traceLine).
// Each line is one unbuffered write to a file opened for appending, so it is
// in the file as soon as it happened, whatever the program does next. The
// file is opened at the first line, so a start that ends before using the
// line (a second copy refused) leaves no file behind. A file that cannot be
// opened or written costs one line on standard error; the trace then stays
// silent.
class WireTrace
{
public:
    // The setting names a file to append to, or a folder (one that exists,
    // or any path ending in a separator) for a new file in it named by the
    // date and time (-2, -3, ... added while the name is taken), or
    // kDataFolderSetting for such a file in dataFolder(). A missing folder
    // is made.
    explicit WireTrace(const QString &setting);
    ~WireTrace();
    WireTrace(const WireTrace &) = delete;
    WireTrace &operator=(const WireTrace &) = delete;

    void write(const char *what, const QByteArray &bytes, const QString &meaning);
    // False once the file could not be opened or written: callers can skip
    // working out the meaning of lines nobody will read.
    bool takesLines() const { return !m_opened || m_file.isOpen(); }

    static qint64 nowMicroseconds();

    // The first line of each file: "<µs> begin  time=<local ISO 8601 with
    // UTC offset> version=alarm-host-tester-<version>".
    static constexpr const char *kBeginWhat = "begin";

    // A menu entry cannot name the user's home, so it gives this instead.
    static constexpr const char *kDataFolderSetting = "@data";
    // The user's own data folder for traces, e.g. ~/.local/share/alarm-host-tester.
    static QString dataFolder();

private:
    bool open();
    void giveUp(const char *doing, const QString &why);

    QString m_setting;
    QString m_path;
    QFile m_file;
    bool m_opened = false;
};

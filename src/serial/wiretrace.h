#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

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

#pragma once

#include <QString>
#include <QStringList>

class QIODevice;
class RecordBuilder;

// Reads trace files line by line into a record builder. What cannot be
// read is passed over and said in a message; a file of which nothing could
// be read (missing, a folder, empty, binary, not the tester's trace) gives
// no line at all.
class TraceReader
{
public:
    // Longer lines are no trace's; they are skipped.
    static constexpr qint64 kLongestLine = 1 << 20;

    explicit TraceReader(RecordBuilder &builder);

    // False when nothing of the file could be read.
    bool read(const QString &path);
    // The same for an open device; `name` stands for it in the messages.
    bool read(QIODevice &device, const QString &name);
    // "<file>: <what was wrong>", one per finding, in Chinese.
    QStringList messages() const { return m_messages; }

private:
    void say(const QString &path, const QString &text);

    RecordBuilder &m_builder;
    QStringList m_messages;
};

#include "tracereader.h"

#include "recordbuilder.h"
#include "traceline.h"

#include <QFile>
#include <QFileInfo>

namespace {

// The host simulator's trace has lines of the same shape, but no meanings
// and words of its own.
bool simulatorLine(const TraceLine &line)
{
    return line.what == TraceWhat::SimulatorWord
           || ((line.what == TraceWhat::Tx || line.what == TraceWhat::Rx) && line.meaning.isEmpty());
}

} // namespace

TraceReader::TraceReader(RecordBuilder &builder)
    : m_builder(builder)
{
}

void TraceReader::say(const QString &path, const QString &text)
{
    m_messages.append(path + QStringLiteral(": ") + text);
}

bool TraceReader::read(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        say(path, QStringLiteral("文件不存在"));
        return false;
    }
    if (info.isDir()) {
        say(path, QStringLiteral("是文件夹,不是通讯记录"));
        return false;
    }
    if (!info.isFile()) {
        say(path, QStringLiteral("不是普通文件,不是通讯记录"));
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        say(path, QStringLiteral("无法打开(%1)").arg(file.errorString()));
        return false;
    }
    return read(file, path);
}

bool TraceReader::read(QIODevice &file, const QString &path)
{
    m_builder.beginFile(path);
    QByteArray buffer(kLongestLine + 2, Qt::Uninitialized);
    qint64 bytesRead = 0;
    qint64 lines = 0;
    qint64 unreadable = 0;
    qint64 overlong = 0;
    bool truncated = false;
    bool binary = false;
    bool simulator = false;
    TraceLine line;
    for (;;) {
        const qint64 n = file.readLine(buffer.data(), buffer.size());
        if (n <= 0)
            break;
        bytesRead += n;
        if (buffer[n - 1] != '\n') {
            if (n < buffer.size() - 1) {
                truncated = true;
                break;
            }
            // Over the longest: passed over up to its end.
            ++overlong;
            qint64 rest = n;
            while (rest == buffer.size() - 1 && buffer[rest - 1] != '\n') {
                rest = file.readLine(buffer.data(), buffer.size());
                bytesRead += std::max<qint64>(rest, 0);
            }
            continue;
        }
        QByteArrayView text(buffer.constData(), n - 1);
        if (text.endsWith('\r'))
            text.chop(1);
        if (text.isEmpty())
            continue;
        if (!parseTraceLine(text, &line)) {
            ++unreadable;
            binary = binary || text.contains('\0');
            continue;
        }
        if (simulatorLine(line)) {
            simulator = true;
            break;
        }
        m_builder.add(line);
        ++lines;
    }

    if (simulator) {
        say(path, QStringLiteral("是模拟主机的记录(alarm-host-sim --trace),不是测试软件的通讯记录"));
        return lines > 0;
    }
    if (bytesRead == 0)
        say(path, QStringLiteral("文件是空的"));
    else if (lines == 0 && binary)
        say(path, QStringLiteral("是二进制文件,不是通讯记录"));
    else if (lines == 0 && !truncated)
        say(path, QStringLiteral("不是测试软件的通讯记录"));
    if (overlong > 0)
        say(path, QStringLiteral("%1 行超过 1 MiB,已跳过").arg(overlong));
    if (lines > 0 && unreadable > 0)
        say(path, QStringLiteral("%1 行无法识别,已跳过").arg(unreadable));
    if (truncated)
        say(path, QStringLiteral("最后一行不完整(记录也许还在写),已跳过"));
    return lines > 0;
}

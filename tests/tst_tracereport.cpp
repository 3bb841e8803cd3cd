#include "reportrun.h"
#include "tracereader.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

namespace {

// "3F:02" is the frame E0 00 3F 02 00 <checksum>, "3F:00:80" sets byte 4
// too, "7@3F:80" comes from address 7, a trailing "!" spoils the checksum;
// anything else is taken as hex.
QByteArray frame(const QString &token)
{
    const QStringList parts = token.section(u'@', -1).remove(u'!').split(u':');
    if (parts.size() < 2)
        return QByteArray::fromHex(token.toLatin1());
    QByteArray bytes(6, '\0');
    bytes[0] = char(0xE0);
    bytes[1] = char(token.contains(u'@') ? token.section(u'@', 0, 0).toInt() : 0);
    for (int i = 0; i < parts.size(); ++i)
        bytes[2 + i] = char(parts[i].toInt(nullptr, 16));
    int sum = 0;
    for (int i = 0; i < 5; ++i)
        sum += uint8_t(bytes[i]);
    bytes[5] = char(sum + (token.endsWith(u'!') ? 1 : 0));
    return bytes;
}

// Lines "<ms> <what>[ <frame>][ | <meaning>]" as the tester writes them,
// after a first line at 10:00:00 (UTC+8) unless the first is "older".
QByteArray trace(const QStringList &lines)
{
    QByteArray text;
    if (lines.value(0) != QLatin1String("older"))
        text = "1000000 begin  time=2026-12-08T10:00:00.000+08:00 version=alarm-host-tester-1.0.0\n";
    for (const QString &line : lines.mid(text.isEmpty() ? 1 : 0)) {
        const QStringList fields = line.section(QLatin1String(" | "), 0, 0).split(u' ');
        QString meaning = line.section(QLatin1String(" | "), 1);
        if (meaning.isEmpty() && fields.size() > 2)
            meaning = QStringLiteral("m");
        text += QByteArray::number(1000000 + fields[0].toLongLong() * 1000) + ' ' + fields[1].toLatin1();
        if (fields.size() > 2)
            text += ' ' + frame(fields[2]).toHex(' ').toUpper();
        text += (meaning.isEmpty() ? QByteArray() : "  " + meaning.toUtf8()) + '\n';
    }
    return text;
}

QString valueAt(QJsonValue value, const QString &path)
{
    for (const QString &key : path.split(u'/'))
        value = value.isArray() ? value[key.toInt()] : value[key];
    if (value.isString())
        return value.toString();
    return QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact))
        .mid(1)
        .chopped(1);
}

// Where the report reads: `content` written to a file of the folder.
using Place = std::function<QString(const QDir &)>;
Place file(const QByteArray &content)
{
    return [content](const QDir &dir) {
        QFile file(dir.filePath(QStringLiteral("trace.txt")));
        if (file.open(QIODevice::WriteOnly))
            file.write(content);
        return file.fileName();
    };
}

} // namespace

Q_DECLARE_METATYPE(Place)

// The report on small traces: what each line adds up to, and what the
// reader makes of what is no trace.
class TestTraceReport : public QObject
{
    Q_OBJECT

private slots:
    void report_data();
    void report();
};

void TestTraceReport::report_data()
{
    QTest::addColumn<Place>("place");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");      // part of what the run says; empty for nothing
    QTest::addColumn<QStringList>("expected"); // "path=value" of the JSON view
    const auto record = [](const char *name, const QStringList &lines, const QStringList &expected) {
        QTest::newRow(name) << file(trace(lines)) << 0 << QString() << expected;
    };
    const auto badInput = [](const char *name, const Place &place, int status, const QString &message,
                             const QStringList &expected = {}) {
        QTest::newRow(name) << place << status << message << expected;
    };
    const QString pollStart = QStringLiteral("0 poll-start | address=0 inputs=8 period_ms=50");
    const QStringList walk{pollStart,        "50 tx 3F:00",     "58 rx 3F:02",     "58 filed 3F:02",
                           "70 tx 3B:00",    "78 rx 3B:00",     "78 filed 3B:00",  "110 tx 3D:01",
                           "200 tx 3F:00",   "208 rx 3F:00",    "208 filed 3F:00", "220 tx 3B:00",
                           "229 rx 3B:01",   "229 filed 3B:01", "260 tx 3D:00",    "350 tx 3F:00",
                           "358 rx 3F:00",   "358 filed 3F:00", "370 tx 3B:00",    "378 rx 3B:00",
                           "378 filed 3B:00"};
    record("walk test", walk,
           {"session/start=2026-12-08T10:00:00.000+08:00", "session/inputs=8", "inputs/1/verdict=tested",
            "inputs/1/events/0/time=2026-12-08T10:00:00.058+08:00", "inputs/1/events/1/event=restore",
            "inputs/0/verdict=untested", "outputs/0/verdict=confirmed", "outputs/0/events/0/delay_ms=119",
            "outputs/1/verdict=untested", "link/queries/3F/answered=3", "link/queries/3D/sent=2",
            "link/response_ms/median=8", "link/verdict=good"});
    record("in alarm at the end, output never reported",
           walk.mid(0, 14) + QStringList{"300 tx 3F:00", "308 rx 3F:02", "308 filed 3F:02"},
           {"inputs/1/verdict=in-alarm", "outputs/0/verdict=unconfirmed"});
    record("echo shown by the reply after it",
           {"50 tx 3F:00", "51 rx 3F:00", "51 filed 3F:00", "58 rx 3F:04", "58 echo 3F:00", "58 filed 3F:04",
            "200 tx 3F:00"},
           {"link/receptions/echo=1", "link/replies=1", "inputs/2/activations=1", "link/response_ms/max=8",
            "link/queries/3F/missing=1"});
    record("missing replies, a bad frame, a gap",
           {"50 tx 3F:00", "58 rx 3F:00!", "58 bad-checksum 3F:00!", "70 tx 3B:00", "78 rx 3B:00",
            "78 filed 3B:00", "5070 tx 3F:00", "5090 tx 3B:00"},
           {"link/queries/3F/missing=2", "link/queries/3B/answered=1", "link/receptions/bad_checksum=1",
            "link/fault_per_mille=1000", "link/verdict=faulty", "link/gaps/0/seconds=5.02"});
    record("linkage",
           {"0 linkage-start | filter_ms=0 reset_ms=0 table=2:5", "50 tx 3F:00", "58 rx 3F:02",
            "58 filed 3F:02", "78 tx 3D:10", "200 linkage-end"},
           {"linkage/0/input=2", "linkage/0/delay_ms=20", "linkage/0/outputs=16",
            "outputs/4/events/0/by=linkage"});
    record("reply split across two receptions",
           {"50 tx 3F:00", "55 rx E0003F", "58 rx 050024", "58 filed 3F:05", "70 tx 3B:00"},
           {"link/receptions/stray=0", "inputs/2/activations=1", "link/queries/3F/answered=1"});
    record("16 inputs, another address",
           {"0 poll-start | address=3 inputs=16 period_ms=100", "50 tx 3@3F:00", "58 rx 3@3F:00:80",
            "58 filed 3@3F:00:80", "59 other-address 7@3F:80", "70 tx 3@3B:00"},
           {"session/inputs=16", "session/period_ms=100", "inputs/15/verdict=in-alarm",
            "link/receptions/other_address=1"});
    record("older trace, judged by the reader",
           {"older", "50 tx 3F:00", "58 rx 3F:01", "70 tx 3B:00", "78 rx 3B:00!", "80 rx 00", "200 tx 3F:00",
            "208 rx 3F:00"},
           {"session/clock_stated=false", "inputs/0/verdict=tested", "link/receptions/bad_checksum=1",
            "link/receptions/stray=1", "link/queries/3B/missing=1"});

    const Place absent = [](const QDir &dir) { return dir.filePath(QStringLiteral("none.txt")); };
    const Place folder = [](const QDir &dir) { return dir.path(); };
    badInput("missing", absent, 2, "文件不存在");
    badInput("folder", folder, 2, "是文件夹");
    badInput("empty", file({}), 2, "文件是空的");
    badInput("not a trace", file("hello\nworld\n"), 2, "不是测试软件的通讯记录");
    badInput("binary", file(QByteArray::fromHex("7f454c46020100000a00ff")), 2, "二进制");
    badInput("simulator's trace", file("10 rx E0 00 3F 00 00 1F\n11 tx E0 00 3F 00 00 1F\n"), 2, "模拟主机");
    // Faults the reader reads past: the rest is recorded.
    const QByteArray good = trace({"50 tx 3F:00", "58 rx 3F:00", "58 filed 3F:00"});
    badInput("line over 1 MiB", file(QByteArray(TraceReader::kLongestLine + 10, '7') + '\n' + good), 0,
             "超过 1 MiB", {"link/queries/3F/answered=1"});
    badInput("truncated last line", file(good + "1200000 tx E0 00"), 0, "最后一行不完整",
             {"link/queries/3F/answered=1"});
}

void TestTraceReport::report()
{
    QFETCH(Place, place);
    QFETCH(int, status);
    QFETCH(QString, message);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    ReportRun run;
    run.traces = {place(QDir(dir.path()))};
    run.json = true;
    QCOMPARE(run.run(), status);
    const QString messages = run.messages.join(u'\n');
    QVERIFY2(messages.contains(message) && messages.isEmpty() == message.isEmpty(), qPrintable(messages));
    QCOMPARE(run.standardOutput.isEmpty(), status != 0);
    const QJsonObject json = QJsonDocument::fromJson(run.standardOutput).object();
    QStringList actual;
    for (const QString &entry : expected)
        actual.append(entry.section(u'=', 0, 0) + u'=' + valueAt(json, entry.section(u'=', 0, 0)));
    QCOMPARE(actual, expected);
}

QTEST_MAIN(TestTraceReport)
#include "tst_tracereport.moc"

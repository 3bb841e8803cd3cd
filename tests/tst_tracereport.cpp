#include "jsonview.h"
#include "recordbuilder.h"
#include "reportrun.h"
#include "tracereader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

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

} // namespace

// The report's reader and record on small traces: what each line adds up
// to, and what the reader makes of what is no trace.
class TestTraceReport : public QObject
{
    Q_OBJECT

private slots:
    void record_data();
    void record();
    void badInput_data();
    void badInput();
};

void TestTraceReport::record_data()
{
    QTest::addColumn<QStringList>("lines");
    // "path=value" of the JSON view.
    QTest::addColumn<QStringList>("expected");
    const QStringList walk{"0 poll-start | address=0 inputs=8 period_ms=50",
                           "50 tx 3F:00",
                           "58 rx 3F:02",
                           "58 filed 3F:02",
                           "70 tx 3B:00",
                           "78 rx 3B:00",
                           "78 filed 3B:00",
                           "110 tx 3D:01",
                           "200 tx 3F:00",
                           "208 rx 3F:00",
                           "208 filed 3F:00",
                           "220 tx 3B:00",
                           "229 rx 3B:01",
                           "229 filed 3B:01",
                           "260 tx 3D:00",
                           "350 tx 3F:00",
                           "358 rx 3F:00",
                           "358 filed 3F:00",
                           "370 tx 3B:00",
                           "378 rx 3B:00",
                           "378 filed 3B:00"};
    QTest::newRow("walk test") << walk
                               << QStringList{"session/start=2026-12-08T10:00:00.000+08:00",
                                              "session/inputs=8",
                                              "inputs/1/verdict=tested",
                                              "inputs/1/events/0/time=2026-12-08T10:00:00.058+08:00",
                                              "inputs/1/events/1/event=restore",
                                              "inputs/0/verdict=untested",
                                              "outputs/0/verdict=confirmed",
                                              "outputs/0/events/0/delay_ms=119",
                                              "outputs/1/verdict=untested",
                                              "link/queries/3F/answered=3",
                                              "link/queries/3D/sent=2",
                                              "link/response_ms/median=8",
                                              "link/verdict=good"};
    QTest::newRow("in alarm at the end, output never reported")
        << walk.mid(0, 14) + QStringList{"300 tx 3F:00", "308 rx 3F:02", "308 filed 3F:02"}
        << QStringList{"inputs/1/verdict=in-alarm", "outputs/0/verdict=unconfirmed"};
    QTest::newRow("echo shown by the reply after it")
        << QStringList{"50 tx 3F:00",   "51 rx 3F:00",    "51 filed 3F:00", "58 rx 3F:04",
                       "58 echo 3F:00", "58 filed 3F:04", "200 tx 3F:00"}
        << QStringList{"link/receptions/echo=1", "link/replies=1", "inputs/2/activations=1",
                       "link/response_ms/max=8", "link/queries/3F/missing=1"};
    QTest::newRow("missing replies, a bad frame, a gap")
        << QStringList{"50 tx 3F:00", "58 rx 3F:00!",   "58 bad-checksum 3F:00!", "70 tx 3B:00",
                       "78 rx 3B:00", "78 filed 3B:00", "5070 tx 3F:00",          "5090 tx 3B:00"}
        << QStringList{
               "link/queries/3F/missing=2", "link/queries/3B/answered=1", "link/receptions/bad_checksum=1",
               "link/fault_per_mille=1000", "link/verdict=faulty",        "link/gaps/0/seconds=5.02"};
    QTest::newRow("linkage") << QStringList{"0 linkage-start | filter_ms=0 reset_ms=0 table=2:5",
                                            "50 tx 3F:00",
                                            "58 rx 3F:02",
                                            "58 filed 3F:02",
                                            "78 tx 3D:10",
                                            "200 linkage-end"}
                             << QStringList{"linkage/0/input=2", "linkage/0/delay_ms=20",
                                            "linkage/0/outputs=16", "outputs/4/events/0/by=linkage"};
    QTest::newRow("reply split across two receptions")
        << QStringList{"50 tx 3F:00", "55 rx E0003F", "58 rx 050024", "58 filed 3F:05", "70 tx 3B:00"}
        << QStringList{"link/receptions/stray=0", "inputs/2/activations=1", "link/queries/3F/answered=1"};
    QTest::newRow("16 inputs, another address")
        << QStringList{"0 poll-start | address=3 inputs=16 period_ms=100",
                       "50 tx 3@3F:00",
                       "58 rx 3@3F:00:80",
                       "58 filed 3@3F:00:80",
                       "59 other-address 7@3F:80",
                       "70 tx 3@3B:00"}
        << QStringList{"session/inputs=16", "session/period_ms=100", "inputs/15/verdict=in-alarm",
                       "link/receptions/other_address=1"};
    QTest::newRow("older trace, judged by the reader")
        << QStringList{"older",        "50 tx 3F:00", "58 rx 3F:01",  "70 tx 3B:00",
                       "78 rx 3B:00!", "80 rx 00",    "200 tx 3F:00", "208 rx 3F:00"}
        << QStringList{"session/clock_stated=false", "inputs/0/verdict=tested",
                       "link/receptions/bad_checksum=1", "link/receptions/stray=1",
                       "link/queries/3B/missing=1"};
}

void TestTraceReport::record()
{
    QFETCH(QStringList, lines);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("trace.txt")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(trace(lines)) > 0);
    file.close();
    RecordBuilder builder;
    TraceReader reader(builder);
    QVERIFY(reader.read(file.fileName()));
    QCOMPARE(reader.messages(), QStringList());
    const QJsonObject json = QJsonDocument::fromJson(jsonView(builder.finish())).object();
    QStringList actual;
    for (const QString &entry : expected)
        actual.append(entry.section(u'=', 0, 0) + u'=' + valueAt(json, entry.section(u'=', 0, 0)));
    QCOMPARE(actual, expected);
}

void TestTraceReport::badInput_data()
{
    // "%missing" names no file, "%folder" a folder.
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    const QByteArray good = trace({"50 tx 3F:00", "58 rx 3F:00", "58 filed 3F:00"});
    QTest::newRow("missing") << QByteArray("%missing") << 2 << "文件不存在";
    QTest::newRow("folder") << QByteArray("%folder") << 2 << "是文件夹";
    QTest::newRow("empty") << QByteArray() << 2 << "文件是空的";
    QTest::newRow("not a trace") << QByteArray("hello\nworld\n") << 2 << "不是测试软件的通讯记录";
    QTest::newRow("binary") << QByteArray("\x7f"
                                          "ELF\x02\x01\x00\x00\n\x00\xff",
                                          11)
                            << 2 << "二进制";
    QTest::newRow("simulator's trace")
        << QByteArray("10 rx E0 00 3F 00 00 1F\n11 tx E0 00 3F 00 00 1F\n") << 2 << "模拟主机";
    QTest::newRow("line over 1 MiB") << QByteArray(TraceReader::kLongestLine + 10, '7') + '\n' + good << 0
                                     << "超过 1 MiB";
    QTest::newRow("truncated last line") << good + "1200000 tx E0 00" << 0 << "最后一行不完整";
}

void TestTraceReport::badInput()
{
    QFETCH(QByteArray, content);
    QFETCH(int, status);
    QFETCH(QString, message);
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("trace.txt"));
    if (content == "%folder")
        path = dir.path();
    QFile file(path);
    if (!content.startsWith('%'))
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    file.close();
    ReportRun run;
    run.traces = {path};
    run.json = true;
    QCOMPARE(run.run(), status);
    QVERIFY2(run.messages.join(u'\n').contains(message), qPrintable(run.messages.join(u'\n')));
    QCOMPARE(run.standardOutput.isEmpty(), status != 0);
}

QTEST_MAIN(TestTraceReport)
#include "tst_tracereport.moc"

#include "support/e2eharness.h"

#include "platform/lamp.h"
#include "serial/tracingserialcomponent.h"
#include "serial/wiretrace.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// The real window on a traced line, as the menu's "记录通讯" starts it.
class TracedPlatform : public E2EPlatform
{
public:
    explicit TracedPlatform(const QString &tracePath)
        : m_trace(tracePath)
        , m_traced(port, m_trace)
    {
    }
    SerialComponent &serial() override { return m_traced; }

private:
    WireTrace m_trace;
    TracingSerialComponent m_traced;
};

constexpr qint64 kPollCycleMicros = (50 + 60) * 1000;

uint8_t frameByte(const TraceLine &line, int index)
{
    const QByteArray bytes = QByteArray::fromHex(line.bytes.toLatin1());
    return index < bytes.size() ? uint8_t(bytes[index]) : 0;
}

QJsonObject report(const QString &tracePath)
{
    QProcess process;
    process.start(QStringLiteral(ALARM_BIN_DIR "/alarm-host-report"), {"--json", tracePath});
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return {};
    return QJsonDocument::fromJson(process.readAllStandardOutput()).object();
}

} // namespace

// The commissioning report of a walk test the tester really ran against
// the simulator: its verdicts and its figures against the simulator's own
// trace.
class TestE2EReport : public QObject
{
    Q_OBJECT

private slots:
    void walkTest_data();
    void walkTest();
};

void TestE2EReport::walkTest_data()
{
    QTest::addColumn<QStringList>("faults");
    QTest::newRow("sound line") << QStringList();
    QTest::newRow("replies dropped") << QStringList{"--drop-every", "5"};
    QTest::newRow("dropped and overlong") << QStringList{"--drop-every", "7", "--oversize", "2"};
    QTest::newRow("dropped and corrupt frames") << QStringList{"--drop-every", "6", "--other-address", "7"};
}

void TestE2EReport::walkTest()
{
    QFETCH(QStringList, faults);
    QTemporaryDir dir;
    // Each input in alarm for 250 ms in turn, from one second on.
    QFile scenario(dir.filePath(QStringLiteral("walk.scenario")));
    QVERIFY(scenario.open(QIODevice::WriteOnly));
    for (int input = 1; input <= 8; ++input)
        scenario.write(QStringLiteral("at %1 ms input %2 alarm\nat %3 ms input %2 clear\n")
                           .arg(500 + 500 * input)
                           .arg(input)
                           .arg(750 + 500 * input)
                           .toLatin1());
    scenario.close();
    SimulatorProcess sim;
    QVERIFY(sim.start(QStringList{"--scenario", scenario.fileName()} + faults));
    QElapsedTimer sinceStart;
    sinceStart.start();
    const QString tracePath = dir.filePath(QStringLiteral("wire.txt"));
    {
        TracedPlatform platform(tracePath);
        Form1 form(platform);
        form.Form_Load();
        form.ui().SSTab1->setTab(0);
        // Each output box ticked and unticked in turn while the inputs
        // alarm, each time until the lamp shows what the host reports.
        for (int output = 0; output < 8; ++output) {
            for (const uint32_t lamp : {kStatusRed, kLampGrey}) {
                form.ui().Check1[output]->click();
                QTRY_COMPARE_WITH_TIMEOUT(form.ui().Shape2[output]->fillColor(), lamp, 5000);
            }
        }
        QVERIFY(waitUntil([&] { return sinceStart.elapsed() > 5000; }, 10000, 100));
        // Stopped between a reply and the next query, so every reply sent
        // has been read.
        QVERIFY(waitUntil([&] { return !readTrace(tracePath).constLast().what.startsWith(u't'); }, 5000, 1));
        form.ui().SSTab1->setTab(3);
        QVERIFY(platform.boxes.shown().isEmpty());
    }
    const QJsonObject json = report(tracePath);
    QVERIFY(!json.isEmpty());

    // The trace's first line ties its clock to the times the report shows.
    const QList<TraceLine> wire = readTrace(tracePath);
    const QDateTime begun =
        QDateTime::fromString(wire.first().meaning.section(u' ', 0, 0).mid(5), Qt::ISODateWithMs);
    const qint64 anchor = begun.toMSecsSinceEpoch() * 1000 - wire.first().micros;
    const auto monotonic = [anchor](const QJsonValue &iso) {
        return QDateTime::fromString(iso.toString(), Qt::ISODateWithMs).toMSecsSinceEpoch() * 1000 - anchor;
    };
    // What the simulator did.
    const QList<TraceLine> simTrace = sim.trace();
    QMap<QString, qint64> simCounts;
    std::array<qint64, 9> firstAlarmReply{};
    for (const TraceLine &line : simTrace) {
        const uint8_t code = frameByte(line, 2);
        simCounts[line.what + u' ' + QString::number(code, 16).toUpper()] += 1;
        simCounts[line.what] += 1;
        for (int input = 1; input <= 8; ++input) {
            if (line.what == QLatin1String("tx") && code == 0x3F && (frameByte(line, 3) & (1 << (input - 1)))
                && firstAlarmReply[input] == 0)
                firstAlarmReply[input] = line.micros;
        }
    }

    QStringList verdicts;
    for (const QJsonValue &input : json["inputs"].toArray()) {
        const int channel = input["channel"].toInt();
        verdicts.append(QStringLiteral("%1 %2").arg(channel).arg(input["verdict"].toString()));
        const qint64 alarm = monotonic(input["events"][0]["time"]);
        QVERIFY2(std::abs(alarm - firstAlarmReply[size_t(channel)]) <= kPollCycleMicros,
                 qPrintable(QStringLiteral("input %1: %2 µs off")
                                .arg(channel)
                                .arg(alarm - firstAlarmReply[size_t(channel)])));
    }
    for (const QJsonValue &output : json["outputs"].toArray())
        verdicts.append(
            QStringLiteral("%1 %2").arg(output["channel"].toInt()).arg(output["verdict"].toString()));
    QCOMPARE(verdicts.join(u','),
             QStringLiteral("1 tested,2 tested,3 tested,4 tested,5 tested,6 tested,7 tested,8 tested,"
                            "1 confirmed,2 confirmed,3 confirmed,4 confirmed,5 confirmed,"
                            "6 confirmed,7 confirmed,8 confirmed"));

    const QJsonObject link = json["link"].toObject();
    const QJsonObject queries = link["queries"].toObject();
    for (const QString code : {"3F", "3B", "3D"})
        QCOMPARE(queries[code]["sent"].toInteger(), simCounts.value(QStringLiteral("rx ") + code));
    QCOMPARE(queries["3F"]["answered"].toInteger() + queries["3B"]["answered"].toInteger(),
             simCounts.value("tx"));
    QCOMPARE(queries["3F"]["missing"].toInteger() + queries["3B"]["missing"].toInteger(),
             simCounts.value("tx-drop"));
    const bool overlong = faults.contains(QLatin1String("--oversize"));
    QCOMPARE(link["receptions"]["stray"].toInteger(), overlong ? simCounts.value("tx") : 0);
    QCOMPARE(link["receptions"]["bad_checksum"].toInteger(), simCounts.value("tx-other-address"));
}

QTEST_MAIN(TestE2EReport)
#include "tst_e2e_report.moc"

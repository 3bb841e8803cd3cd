#include "support/walktest.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

constexpr qint64 kPollCycleMicros = (50 + 60) * 1000;

uint8_t frameByte(const TraceLine &line, int index)
{
    const QByteArray bytes = QByteArray::fromHex(line.bytes.toLatin1());
    return index < bytes.size() ? uint8_t(bytes[index]) : 0;
}

// The trace's first line ties its clock to the times the report shows:
// this turns them back into the clock of the trace lines.
std::function<qint64(const QJsonValue &)> monotonicOf(const QString &tracePath)
{
    const TraceLine begin = readTrace(tracePath).value(0);
    const QDateTime begun =
        QDateTime::fromString(begin.meaning.section(u' ', 0, 0).mid(5), Qt::ISODateWithMs);
    const qint64 anchor = begun.toMSecsSinceEpoch() * 1000 - begin.micros;
    return [anchor](const QJsonValue &iso) {
        return QDateTime::fromString(iso.toString(), Qt::ISODateWithMs).toMSecsSinceEpoch() * 1000 - anchor;
    };
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
    void linkageAlarm();
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
    const QString tracePath = dir.filePath(QStringLiteral("wire.txt"));
    SimulatorProcess sim;
    runWalkTest(sim, faults, tracePath);
    QVERIFY(!QTest::currentTestFailed());
    const QJsonObject json = QJsonDocument::fromJson(runReport({"--json", tracePath})).object();
    QVERIFY(!json.isEmpty());

    const auto monotonic = monotonicOf(tracePath);
    // What the simulator did.
    const QList<TraceLine> simTrace = sim.trace();
    QMap<QString, qint64> simCounts;
    // When the host reported each input in alarm.
    std::array<QList<qint64>, 9> alarmReplies;
    for (const TraceLine &line : simTrace) {
        const uint8_t code = frameByte(line, 2);
        simCounts[line.what + u' ' + QString::number(code, 16).toUpper()] += 1;
        simCounts[line.what] += 1;
        for (int input = 1; input <= 8; ++input) {
            if (line.what == QLatin1String("tx") && code == 0x3F && (frameByte(line, 3) & (1 << (input - 1))))
                alarmReplies[size_t(input)].append(line.micros);
        }
    }

    QStringList verdicts;
    for (const QJsonValue &input : json["inputs"].toArray()) {
        const int channel = input["channel"].toInt();
        verdicts.append(QStringLiteral("%1 %2").arg(channel).arg(input["verdict"].toString()));
        // Dated by a reply the host sent showing the alarm, read within a
        // poll cycle of being sent, and not before the host's first one.
        const qint64 alarm = monotonic(input["events"][0]["time"]);
        const QList<qint64> &sent = alarmReplies[size_t(channel)];
        QVERIFY2(!sent.isEmpty() && sent.first() <= alarm + 2000
                     && std::any_of(
                         sent.begin(), sent.end(),
                         [alarm](qint64 t) { return alarm >= t - 2000 && alarm - t <= kPollCycleMicros; }),
                 qPrintable(QStringLiteral("input %1 alarm at %2").arg(channel).arg(alarm)));
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
    // A reply the tester read only after its next query (a busy machine)
    // answers no query outstanding: another code, and its query is missing.
    const qint64 late = link["receptions"]["other_code"].toInteger();
    QCOMPARE(queries["3F"]["answered"].toInteger() + queries["3B"]["answered"].toInteger() + late,
             simCounts.value("tx"));
    QCOMPARE(queries["3F"]["missing"].toInteger() + queries["3B"]["missing"].toInteger(),
             simCounts.value("tx-drop") + late);
    const bool overlong = faults.contains(QLatin1String("--oversize"));
    QCOMPARE(link["receptions"]["stray"].toInteger(), overlong ? simCounts.value("tx") : 0);
    QCOMPARE(link["receptions"]["bad_checksum"].toInteger(), simCounts.value("tx-other-address"));
}

// An alarm while linkage runs, input 2 linked to output 5: the report names
// the output command it caused, when the simulator received it.
void TestE2EReport::linkageAlarm()
{
    QTemporaryDir dir;
    const QString tracePath = dir.filePath(QStringLiteral("wire.txt"));
    SimulatorProcess sim;
    QVERIFY(sim.start());
    {
        TracedPlatform platform(tracePath);
        Form1 form(platform);
        form.Form_Load();
        startLinkage(form, false);
        QVERIFY(!QTest::currentTestFailed());
        sim.command("alarm 2");
        QTRY_VERIFY_WITH_TIMEOUT(sim.output().contains(QLatin1String("outputs 10")), 5000);
        form.ui().Command2[0]->click();
    }
    const QJsonObject json = QJsonDocument::fromJson(runReport({"--json", tracePath})).object();
    const QJsonArray linkage = json["linkage"].toArray();
    QCOMPARE(linkage.size(), 1);
    QCOMPARE(linkage[0]["input"].toInt(), 2);
    QCOMPARE(linkage[0]["outputs"].toInt(), 0x10);
    qint64 received = 0;
    for (const TraceLine &line : sim.trace()) {
        if (received == 0 && line.what == QLatin1String("rx")
            && line.bytes == QLatin1String("E0 00 3D 10 00 2D"))
            received = line.micros;
    }
    const qint64 command = monotonicOf(tracePath)(linkage[0]["command"]);
    QVERIFY2(command <= received + 2000 && received - command < 20000,
             qPrintable(QString::number(received - command)));
    QCOMPARE(json["outputs"][4]["events"][0]["by"].toString(), QStringLiteral("linkage"));
}

QTEST_MAIN(TestE2EReport)
#include "tst_e2e_report.moc"

#include "support/e2eharness.h"

#include "platform/lamp.h"

#include <QTest>

// Linkage on the real window against the simulator, in real time: input 2
// linked to output 5 and input 3 to output 7 on the 8-channel host, on a
// clean line and on each of the line's everyday faults.
class TestE2ELinkage : public QObject
{
    Q_OBJECT

private slots:
    void alarmDrivesTheLinkedOutputUntilResetAndCancel_data();
    void alarmDrivesTheLinkedOutputUntilResetAndCancel();
    void echoDoesNotHideAnAlarmFromTheInputCheck();
};

void TestE2ELinkage::alarmDrivesTheLinkedOutputUntilResetAndCancel_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::newRow("clean line") << QStringList();
    QTest::newRow("adapter echoes") << QStringList{"--echo"};
    QTest::newRow("stray byte ahead of each reply") << QStringList{"--stray-byte"};
    QTest::newRow("replies split in two") << QStringList{"--split-gap", "8"};
    QTest::newRow("another master") << QStringList{"--other-master"};
    QTest::newRow("another address, bad checksum") << QStringList{"--other-address", "7"};
    QTest::newRow("host framed otherwise") << QStringList{"--other-framing"};
}

void TestE2ELinkage::alarmDrivesTheLinkedOutputUntilResetAndCancel()
{
    QFETCH(QStringList, options);
    SimulatorProcess sim;
    QVERIFY(sim.start(options));
    E2EPlatform platform;
    Form1 form(platform);
    const Form1Widgets &ui = form.ui();
    form.Form_Load();

    // The input check passes on the first reply and the start completes.
    startLinkage(form, false, {1, 4, 2, 6});
    if (QTest::currentTestFailed())
        return;
    QVERIFY(!ui.SSTab1->isTabEnabled(3));
    QVERIFY(platform.boxes.shown().isEmpty());

    sim.command("alarm 2");
    QTRY_VERIFY_WITH_TIMEOUT(sim.output().contains("outputs 10"), 5000);
    // Only the alarm the host reports drives an output.
    for (const QString &line : sim.output().split(u'\n', Qt::SkipEmptyParts))
        QVERIFY2(line == QLatin1String("outputs 10") || line == QLatin1String("outputs 00"),
                 qPrintable(line));
    for (int i = 0; i < 8; ++i)
        QCOMPARE(ui.Shape1[size_t(i)]->fillColor(), i == 1 ? kAlarmRed : kLampGrey);
    QCOMPARE(ui.Shape1[1]->fillColor(), kAlarmRed);
    QCOMPARE(ui.Shape2[4]->fillColor(), kAlarmRed);
    QCOMPARE(ui.Check1[4]->value(), 1);

    sim.command("clear 2");
    // Wait for a cycle that no longer reports the alarm.
    const int seen = int(sim.received().size());
    QTRY_VERIFY_WITH_TIMEOUT(sim.received().size() >= seen + 3, 5000);
    QVERIFY(ui.Command8[0]->isVisibleTo(&form));
    ui.Command8[0]->click();
    QTRY_VERIFY_WITH_TIMEOUT(sim.output().endsWith("outputs 00\n"), 5000);
    QCOMPARE(ui.Shape2[4]->fillColor(), kLampGrey);
    QCOMPARE(ui.Check1[4]->value(), 0);

    // Polling again after the reset's all-off frame, so that the one
    // cancel sends is told apart from it.
    QTRY_VERIFY_WITH_TIMEOUT(!sim.received().last().startsWith(QLatin1String("E0 00 3D")), 5000);

    ui.Command2[0]->click();
    QCOMPARE(ui.SSTab1->tab(), 3);
    // The all-off frame still goes out, then the port is free again.
    QTRY_VERIFY_WITH_TIMEOUT(!platform.port.portOpen(), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(sim.received().last(), QString("E0 00 3D 00 00 1D"), 5000);
    const int frames = int(sim.received().size());
    QTest::qWait(500);
    QCOMPARE(int(sim.received().size()), frames);
    QVERIFY(platform.boxes.shown().isEmpty());
}

// An adapter that echoes sends the input check's own query back, a copy of
// a reply with every input quiet; the host's reply behind it shows input 1
// in alarm, so the start is refused and no output goes on.
void TestE2ELinkage::echoDoesNotHideAnAlarmFromTheInputCheck()
{
    SimulatorProcess sim;
    QVERIFY(sim.start({"--echo"}));
    sim.command("alarm 1");
    E2EPlatform platform;
    Form1 form(platform);
    const Form1Widgets &ui = form.ui();
    form.Form_Load();
    ui.SSTab1->setTab(4);
    ui.Check3->click();
    ui.Check2[4]->click();
    ui.Command3->click();
    ui.Command1->click();
    QTRY_COMPARE_WITH_TIMEOUT(platform.boxes.texts(),
                              QStringList{QStringLiteral("你的输入端有报警,请检查,联动前不允许有报警")},
                              5000);
    QCOMPARE(ui.SSTab1->tab(), 4);
    QVERIFY(!form.state().linkageActive);
    QTRY_VERIFY_WITH_TIMEOUT(!platform.port.portOpen(), 5000);
    QTest::qWait(300);
    QVERIFY2(!sim.output().contains(QLatin1String("outputs")) || sim.output().trimmed() == "outputs 00",
             qPrintable(sim.output()));
}

QTEST_MAIN(TestE2ELinkage)
#include "tst_e2e_linkage.moc"

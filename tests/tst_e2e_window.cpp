#include "support/e2efixture.h"

#include "platform/checkbox.h"
#include "platform/lamp.h"
#include "platform/tabcontrol.h"

#include <QTest>

// The real window against the simulator, in real time: polling, and linkage
// with input 2 linked to output 5 and input 3 to output 7 on the 8-channel
// host, on a clean line and on each of the line's everyday faults.

namespace {

void alarmTurnsTheLampRed(E2EFixture &f)
{
    f.load(0);
    QTRY_VERIFY_WITH_TIMEOUT(f.sim.received().size() >= 4, 10000);
    QCOMPARE(f.ui().Shape1[2]->fillColor(), kLampGrey);
    f.sim.command("alarm 3");
    // Two cycles at 50 ms are 220 ms; the rest is room for a loaded machine.
    QTRY_COMPARE_WITH_TIMEOUT(f.ui().Shape1[2]->fillColor(), kStatusRed, 5000);
    QCOMPARE(f.ui().Shape1[1]->fillColor(), kLampGrey);
    f.sim.command("clear 3");
    QTRY_COMPARE_WITH_TIMEOUT(f.ui().Shape1[2]->fillColor(), kLampGrey, 5000);
}

void manualBoxReachesTheHost(E2EFixture &f)
{
    f.load(0);
    QTRY_VERIFY_WITH_TIMEOUT(f.sim.received().size() >= 2, 10000);
    f.ui().Check1[4]->click();
    QTRY_VERIFY_WITH_TIMEOUT(f.sim.output().contains("outputs 10"), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(f.sim.received().contains("E0 00 3D 10 00 2D"), 5000);
    // The output status reply shows it on the output lamp.
    QTRY_COMPARE_WITH_TIMEOUT(f.ui().Shape2[4]->fillColor(), kStatusRed, 5000);
}

void replyByteByByteIsFiledWhole(E2EFixture &f)
{
    f.load();
    f.sim.command("inputs 41 00");
    f.ui().SSTab1->setTab(0);
    const std::array<int16_t, 6> expected{0xE0, 0x00, 0x3F, 0x41, 0x00, 0x60};
    QTRY_COMPARE_WITH_TIMEOUT(f.form->state().replyTable[0], expected, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(f.ui().Shape1[6]->fillColor(), kStatusRed, 5000);
    // Over many cycles the row never holds a reply's tail at its start.
    for (int i = 0; i < 20; ++i) {
        QTest::qWait(25);
        QCOMPARE(f.form->state().replyTable[0][0], int16_t(0xE0));
    }
}

void alarmDrivesTheLinkedOutputUntilResetAndCancel(E2EFixture &f)
{
    const Form1Widgets &ui = f.ui();
    f.load();
    // The input check passes on the first reply and the start completes.
    startLinkage(*f.form, false, {1, 4, 2, 6});
    if (QTest::currentTestFailed())
        return;
    QVERIFY(!ui.SSTab1->isTabEnabled(3));
    QVERIFY(f.platform.boxes.shown().isEmpty());

    f.sim.command("alarm 2");
    QTRY_VERIFY_WITH_TIMEOUT(f.sim.output().contains("outputs 10"), 5000);
    // Only the alarm the host reports drives an output.
    for (const QString &line : f.sim.output().split(u'\n', Qt::SkipEmptyParts))
        QVERIFY2(line == QLatin1String("outputs 10") || line == QLatin1String("outputs 00"),
                 qPrintable(line));
    for (int i = 0; i < 8; ++i)
        QCOMPARE(ui.Shape1[size_t(i)]->fillColor(), i == 1 ? kAlarmRed : kLampGrey);
    QCOMPARE(ui.Shape2[4]->fillColor(), kAlarmRed);
    QCOMPARE(ui.Check1[4]->value(), 1);

    f.sim.command("clear 2");
    // Wait for a cycle that no longer reports the alarm.
    const int seen = int(f.sim.received().size());
    QTRY_VERIFY_WITH_TIMEOUT(f.sim.received().size() >= seen + 3, 5000);
    QVERIFY(ui.Command8[0]->isVisibleTo(f.form.get()));
    ui.Command8[0]->click();
    QTRY_VERIFY_WITH_TIMEOUT(f.sim.output().endsWith("outputs 00\n"), 5000);
    QCOMPARE(ui.Shape2[4]->fillColor(), kLampGrey);
    QCOMPARE(ui.Check1[4]->value(), 0);

    // Polling again after the reset's all-off frame, so that the one
    // cancel sends is told apart from it.
    QTRY_VERIFY_WITH_TIMEOUT(!f.sim.received().last().startsWith(QLatin1String("E0 00 3D")), 5000);

    ui.Command2[0]->click();
    QCOMPARE(ui.SSTab1->tab(), 3);
    // The all-off frame still goes out, then the port is free again.
    QTRY_VERIFY_WITH_TIMEOUT(!f.platform.port.portOpen(), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(f.sim.received().last(), QString("E0 00 3D 00 00 1D"), 5000);
    const int frames = int(f.sim.received().size());
    QTest::qWait(500);
    QCOMPARE(int(f.sim.received().size()), frames);
    QVERIFY(f.platform.boxes.shown().isEmpty());
}

// An adapter that echoes sends the input check's own query back, a copy of
// a reply with every input quiet; the host's reply behind it shows input 1
// in alarm, so the start is refused and no output goes on.
void echoDoesNotHideAnAlarmFromTheInputCheck(E2EFixture &f)
{
    f.sim.command("alarm 1");
    const Form1Widgets &ui = f.ui();
    f.load(4);
    ui.Check3->click();
    ui.Check2[4]->click();
    ui.Command3->click();
    ui.Command1->click();
    QTRY_COMPARE_WITH_TIMEOUT(f.platform.boxes.texts(),
                              QStringList{QStringLiteral("你的输入端有报警,请检查,联动前不允许有报警")},
                              5000);
    QCOMPARE(ui.SSTab1->tab(), 4);
    QVERIFY(!f.form->state().linkageActive);
    QTRY_VERIFY_WITH_TIMEOUT(!f.platform.port.portOpen(), 5000);
    QTest::qWait(300);
    QVERIFY2(!f.sim.output().contains(QLatin1String("outputs")) || f.sim.output().trimmed() == "outputs 00",
             qPrintable(f.sim.output()));
}

} // namespace

class TestE2EWindow : public QObject
{
    Q_OBJECT

private slots:
    void scenario_data();
    void scenario();
};

void TestE2EWindow::scenario_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<E2EScenario>("run");
    QTest::newRow("alarm turns the lamp red") << QStringList() << E2EScenario(alarmTurnsTheLampRed);
    QTest::newRow("manual box reaches the host") << QStringList() << E2EScenario(manualBoxReachesTheHost);
    QTest::newRow("reply byte by byte is filed whole")
        << QStringList{"--byte-gap", "1"} << E2EScenario(replyByteByByteIsFiledWhole);
    const E2EScenario linkage(alarmDrivesTheLinkedOutputUntilResetAndCancel);
    QTest::newRow("linkage, clean line") << QStringList() << linkage;
    QTest::newRow("linkage, adapter echoes") << QStringList{"--echo"} << linkage;
    QTest::newRow("linkage, stray byte ahead of each reply") << QStringList{"--stray-byte"} << linkage;
    QTest::newRow("linkage, replies split in two") << QStringList{"--split-gap", "8"} << linkage;
    QTest::newRow("linkage, another master") << QStringList{"--other-master"} << linkage;
    QTest::newRow("linkage, another address, bad checksum") << QStringList{"--other-address", "7"} << linkage;
    QTest::newRow("linkage, host framed otherwise") << QStringList{"--other-framing"} << linkage;
    QTest::newRow("echo does not hide an alarm from the input check")
        << QStringList{"--echo"} << E2EScenario(echoDoesNotHideAnAlarmFromTheInputCheck);
}

void TestE2EWindow::scenario()
{
    QFETCH(QStringList, options);
    QFETCH(E2EScenario, run);
    E2EFixture f;
    QVERIFY(f.start(options));
    run(f);
}

QTEST_MAIN(TestE2EWindow)
#include "tst_e2e_window.moc"

#include "support/e2eharness.h"

#include "platform/lamp.h"

#include <QTest>

// Linkage on the real window against the simulator, in real time: input 2
// linked to output 5 on the 8-channel host.
class TestE2ELinkage : public QObject
{
    Q_OBJECT

private slots:
    void alarmDrivesTheLinkedOutputUntilResetAndCancel();
};

void TestE2ELinkage::alarmDrivesTheLinkedOutputUntilResetAndCancel()
{
    SimulatorProcess sim;
    QVERIFY(sim.start());
    E2EPlatform platform;
    Form1 form(platform);
    const Form1Widgets &ui = form.ui();
    form.Form_Load();

    // The input check passes on the first reply and the start completes.
    startLinkage(form, false);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(!ui.SSTab1->isTabEnabled(3));
    QVERIFY(platform.boxes.shown().isEmpty());

    sim.command("alarm 2");
    QTRY_VERIFY_WITH_TIMEOUT(sim.output().contains("outputs 10"), 5000);
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

QTEST_MAIN(TestE2ELinkage)
#include "tst_e2e_linkage.moc"

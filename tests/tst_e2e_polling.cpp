#include "support/e2eharness.h"

#include "platform/checkbox.h"
#include "platform/lamp.h"
#include "platform/tabcontrol.h"

#include <QTest>

// The real program's window against the simulator, in real time.
class TestE2EPolling : public QObject
{
    Q_OBJECT

private slots:
    void startupProbesAndSendsNothing();
    void hostPagePollsInOrder();
    void alarmTurnsTheLampRed();
    void manualBoxReachesTheHost();
    void replyByteByByteIsFiledWhole();
    void unpluggingGivesOneMessage();
};

void TestE2EPolling::startupProbesAndSendsNothing()
{
    SimulatorProcess sim;
    QVERIFY(sim.start());
    E2EPlatform platform;
    Form1 form(platform);
    form.Form_Load();
    QVERIFY(platform.boxes.shown().isEmpty());
    QVERIFY(!platform.port.portOpen());
    QTest::qWait(300);
    QVERIFY(sim.received().isEmpty());
}

void TestE2EPolling::hostPagePollsInOrder()
{
    SimulatorProcess sim;
    QVERIFY(sim.start());
    E2EPlatform platform;
    Form1 form(platform);
    form.Form_Load();
    form.ui().SSTab1->setTab(0);
    QTRY_VERIFY_WITH_TIMEOUT(sim.received().size() >= 10, 10000);
    const QStringList frames = sim.received();
    QCOMPARE(frames.first(), QString("E0 00 3D 00 00 1D"));
    const QStringList cycle{"E0 00 3F 00 00 1F", "E0 00 3B 00 00 1B", "E0 00 3D 00 00 1D"};
    for (int i = 1; i < 10; ++i)
        QCOMPARE(frames[i], cycle[(i - 1) % 3]);
    QVERIFY(platform.boxes.shown().isEmpty());
}

void TestE2EPolling::alarmTurnsTheLampRed()
{
    SimulatorProcess sim;
    QVERIFY(sim.start());
    E2EPlatform platform;
    Form1 form(platform);
    form.Form_Load();
    form.ui().SSTab1->setTab(0);
    QTRY_VERIFY_WITH_TIMEOUT(sim.received().size() >= 4, 10000);
    QCOMPARE(form.ui().Shape1[2]->fillColor(), kLampGrey);
    sim.command("alarm 3");
    // Two cycles at 50 ms are 220 ms; the rest is room for a loaded machine.
    QTRY_COMPARE_WITH_TIMEOUT(form.ui().Shape1[2]->fillColor(), kStatusRed, 5000);
    QCOMPARE(form.ui().Shape1[1]->fillColor(), kLampGrey);
    sim.command("clear 3");
    QTRY_COMPARE_WITH_TIMEOUT(form.ui().Shape1[2]->fillColor(), kLampGrey, 5000);
}

void TestE2EPolling::manualBoxReachesTheHost()
{
    SimulatorProcess sim;
    QVERIFY(sim.start());
    E2EPlatform platform;
    Form1 form(platform);
    form.Form_Load();
    form.ui().SSTab1->setTab(0);
    QTRY_VERIFY_WITH_TIMEOUT(sim.received().size() >= 2, 10000);
    form.ui().Check1[4]->click();
    QTRY_VERIFY_WITH_TIMEOUT(sim.output().contains("outputs 10"), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(sim.received().contains("E0 00 3D 10 00 2D"), 5000);
    // The output status reply shows it on the output lamp.
    QTRY_COMPARE_WITH_TIMEOUT(form.ui().Shape2[4]->fillColor(), kStatusRed, 5000);
}

void TestE2EPolling::replyByteByByteIsFiledWhole()
{
    SimulatorProcess sim;
    QVERIFY(sim.start({"--byte-gap", "1"}));
    E2EPlatform platform;
    Form1 form(platform);
    form.Form_Load();
    sim.command("inputs 41 00");
    form.ui().SSTab1->setTab(0);
    const std::array<int16_t, 6> expected{0xE0, 0x00, 0x3F, 0x41, 0x00, 0x60};
    QTRY_COMPARE_WITH_TIMEOUT(form.state().replyTable[0], expected, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(form.ui().Shape1[6]->fillColor(), kStatusRed, 5000);
    // Over many cycles the row never holds a reply's tail at its start.
    for (int i = 0; i < 20; ++i) {
        QTest::qWait(25);
        QCOMPARE(form.state().replyTable[0][0], int16_t(0xE0));
    }
}

void TestE2EPolling::unpluggingGivesOneMessage()
{
    SimulatorProcess sim;
    QVERIFY(sim.start());
    E2EPlatform platform;
    Form1 form(platform);
    form.Form_Load();
    form.ui().SSTab1->setTab(0);
    QTRY_VERIFY_WITH_TIMEOUT(sim.received().size() >= 4, 10000);
    sim.stop();
    QTRY_COMPARE_WITH_TIMEOUT(platform.boxes.shown().size(), 1, 5000);
    QVERIFY(platform.boxes.shown().first().text.endsWith(",请检查或更换端口重新操作"));
    QTest::qWait(500);
    QCOMPARE(platform.boxes.shown().size(), 1);
    QVERIFY(!platform.port.portOpen());
}

QTEST_MAIN(TestE2EPolling)
#include "tst_e2e_polling.moc"

#include "support/formfixture.h"

#include "serial/serialcomponent.h"

#include <QAccessible>
#include <QLabel>
#include <QTest>

#include <optional>

// Linkage on the virtual clock: the start with its input check, alarms
// driving the linked outputs, the filter and reset timers, lock, reset and
// cancel, all read off the wire with exact times.

namespace {

const QString kInQuery = QStringLiteral("E0 00 3F 00 00 1F");
const QString kOutQuery = QStringLiteral("E0 00 3B 00 00 1B");
const QString kAllOff = QStringLiteral("E0 00 3D 00 00 1D");
const QString kLockedText = QStringLiteral("你现在处于锁定状态,不能复位");
// The parser's alarm colour, RGB(255, 0, 0), brighter than the status red.
constexpr uint32_t kAlarm = 0x0000FF;

QString at(int64_t time, const QString &frame)
{
    return QStringLiteral("%1 %2").arg(time).arg(frame);
}

QString outputCommand(int mask)
{
    return hexBytes(lineFrame(0x3D, uint8_t(mask)));
}

// What the host answers to an input status query.
QByteArray inputReply(uint8_t in1, uint8_t in2 = 0)
{
    return lineFrame(0x3F, in1, in2);
}

struct LinkageFixture : FormFixture
{
    LinkageFixture() { load(); }

    // The settings page with linkage switched on and every (channel, output)
    // pair of `links` confirmed as the operator does it: choose the channel,
    // tick the output, press confirm.
    void prepare(int host, const QList<int> &links, int filter = 0, int reset = 0)
    {
        if (host == 1)
            ui.Combo4->choose(1);
        page(4);
        ui.Check3->click();
        for (qsizetype i = 0; i + 1 < links.size(); i += 2) {
            ui.Combo5->choose(links[i]);
            ui.Check2[size_t(links[i + 1])]->click();
            ui.Command3->click();
        }
        ui.Text1->setText(QString::number(filter));
        ui.Text2->setText(QString::number(reset));
    }

    // Start pressed now: the input query goes out 30 ms later and the host
    // answers it 5 ms after that with every input quiet, so stage 3 runs.
    void start()
    {
        const int64_t pressed = clock.now();
        ui.Command1->click();
        advanceTo(pressed + 35);
        reply("E0003F00001F");
    }

    // Inputs 1 and 3 linked to outputs 3 and 8 on the 8-channel host, and
    // at 90 an input reply with both in alarm.
    void alarmOnInputs1And3()
    {
        prepare(0, {0, 2, 2, 7});
        start();
        advanceTo(90);
        port.receive(inputReply(0x05));
    }

    // Output commands only, from `time` on.
    QStringList commands(int64_t time) const { return framesFrom(time).filter(QStringLiteral(" E0 00 3D ")); }

    QStringList logFrom(int64_t time) const
    {
        QStringList lines;
        for (const QString &line : port.log()) {
            if (line.section(u' ', 0, 0).toLongLong() >= time)
                lines.append(line);
        }
        return lines;
    }

    QStringList alarmLamps() const { return lampsIn(kAlarm); }

    QStringList tickedManualBoxes() const
    {
        QStringList names;
        for (size_t i = 0; i < 8; ++i) {
            for (const CheckBox *box : {ui.Check1[i], ui.Check5[i]}) {
                if (box->value() == 1)
                    names.append(box->objectName());
            }
        }
        names.sort();
        return names;
    }

    QString enabledPages() const
    {
        QStringList pages;
        for (int page = 0; page < 5; ++page) {
            if (ui.SSTab1->isTabEnabled(page))
                pages.append(QString::number(page));
        }
        return pages.join(u' ');
    }

    QStringList shownHostButtons() const
    {
        QStringList names;
        for (const CommandButton *button : {ui.Command7[0], ui.Command8[0], ui.Command2[0], ui.Command7[1],
                                            ui.Command8[1], ui.Command2[1]}) {
            if (!button->isHidden())
                names.append(button->objectName());
        }
        return names;
    }
};

// The host on the line: answers each input status query 5 ms after it with
// the input bytes it holds at that moment.
struct Host
{
    explicit Host(LinkageFixture &fixture, uint8_t alarm1 = 0)
        : f(fixture)
        , in1(alarm1)
        , seen(fixture.port.written().size())
    {
    }

    void runTo(int64_t time)
    {
        while (f.clock.now() < time) {
            f.advance(1);
            const QList<FakeSerialComponent::Written> &written = f.port.written();
            for (; seen < written.size(); ++seen) {
                if (uint8_t(written[seen].bytes.at(2)) == 0x3F)
                    due.append(written[seen].time + 5);
            }
            while (!due.isEmpty() && due.first() <= f.clock.now()) {
                due.removeFirst();
                f.port.receive(inputReply(in1, in2));
            }
        }
    }

    LinkageFixture &f;
    uint8_t in1 = 0;
    uint8_t in2 = 0;
    qsizetype seen = 0;
    QList<int64_t> due;
};

// Input 2 linked to output 5 with a 1.2 s filter and a 3 s reset, linkage
// started, and the host reporting input 2 in alarm from then on.
Host startWithTimers(LinkageFixture &f)
{
    f.prepare(0, {1, 4}, 12, 3);
    f.start();
    return Host(f, 0x02);
}

// As above, the alarm held until `alarmUntil`, linkage cancelled at
// `cancelAt` while a linkage timer still runs.
struct CancelledLinkage : LinkageFixture
{
    CancelledLinkage(int alarmUntil, int cancelAt)
    {
        host.emplace(startWithTimers(*this));
        host->runTo(alarmUntil);
        host->in1 = 0;
        host->runTo(cancelAt);
        ui.Command2[0]->click();
    }

    std::optional<Host> host;
};

} // namespace

class TestLinkage : public QObject
{
    Q_OBJECT

private slots:
    void startRefusedOnAnEmptyTable_data();
    void startRefusedOnAnEmptyTable();
    void inputCheck_data();
    void inputCheck();
    void alarmDrivesTheLinkedOutputs_data();
    void alarmDrivesTheLinkedOutputs();
    void filterThenOutputsThenAutomaticReset_data();
    void filterThenOutputsThenAutomaticReset();
    void resetTimeZeroKeepsTheOutputsOn();
    void leftoverResetTimerWithoutFilterTime();
    void alarmGoneWithinTheFilterTime();
    void filterAndResetTimesInMilliseconds_data();
    void filterAndResetTimesInMilliseconds();
    void lockRefusesResetAndCancel();
    void alarmWhileLockedChangesNothing_data();
    void alarmWhileLockedChangesNothing();
    void linkageFrameWhileLockedRestartsPolling();
    void filterAndResetTimersRunningOutWhileLocked();
    void cancelRestoresSetUp_data();
    void cancelRestoresSetUp();
    void timersRunningAtCancelSwitchOffWithoutPolling_data();
    void timersRunningAtCancelSwitchOffWithoutPolling();
    void portGoneBehindTheProbeReportedOnce_data();
    void portGoneBehindTheProbeReportedOnce();
    void leftoverTimerRunningOutDuringTheInputCheck_data();
    void leftoverTimerRunningOutDuringTheInputCheck();
    void checkLeftWaitingIsAbandoned_data();
    void checkLeftWaitingIsAbandoned();
    void portFailingInTheLastStageUndoesTheStart_data();
    void portFailingInTheLastStageUndoesTheStart();
    void lampsAndBoxesTellAScreenReaderTheirChannelAndState();
    void linkFailureWhileLinkageRuns_data();
    void linkFailureWhileLinkageRuns();
};

void TestLinkage::startRefusedOnAnEmptyTable_data()
{
    QTest::addColumn<QString>("emptied"); // how the only link went, and after what
    QTest::newRow("row confirmed again without ticks") << "confirm";
    QTest::newRow("row emptied after a refused check") << "refused confirm";
    QTest::newRow("table cleared after a refused check") << "refused clear";
    QTest::newRow("host model chosen after a refused check") << "refused model";
}

void TestLinkage::startRefusedOnAnEmptyTable()
{
    QFETCH(QString, emptied);
    LinkageFixture f;
    f.prepare(0, {0, 3});
    QCOMPARE(f.state.linkageTable[0][3], int16_t(1));
    if (emptied.startsWith("refused")) {
        f.ui.Command1->click();
        f.advanceTo(35);
        f.port.receive(inputReply(0x01));
        QCOMPARE(f.boxes.texts(), QStringList{"你的输入端有报警,请检查,联动前不允许有报警"});
        f.boxes.clear();
    }
    const int64_t pressed = f.clock.now();
    if (emptied.endsWith("clear")) {
        f.ui.Command4->click();
    } else if (emptied.endsWith("model")) {
        f.ui.Combo4->choose(1);
        f.ui.Check3->click();
    } else {
        f.ui.Check2[3]->click();
        f.ui.Command3->click();
    }
    f.ui.Command1->click();
    QCOMPARE(f.boxes.texts(), QStringList{"你没选择联动。请选择联动输出,并确认生效后才联动"});
    QCOMPARE(f.boxes.shown().first().style, 16);
    QVERIFY(!f.state.linkageTableChecked);
    QVERIFY(!f.state.linkageActive);
    f.advance(1000);
    QVERIFY(f.framesFrom(pressed).isEmpty());
    QVERIFY(!f.port.portOpen());
    QCOMPARE(f.counting(), QString());
    QVERIFY(f.ui.Command1->isEnabled());
}

void TestLinkage::inputCheck_data()
{
    QTest::addColumn<int>("replyAt");
    QTest::addColumn<QByteArray>("reply");
    // A second reception 5 ms after the first, or nothing.
    QTest::addColumn<QByteArray>("then");
    QTest::addColumn<bool>("passes");
    QTest::addColumn<QStringList>("trace");
    const QStringList refused{at(30, kInQuery)};
    const QByteArray quiet = QByteArray::fromHex("E0003F00001F");
    QTest::newRow("inputs quiet") << 35 << quiet << QByteArray() << true
                                  << QStringList{at(30, kInQuery), at(35, kAllOff), at(55, kAllOff),
                                                 at(85, kInQuery), at(105, kOutQuery)};
    QTest::newRow("input 1 in alarm")
        << 35 << QByteArray::fromHex("E0003F010020") << QByteArray() << false << refused;
    QTest::newRow("input 8 in alarm")
        << 35 << QByteArray::fromHex("E0003F80009F") << QByteArray() << false << refused;
    QTest::newRow("byte 4 set on the 8-channel host")
        << 35 << QByteArray::fromHex("E0003F000120") << QByteArray() << false << refused;
    // The first reception decides, whatever it is: one filed in the output
    // row finds the input row just cleared, so the check passes.
    QTest::newRow("output row filed before the query")
        << 10 << QByteArray::fromHex("E0003B01001C") << QByteArray() << true
        << QStringList{at(10, kAllOff), at(30, kAllOff), at(60, kInQuery), at(80, kOutQuery)};
    // An adapter that echoes sends the query back, a copy of a quiet reply:
    // the host's reply behind it decides, and the start is withdrawn.
    QTest::newRow("echo, then a reply with input 1 in alarm")
        << 31 << quiet << QByteArray::fromHex("E0003F010020") << false
        << QStringList{at(30, kInQuery), at(31, kAllOff)};
    QTest::newRow("echo, then a quiet reply")
        << 31 << quiet << quiet << true
        << QStringList{at(30, kInQuery), at(31, kAllOff), at(51, kAllOff), at(81, kInQuery),
                       at(101, kOutQuery)};
}

void TestLinkage::inputCheck()
{
    QFETCH(int, replyAt);
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, then);
    QFETCH(bool, passes);
    QFETCH(QStringList, trace);
    LinkageFixture f;
    f.prepare(0, {0, 2});
    f.state.replyTable[0][3] = 0x04; // as earlier polling left it
    f.ui.Command1->click();
    QVERIFY(f.state.linkageActive && f.state.inputCheckPending);
    QVERIFY(f.port.portOpen());
    QCOMPARE(f.state.replyTable[0], (std::array<int16_t, 6>{}));
    f.advanceTo(replyAt);
    f.port.receive(reply);
    if (!then.isEmpty()) {
        f.advance(5);
        f.port.receive(then);
    }
    f.advanceTo(120);
    QCOMPARE(f.frames(), trace);
    QVERIFY(!f.state.inputCheckPending);
    // A refused check leaves linkage off: nothing may act on the alarm.
    QCOMPARE(f.state.linkageActive, passes);
    QCOMPARE(f.state.inputCheckPassed, passes);

    if (passes) {
        QVERIFY(f.boxes.shown().isEmpty());
        QCOMPARE(f.ui.SSTab1->tab(), 0);
        QCOMPARE(f.enabledPages(), QString("0"));
        for (const CheckBox *box : f.ui.Check1)
            QVERIFY(!box->isEnabled());
        QVERIFY(!f.ui.Frame3->isEnabled());
        QCOMPARE(f.shownHostButtons(), QStringList{"Command2_0"});
        QVERIFY(!f.ui.Command1->isEnabled());
        QVERIFY(!f.state.filterPending);
        return;
    }

    QCOMPARE(f.boxes.texts(), QStringList{"你的输入端有报警,请检查,联动前不允许有报警"});
    QCOMPARE(f.boxes.shown().first().style, 16);
    QCOMPARE(f.counting(), QString());
    f.advanceTo(2000);
    QCOMPARE(f.frames(), trace);
    QCOMPARE(f.ui.SSTab1->tab(), 4);
    QVERIFY(f.ui.Command1->isEnabled());
    // The port opened for the check is closed again, so no stray byte can
    // run linkage on the alarmed row.
    QVERIFY(!f.port.portOpen());
    // The host page polls as without linkage: lamps, manual outputs, and
    // the alarm drives nothing.
    f.page(0);
    f.advance(60);
    f.reply("E0003F0400 23");
    f.advance(60);
    QCOMPARE(f.ui.Shape1[2]->fillColor(), kStatusRed);
    QCOMPARE(f.state.linkageOutputMask, int16_t(0));
    QVERIFY(f.framesFrom(2000).last().endsWith(kAllOff));
    f.page(4);
    f.advanceTo(3000);
    f.port.clearRecords();
    // Alarm cleared, the operator presses again: the check runs anew.
    f.start();
    QCOMPARE(f.framesFrom(3000), (QStringList{at(3030, kInQuery), at(3035, kAllOff)}));
    QVERIFY(f.state.inputCheckPassed);
    QCOMPARE(f.ui.SSTab1->tab(), 0);
}

void TestLinkage::alarmDrivesTheLinkedOutputs_data()
{
    QTest::addColumn<int>("host");
    QTest::addColumn<QList<int>>("links"); // (channel, output) pairs
    QTest::addColumn<int>("in1");
    QTest::addColumn<int>("in2");
    QTest::addColumn<QStringList>("lamps");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QStringList>("buttons");
    QTest::addColumn<QString>("command");
    QTest::newRow("8 channels, in1 05")
        << 0 << QList<int>{0, 2, 2, 7} << 0x05 << 0x00
        << QStringList{"Shape1_0", "Shape1_2", "Shape2_2", "Shape2_7"} << QStringList{"Check1_2", "Check1_7"}
        << QStringList{"Command7_0", "Command8_0", "Command2_0"} << "E0 00 3D 84 00 A1";
    QTest::newRow("16 channels, in2 03")
        << 1 << QList<int>{8, 0, 9, 0} << 0x00 << 0x03 << QStringList{"Shape2_8", "Shape3_8", "Shape3_9"}
        << QStringList{"Check5_0"} << QStringList{"Command7_1", "Command8_1", "Command2_1"}
        << "E0 00 3D 01 00 1E";
    QTest::newRow("8 channels, only in2 10") << 0 << QList<int>{0, 0} << 0x00 << 0x10 << QStringList{}
                                             << QStringList{} << QStringList{"Command2_0"} << kAllOff;
    QTest::newRow("16 channels, in2 FF")
        << 1 << QList<int>{15, 7} << 0x00 << 0xFF
        << QStringList{"Shape2_15", "Shape3_10", "Shape3_11", "Shape3_12", "Shape3_13",
                       "Shape3_14", "Shape3_15", "Shape3_8",  "Shape3_9"}
        << QStringList{"Check5_7"} << QStringList{"Command7_1", "Command8_1", "Command2_1"}
        << "E0 00 3D 80 00 9D";
    // Reset shows with the alarm; lock only once some output is on.
    QTest::newRow("alarm on an unlinked input")
        << 0 << QList<int>{0, 2} << 0x08 << 0x00 << QStringList{"Shape1_3"} << QStringList{}
        << QStringList{"Command8_0", "Command2_0"} << kAllOff;
    QTest::newRow("two inputs on one output")
        << 0 << QList<int>{0, 2, 1, 2} << 0x03 << 0x00 << QStringList{"Shape1_0", "Shape1_1", "Shape2_2"}
        << QStringList{"Check1_2"} << QStringList{"Command7_0", "Command8_0", "Command2_0"}
        << "E0 00 3D 04 00 21";
    // Every input bit of both bytes on both hosts, input n linked to output
    // 9 - n (17 - n from input 9 on); the 8-channel host ignores byte 4.
    for (int host = 0; host <= 1; ++host) {
        for (int input = 0; input < 16; ++input) {
            const int output = 7 - input % 8;
            const QString suffix = QStringLiteral("_%1").arg(host);
            QStringList lamps;
            QStringList boxes;
            QStringList buttons{"Command2" + suffix};
            QString command = kAllOff;
            if (host == 1 || input < 8) {
                lamps = QStringList{QStringLiteral("Shape%1_%2").arg(host == 0 ? 1 : 3).arg(input),
                                    QStringLiteral("Shape2_%1").arg(host * 8 + output)};
                lamps.sort();
                boxes = QStringList{QStringLiteral("Check%1_%2").arg(host == 0 ? 1 : 5).arg(output)};
                buttons = QStringList{"Command7" + suffix, "Command8" + suffix, "Command2" + suffix};
                command = outputCommand(1 << output);
            }
            QTest::addRow("%d channels, input %d", host == 0 ? 8 : 16, input + 1)
                << host << QList<int>{host == 0 ? input % 8 : input, output} << (input < 8 ? 1 << input : 0)
                << (input < 8 ? 0 : 1 << (input - 8)) << lamps << boxes << buttons << command;
        }
    }
}

void TestLinkage::alarmDrivesTheLinkedOutputs()
{
    QFETCH(int, host);
    QFETCH(QList<int>, links);
    QFETCH(int, in1);
    QFETCH(int, in2);
    QFETCH(QStringList, lamps);
    QFETCH(QStringList, boxes);
    QFETCH(QStringList, buttons);
    QFETCH(QString, command);
    LinkageFixture f;
    f.prepare(host, links);
    f.start();
    QCOMPARE(f.ui.SSTab1->tab(), host);
    f.advanceTo(90); // the input query went out at 85
    f.port.receive(inputReply(uint8_t(in1), uint8_t(in2)));
    QCOMPARE(f.alarmLamps(), lamps);
    QCOMPARE(f.tickedManualBoxes(), boxes);
    QCOMPARE(f.shownHostButtons(), buttons);
    const int mask = command.section(u' ', 3, 3).toInt(nullptr, 16);
    QCOMPARE(f.state.linkageOutputMask, int16_t(mask));
    QCOMPARE(f.state.manualOutputMask, uint8_t(mask));
    // The pending output status query is dropped for the linkage frame.
    f.advanceTo(215);
    QCOMPARE(f.framesFrom(86),
             (QStringList{at(110, command), at(140, kInQuery), at(160, kOutQuery), at(210, kInQuery)}));
    // Quiet inputs switch nothing off.
    f.port.receive(inputReply(0));
    f.advanceTo(400);
    QCOMPARE(f.alarmLamps(), lamps);
    QCOMPARE(f.state.linkageOutputMask, int16_t(mask));
    QVERIFY(f.commands(111).isEmpty());
}

void TestLinkage::filterThenOutputsThenAutomaticReset_data()
{
    QTest::addColumn<int>("host");
    QTest::addColumn<int>("channel");
    QTest::addColumn<QStringList>("lamps");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QStringList>("buttons");
    QTest::newRow("8 channels, input 2") << 0 << 1 << QStringList{"Shape1_1", "Shape2_4"} << "Check1_4"
                                         << QStringList{"Command7_0", "Command8_0", "Command2_0"};
    QTest::newRow("16 channels, input 10") << 1 << 9 << QStringList{"Shape2_12", "Shape3_9"} << "Check5_4"
                                           << QStringList{"Command7_1", "Command8_1", "Command2_1"};
}

// Filter 1.2 s, reset 3 s, the input in alarm throughout, linked to output 5.
void TestLinkage::filterThenOutputsThenAutomaticReset()
{
    QFETCH(int, host);
    QFETCH(int, channel);
    QFETCH(QStringList, lamps);
    QFETCH(QString, box);
    QFETCH(QStringList, buttons);
    LinkageFixture f;
    f.prepare(host, {channel, 4}, 12, 3);
    f.start();
    QVERIFY(f.state.filterPending);
    Host alarmed(f);
    (channel < 8 ? alarmed.in1 : alarmed.in2) = uint8_t(1 << (channel % 8));
    alarmed.runTo(1289);
    // Alarmed replies from 90 on: only the filter timer counts.
    QVERIFY(f.commands(56).isEmpty());
    QCOMPARE(f.alarmLamps(), QStringList{});
    QCOMPARE(f.c.Timer5->interval(), 1200);
    QVERIFY(f.c.Timer5->isCounting());
    QVERIFY(!f.c.Timer6->isCounting());

    alarmed.runTo(1480);
    QCOMPARE(f.framesFrom(1270),
             (QStringList{at(1275, kInQuery), at(1310, kAllOff), at(1340, kInQuery),
                          at(1365, "E0 00 3D 10 00 2D"), at(1395, kInQuery), at(1420, "E0 00 3D 10 00 2D"),
                          at(1450, kInQuery), at(1475, "E0 00 3D 10 00 2D")}));
    QCOMPARE(f.alarmLamps(), lamps);
    QCOMPARE(f.tickedManualBoxes(), QStringList{box});
    QCOMPARE(f.shownHostButtons(), buttons);
    QCOMPARE(f.c.Timer6->interval(), 3000);
    QVERIFY(f.c.Timer6->isCounting());

    // Reset 3 s after the filter timer (1290): all off, and the alarm waits
    // for the filter again.
    alarmed.runTo(4400);
    QCOMPARE(f.framesFrom(4250), (QStringList{at(4255, kInQuery), at(4280, "E0 00 3D 10 00 2D"),
                                              at(4310, kAllOff), at(4340, kInQuery), at(4360, kOutQuery)}));
    QCOMPARE(f.alarmLamps(), QStringList{});
    QCOMPARE(f.tickedManualBoxes(), QStringList{});
    buttons.removeAt(1); // the reset button hides itself
    QCOMPARE(f.shownHostButtons(), buttons);
    QVERIFY(f.state.filterPending);
    QCOMPARE(f.state.linkageOutputMask, int16_t(0));
    QCOMPARE(f.counting(), QString("1 5"));

    alarmed.runTo(5630);
    QCOMPARE(f.framesFrom(5500), (QStringList{at(5530, kInQuery), at(5565, kAllOff), at(5595, kInQuery),
                                              at(5620, "E0 00 3D 10 00 2D")}));
    QVERIFY(f.c.Timer6->isCounting());
    QVERIFY(f.boxes.shown().isEmpty());
}

void TestLinkage::resetTimeZeroKeepsTheOutputsOn()
{
    LinkageFixture f;
    f.prepare(0, {1, 4}, 12, 0);
    f.start();
    Host host(f, 0x02);
    host.runTo(1400);
    QCOMPARE(f.commands(56), (QStringList{at(1310, kAllOff), at(1365, "E0 00 3D 10 00 2D")}));
    host.in1 = 0;
    host.runTo(10000);
    // The last alarmed reply came at 1400; nothing goes out after its frame.
    QCOMPARE(f.commands(1366), QStringList{at(1420, "E0 00 3D 10 00 2D")});
    QCOMPARE(f.alarmLamps(), (QStringList{"Shape1_1", "Shape2_4"}));
    QCOMPARE(f.state.linkageOutputMask, int16_t(0x10));
    QVERIFY(!f.c.Timer5->isCounting());
    QVERIFY(!f.c.Timer6->isCounting());
    QVERIFY(!f.state.filterPending);
}

// A reset timer still running from an earlier linkage sets the filter
// pending after a restart without filter time: the alarm acts at once, as
// in any start without filter, and no automatic reset follows.
void TestLinkage::leftoverResetTimerWithoutFilterTime()
{
    LinkageFixture f;
    f.prepare(0, {1, 4}, 0, 3);
    f.start();
    f.c.Timer6->setInterval(1000);
    f.c.Timer6->setEnabled(true);
    Host host(f);
    host.runTo(1100);
    QVERIFY(f.state.filterPending);
    host.in1 = 0x02;
    host.runTo(10000);
    QVERIFY(!f.state.filterPending);
    QCOMPARE(f.state.linkageOutputMask, int16_t(0x10));
    QCOMPARE(f.commands(1100).first(), at(1180, "E0 00 3D 10 00 2D"));
    QVERIFY(f.commands(1100).filter(kAllOff).isEmpty());
    QVERIFY(!f.c.Timer5->isCounting() && !f.c.Timer6->isCounting());
}

void TestLinkage::alarmGoneWithinTheFilterTime()
{
    LinkageFixture f;
    Host host = startWithTimers(f);
    host.runTo(100); // one alarmed reply, at 90
    host.in1 = 0;
    host.runTo(1300);
    QVERIFY(f.c.Timer6->isCounting());
    host.runTo(6000);
    // The filter timer sends the unchanged mask, the reset timer resets.
    QCOMPARE(f.commands(56), (QStringList{at(1310, kAllOff), at(4310, kAllOff)}));
    QCOMPARE(f.alarmLamps(), QStringList{});
    QCOMPARE(f.tickedManualBoxes(), QStringList{});
    QCOMPARE(f.shownHostButtons(), QStringList{"Command2_0"});
    QVERIFY(f.state.filterPending);
    QVERIFY(f.boxes.shown().isEmpty());
}

void TestLinkage::filterAndResetTimesInMilliseconds_data()
{
    QTest::addColumn<int>("filter");
    QTest::addColumn<int>("reset");
    QTest::newRow("0.1 s and 1 s") << 1 << 1;
    QTest::newRow("10 s and 33 s") << 100 << 33;
    QTest::newRow("10 s and 600 s") << 100 << 600;
}

// The longest times the settings allow must not wrap in 16 bits.
void TestLinkage::filterAndResetTimesInMilliseconds()
{
    QFETCH(int, filter);
    QFETCH(int, reset);
    LinkageFixture f;
    f.prepare(0, {1, 4}, filter, reset);
    f.start();
    f.advanceTo(90);
    f.port.receive(inputReply(0x02));
    QCOMPARE(f.c.Timer5->interval(), filter * 100);
    const int64_t filtered = 90 + filter * 100;
    const int64_t reseted = filtered + int64_t(reset) * 1000;
    f.advanceTo(filtered + 1);
    QCOMPARE(f.c.Timer6->interval(), reset * 1000);
    f.advanceTo(reseted + 100);
    QCOMPARE(f.commands(56), (QStringList{at(filtered + 20, kAllOff), at(reseted + 20, kAllOff)}));
    QVERIFY(f.state.filterPending);
    QVERIFY(!f.c.Timer6->isCounting());
}

void TestLinkage::lockRefusesResetAndCancel()
{
    LinkageFixture f;
    f.alarmOnInputs1And3();
    f.advanceTo(170); // 110 outputs on, 140 and 160 the queries
    f.ui.Command7[0]->click();
    QVERIFY(f.state.locked);
    QCOMPARE(f.ui.Command7[0]->text(), QString("取消锁定"));
    QCOMPARE(f.counting(), QString());

    f.ui.Command8[0]->click();
    f.ui.Command2[0]->click();
    QCOMPARE(f.boxes.texts(), (QStringList{kLockedText, kLockedText}));
    QCOMPARE(f.alarmLamps(), (QStringList{"Shape1_0", "Shape1_2", "Shape2_2", "Shape2_7"}));
    QCOMPARE(f.tickedManualBoxes(), (QStringList{"Check1_2", "Check1_7"}));
    QCOMPARE(f.shownHostButtons(), (QStringList{"Command7_0", "Command8_0", "Command2_0"}));
    QVERIFY(f.state.linkageActive);
    QCOMPARE(f.enabledPages(), QString("0"));
    // A reception while locked changes nothing either.
    f.port.receive(inputReply(0x02));
    QCOMPARE(f.alarmLamps().size(), 4);
    QCOMPARE(f.state.linkageOutputMask, int16_t(0x84));
    QCOMPARE(f.counting(), QString());
    f.advanceTo(1000);
    QVERIFY(f.framesFrom(161).isEmpty());

    // Unlocking starts Timer1 alone, with the poll period it last had.
    f.ui.Command7[0]->click();
    QVERIFY(!f.state.locked);
    QCOMPARE(f.ui.Command7[0]->text(), QString("锁定状态"));
    QCOMPARE(f.counting(), QString("1"));
    f.advanceTo(1125);
    QCOMPARE(f.framesFrom(1000), (QStringList{at(1050, kInQuery), at(1070, kOutQuery), at(1120, kInQuery)}));
    f.ui.Command8[0]->click();
    QCOMPARE(f.alarmLamps(), QStringList{});
    QCOMPARE(f.tickedManualBoxes(), QStringList{});
    QCOMPARE(f.shownHostButtons(), (QStringList{"Command7_0", "Command2_0"}));
    QCOMPARE(f.state.manualOutputMask, uint8_t(0));
    f.advanceTo(1180);
    QCOMPARE(f.framesFrom(1121), (QStringList{at(1145, kAllOff), at(1175, kInQuery)}));

    // Each lock button keeps its own caption: the other page's still locks.
    f.ui.Command7[0]->click();
    f.ui.Command7[1]->click();
    QVERIFY(f.state.locked);
    QCOMPARE(f.ui.Command7[1]->text(), QString("取消锁定"));
}

void TestLinkage::alarmWhileLockedChangesNothing_data()
{
    QTest::addColumn<int>("host");
    QTest::addColumn<QList<int>>("links");  // (channel, output) pairs
    QTest::addColumn<QByteArray>("first");  // in1, in2 of the alarm before the lock
    QTest::addColumn<QByteArray>("second"); // and of the one while locked
    QTest::newRow("8 channels") << 0 << QList<int>{0, 2, 2, 7, 1, 4} << QByteArray("\x05\x00", 2)
                                << QByteArray("\x07\x00", 2);
    QTest::newRow("16 channels") << 1 << QList<int>{8, 0, 9, 0, 1, 5, 15, 6} << QByteArray("\x00\x03", 2)
                                 << QByteArray("\x02\x83", 2);
}

// Outputs on, locked between the input and the output query, then a new
// alarm on other linked inputs filed in the input row: nothing follows it.
void TestLinkage::alarmWhileLockedChangesNothing()
{
    QFETCH(int, host);
    QFETCH(QList<int>, links);
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    LinkageFixture f;
    f.prepare(host, links);
    f.start();
    f.advanceTo(90);
    f.port.receive(inputReply(uint8_t(first[0]), uint8_t(first[1])));
    f.advanceTo(145); // 110 outputs on, 140 the input query
    f.ui.Command7[size_t(host)]->click();
    const auto seen = [&f] {
        return QStringList{f.alarmLamps().join(u' '),
                           f.tickedManualBoxes().join(u' '),
                           f.shownHostButtons().join(u' '),
                           QString::number(f.state.linkageOutputMask),
                           QString::number(f.state.manualOutputMask),
                           f.counting()};
    };
    const QStringList before = seen();
    QVERIFY(!before[1].isEmpty());
    f.port.receive(inputReply(uint8_t(second[0]), uint8_t(second[1])));
    QCOMPARE(f.state.replyTable[0][3], int16_t(uint8_t(second[0])));
    QCOMPARE(seen(), before);
    f.advanceTo(1000);
    QVERIFY(f.framesFrom(141).isEmpty());
}

void TestLinkage::linkageFrameWhileLockedRestartsPolling()
{
    LinkageFixture f;
    f.alarmOnInputs1And3();
    f.advanceTo(95);
    f.ui.Command7[0]->click();
    f.advanceTo(215);
    QCOMPARE(f.framesFrom(86), (QStringList{at(110, "E0 00 3D 84 00 A1"), at(140, kInQuery),
                                            at(160, kOutQuery), at(210, kInQuery)}));
    QVERIFY(f.state.locked);
    QCOMPARE(f.ui.Command7[0]->text(), QStringLiteral("取消锁定"));
    // Unlocking starts Timer1 with the period it last had; the output query
    // at 230 finds it counting and leaves the count as it is.
    f.ui.Command7[0]->click();
    f.advanceTo(285);
    QCOMPARE(f.framesFrom(211), (QStringList{at(230, kOutQuery), at(265, kInQuery), at(285, kOutQuery)}));
}

void TestLinkage::filterAndResetTimersRunningOutWhileLocked()
{
    LinkageFixture f;
    Host host = startWithTimers(f);
    host.runTo(4400); // reset at 4290, filter armed again at 4345
    QVERIFY(!f.ui.Command7[0]->isHidden());
    f.ui.Command7[0]->click();
    host.runTo(9000);
    // The filter timer's frame goes out and polling resumes after it, still
    // locked: the alarm drives no output, and the reset timer's press is
    // refused.
    QCOMPARE(f.commands(4401), QStringList{at(5565, kAllOff)});
    QCOMPARE(f.framesFrom(5566).mid(0, 2), (QStringList{at(5595, kInQuery), at(5615, kOutQuery)}));
    QCOMPARE(f.boxes.texts(), QStringList{kLockedText});
    QCOMPARE(f.boxes.shown().first().time, int64_t(8545));
    QVERIFY(f.state.filterPending);
}

void TestLinkage::cancelRestoresSetUp_data()
{
    QTest::addColumn<int>("host");
    QTest::addColumn<QString>("confirmCaption");
    QTest::newRow("8-channel page") << 0 << "通道三联动确认";
    QTest::newRow("16-channel page") << 1 << "通道十联动确认";
}

void TestLinkage::cancelRestoresSetUp()
{
    QFETCH(int, host);
    QFETCH(QString, confirmCaption);
    LinkageFixture f;
    f.ui.Combo3->choose(f.ui.Combo3->findText("200"));
    QCOMPARE(f.state.timeSettings[0], int16_t(200));
    f.prepare(host, host == 0 ? QList<int>{0, 2, 2, 7} : QList<int>{15, 7, 8, 0, 9, 0}, 0, 5);
    f.start();
    f.advanceTo(90);
    f.port.receive(host == 0 ? inputReply(0x05) : inputReply(0x00, 0x83));
    QCOMPARE(f.alarmLamps().size(), host == 0 ? 4 : 5);
    if (host == 1)
        f.ui.Shape1[3]->setFillColor(kStatusRed); // page 0 as polling left it
    f.advanceTo(100);                             // the alarm's output frame is due at 110
    f.ui.Command2[size_t(host)]->click();

    QCOMPARE(f.counting(), QString("8"));
    QVERIFY(!f.port.portOpen());
    QCOMPARE(f.ui.SSTab1->tab(), 3);
    QCOMPARE(f.enabledPages(), QString("0 1 2 3 4"));
    QVERIFY(!f.state.linkageActive && !f.state.linkageTableChecked && !f.state.filterPending);
    QCOMPARE(f.state.manualOutputMask, uint8_t(0));
    QCOMPARE(f.state.linkageOutputMask, int16_t(0));
    for (const auto &row : f.state.replyTable)
        QCOMPARE(row, (std::array<int16_t, 6>{}));
    for (const auto &row : f.state.linkageTable)
        QCOMPARE(row, (std::array<int16_t, 8>{}));
    // The poll period is 50 whatever the list shows.
    QCOMPARE(f.state.timeSettings, (std::array<int16_t, 4>{50, 0, 0, 0}));
    QCOMPARE(f.ui.Combo3->text(), QString("200"));

    QCOMPARE(f.alarmLamps(), host == 0 ? QStringList{} : QStringList{"Shape1_3?"});
    QCOMPARE(f.tickedManualBoxes(), QStringList{});
    for (size_t i = 0; i < 8; ++i)
        QVERIFY((host == 0 ? f.ui.Check1[i] : f.ui.Check5[i])->isEnabled());
    QVERIFY(f.ui.Frame3->isEnabled());
    QVERIFY(f.ui.Frame10->isEnabled());
    QCOMPARE(f.ui.Frame3->title(), QString("手动控制输出"));
    QCOMPARE(f.shownHostButtons(), QStringList{});
    QVERIFY(!f.ui.Command1->isEnabled());
    QCOMPARE(f.ui.Check3->value(), 0);
    QVERIFY(!f.ui.Frame7->isEnabled());
    QCOMPARE(f.ui.Command3->text(), confirmCaption);
    for (const CheckBox *box : f.ui.Check2)
        QCOMPARE(box->value(), 0);

    // Not the alarm's frame at 110 but the all-off frame 20 ms after the
    // press; the port is free again after it.
    f.advanceTo(5000);
    QCOMPARE(f.logFrom(100),
             (QStringList{"100 close", "100 port 1", "100 settings 9600,n,8,1", "100 inbuffer 0",
                          "100 rthreshold 1", "100 inputmode 1", "100 latency 0", "100 open", "100 close",
                          "120 open", "120 write " + kAllOff, "120 close"}));
    QCOMPARE(f.counting(), QString());
    QVERIFY(f.boxes.shown().isEmpty());
    // A host page polls at 50 ms now; starting again needs linkage on.
    f.page(host);
    f.advanceTo(5060);
    QCOMPARE(f.framesFrom(5000), (QStringList{at(5000, kAllOff), at(5050, kInQuery)}));
    QVERIFY(!f.ui.Command1->isEnabled());
}

void TestLinkage::timersRunningAtCancelSwitchOffWithoutPolling_data()
{
    QTest::addColumn<int>("alarmUntil");
    QTest::addColumn<int>("cancelAt");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<bool>("filterPending");
    // Filter timer due at 1290; the reset time is 0 after the cancel.
    QTest::newRow("filter timer") << 100 << 500
                                  << QStringList{"520 open",  "520 write " + kAllOff,  "520 close",
                                                 "1310 open", "1310 write " + kAllOff, "1310 close"}
                                  << false;
    // Reset timer due at 4290 presses the reset button.
    QTest::newRow("reset timer") << 2000 << 2030
                                 << QStringList{"2050 open", "2050 write " + kAllOff, "2050 close",
                                                "4310 open", "4310 write " + kAllOff, "4310 close"}
                                 << true;
}

void TestLinkage::timersRunningAtCancelSwitchOffWithoutPolling()
{
    QFETCH(int, alarmUntil);
    QFETCH(int, cancelAt);
    QFETCH(QStringList, log);
    QFETCH(bool, filterPending);
    CancelledLinkage f(alarmUntil, cancelAt);
    f.host->runTo(10000);
    QCOMPARE(f.logFrom(cancelAt + 1), log);
    QCOMPARE(f.counting(), QString());
    QCOMPARE(f.state.filterPending, filterPending);
    QCOMPARE(f.ui.SSTab1->tab(), 3);
    QVERIFY(f.boxes.shown().isEmpty());
}

void TestLinkage::portGoneBehindTheProbeReportedOnce_data()
{
    QTest::addColumn<QStringList>("steps"); // "time what": pull, back, cancel, page N
    QTest::addColumn<QString>("failure");   // of COM1's open once pulled
    QTest::addColumn<int>("boxOpen");       // ms the operator leaves a box open
    QTest::addColumn<QStringList>("boxes");
    const QString missing = SerialComponent::kInvalidPort;
    const QString missingText = "无效的com1端口,请检查或更换端口重新操作";
    const QString refused = SerialComponent::accessDenied("/dev/ttyUSB0");
    const QString refusedText = refused + ",请检查或更换端口重新操作";
    const QStringList pulledCancel{"2030 pull", "2030 cancel"};
    const QStringList probed{"2030 cancel", "3000 pull", "3000 page 4", "3000 page 3"};
    // The cancel's all-off frame is due 20 ms after it, the reset timer's
    // press at 4290 and its frame at 4310.
    QTest::newRow("pulled, then cancel")
        << pulledCancel << missing << 0 << QStringList{"2030 " + missingText};
    QTest::newRow("pulled, then cancel, box open 1 s")
        << pulledCancel << missing << 1000 << QStringList{"2030 " + missingText};
    QTest::newRow("refused, then cancel")
        << pulledCancel << refused << 0 << QStringList{"2030 " + refusedText};
    QTest::newRow("reset timer behind a failed probe")
        << probed << refused << 0 << QStringList{"3000 " + refusedText};
    QTest::newRow("failure nothing reported")
        << QStringList{"2030 cancel", "3000 pull"} << refused << 0 << QStringList{"4310 " + refusedText};
    QTest::newRow("reported, opened again, failing again")
        << probed + QStringList{"3100 back", "3100 page 0", "3200 page 2", "3300 pull"} << refused << 0
        << QStringList{"3000 " + refusedText, "4310 " + refusedText};
    QTest::newRow("reported, probed again, failing again")
        << probed + QStringList{"3100 back", "3100 page 4", "3100 page 3", "3300 pull"} << refused << 0
        << QStringList{"3000 " + refusedText, "4310 " + refusedText};
}

// One failure, one message: the output frame that follows a probe's report
// of the same failure stops quietly, and still stops what a failure stops.
void TestLinkage::portGoneBehindTheProbeReportedOnce()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, failure);
    QFETCH(int, boxOpen);
    QFETCH(QStringList, boxes);
    LinkageFixture f;
    Host host = startWithTimers(f);
    host.runTo(2000);
    host.in1 = 0;
    f.boxes.whileOpen = [&f, boxOpen](const QString &) { f.advance(boxOpen); };
    for (const QString &step : steps) {
        host.runTo(step.section(u' ', 0, 0).toInt());
        const QString what = step.section(u' ', 1);
        if (what == "pull" || what == "back")
            f.port.failOpen(1, what == "pull" ? failure : QString());
        else if (what == "cancel")
            f.ui.Command2[0]->click();
        else
            f.page(what.back().digitValue());
    }
    host.runTo(10000);
    QStringList shown;
    for (const auto &box : f.boxes.shown())
        shown.append(QStringLiteral("%1 %2").arg(box.time).arg(box.text));
    QCOMPARE(shown, boxes);
    QCOMPARE(f.counting(), QString());
    QVERIFY(!f.port.portOpen());
}

void TestLinkage::leftoverTimerRunningOutDuringTheInputCheck_data()
{
    QTest::addColumn<int>("alarmUntil");
    QTest::addColumn<int>("cancelAt");
    QTest::addColumn<int>("pressAt");
    // The timers as in the cancel test above: filter due at 1290, reset at
    // 4290; start pressed 20 ms before.
    QTest::newRow("filter timer") << 100 << 500 << 1270;
    QTest::newRow("reset timer") << 2000 << 2030 << 4270;
}

// The timer's output frame goes out, and the check goes on: polling resumes
// on the open port and the quiet reply completes the start.
void TestLinkage::leftoverTimerRunningOutDuringTheInputCheck()
{
    QFETCH(int, alarmUntil);
    QFETCH(int, cancelAt);
    QFETCH(int, pressAt);
    CancelledLinkage f(alarmUntil, cancelAt);
    f.prepare(0, {1, 4});
    f.host->runTo(pressAt);
    f.ui.Command1->click();
    f.host->runTo(pressAt + 150);
    const int p = pressAt;
    QCOMPARE(f.framesFrom(p),
             (QStringList{at(p + 40, kAllOff), at(p + 70, kInQuery), at(p + 75, kAllOff), at(p + 95, kAllOff),
                          at(p + 125, kInQuery), at(p + 145, kOutQuery)}));
    QVERIFY(f.state.linkageActive && f.state.inputCheckPassed && !f.state.inputCheckPending);
    QCOMPARE(f.ui.SSTab1->tab(), 0);
    QCOMPARE(f.shownHostButtons(), QStringList{"Command2_0"});
    QVERIFY(f.boxes.shown().isEmpty());
}

void TestLinkage::checkLeftWaitingIsAbandoned_data()
{
    // The page selected, or -1: linkage unticked, -2: the table cleared,
    // -3: the only linked row confirmed empty.
    QTest::addColumn<int>("leave");
    QTest::newRow("linkage unticked") << -1;
    QTest::newRow("table cleared") << -2;
    QTest::newRow("row emptied") << -3;
    QTest::newRow("8-channel page") << 0;
    QTest::newRow("16-channel page") << 1;
    QTest::newRow("watchdog page") << 2;
    QTest::newRow("parameter page") << 3;
}

// Start pressed with the host silent, then the settings left: linkage has
// not started, and a host page polls as without it.
void TestLinkage::checkLeftWaitingIsAbandoned()
{
    QFETCH(int, leave);
    LinkageFixture f;
    f.prepare(0, {0, 2});
    f.ui.Command1->click();
    f.advanceTo(90); // no reply to the queries at 30 and 80
    if (leave == -1)
        f.ui.Check3->click();
    if (leave == -2)
        f.ui.Command4->click();
    if (leave == -3) {
        f.ui.Check2[2]->click();
        f.ui.Command3->click();
    }
    if (leave >= 0)
        f.page(leave);
    QVERIFY(!f.state.linkageActive && !f.state.inputCheckPending);
    if (leave < 0) {
        QCOMPARE(f.counting(), QString());
        QVERIFY(!f.port.portOpen());
    }
    const int host = leave == 1 ? 1 : 0;
    f.page(host);
    f.advanceTo(145);
    f.reply("E0003F00001F");
    f.advanceTo(205);
    QCOMPARE(f.framesFrom(90),
             (QStringList{at(90, kAllOff), at(140, kInQuery), at(160, kOutQuery), at(200, kAllOff)}));
    QCOMPARE(f.shownHostButtons(), QStringList{});
    QCOMPARE(f.enabledPages(), QString("0 1 2 3 4"));
    // A later press starts afresh.
    f.page(4);
    if (leave == -1)
        f.ui.Check3->click();
    if (leave < -1) {
        f.ui.Check2[2]->click();
        f.ui.Command3->click();
    }
    f.advanceTo(1000);
    f.start();
    QCOMPARE(f.ui.SSTab1->tab(), 0);
    QCOMPARE(f.shownHostButtons(), QStringList{"Command2_0"});
}

void TestLinkage::portFailingInTheLastStageUndoesTheStart_data()
{
    QTest::addColumn<int>("host");
    QTest::newRow("8-channel host") << 0;
    QTest::newRow("16-channel host") << 1;
}

// The adapter goes between the check's reply and the host page's entry:
// one message, and the settings page as before the press.
void TestLinkage::portFailingInTheLastStageUndoesTheStart()
{
    QFETCH(int, host);
    LinkageFixture f;
    f.prepare(host, {host == 0 ? 0 : 8, 2});
    f.ui.Command1->click();
    f.advanceTo(35);
    f.port.failOpen(1, SerialComponent::kInvalidPort);
    f.reply("E0003F00001F");
    f.advanceTo(1000);
    QCOMPARE(f.boxes.texts(), QStringList{"无效的com1端口,请检查或更换端口重新操作"});
    QCOMPARE(f.ui.SSTab1->tab(), 4);
    QCOMPARE(f.enabledPages(), QString("0 1 2 3 4"));
    for (size_t i = 0; i < 8; ++i)
        QVERIFY(f.ui.Check1[i]->isEnabledTo(f.ui.Frame3) && f.ui.Check5[i]->isEnabled());
    QVERIFY(f.ui.Frame10->isEnabled());
    QVERIFY(!f.ui.Frame3->isEnabled()); // linkage is still ticked
    QCOMPARE(f.shownHostButtons(), QStringList{});
    QVERIFY(!f.state.linkageActive && !f.state.inputCheckPassed);
    QVERIFY(f.ui.Command1->isEnabled());
    QCOMPARE(f.counting(), QString());
    QVERIFY(!f.port.portOpen());
    // The adapter back, the same press starts linkage.
    f.port.failOpen(1, QString());
    f.start();
    QCOMPARE(f.ui.SSTab1->tab(), host);
    QCOMPARE(f.boxes.shown().size(), 1);
}

namespace {

// "name: description" as a screen reader reads the widget.
QString spoken(QWidget *widget)
{
    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(widget);
    return face->text(QAccessible::Name) + QStringLiteral(": ") + face->text(QAccessible::Description);
}

} // namespace

// Normal polling paints status colours, linkage alarm colours, reset grey;
// each lamp's description follows.
void TestLinkage::lampsAndBoxesTellAScreenReaderTheirChannelAndState()
{
    {
        FormFixture f;
        f.load();
        f.page(0);
        f.advanceTo(55);
        f.port.receive(inputReply(0x05));
        f.advanceTo(75);
        f.reply("E0003B80009B");
        f.advanceTo(95); // the lamp timer has painted
        QCOMPARE(spoken(f.ui.Shape1[0]), QString("输入1: 报警"));
        QCOMPARE(spoken(f.ui.Shape1[1]), QString("输入2: 未报警"));
        QCOMPARE(spoken(f.ui.Shape2[7]), QString("输出8: 开"));
        QCOMPARE(spoken(f.ui.Shape2[6]), QString("输出7: 关"));
        QCOMPARE(spoken(f.ui.Shape3[15]), QString("输入16: 未报警"));
        QCOMPARE(spoken(f.ui.Shape2[15]), QString("输出8: 关"));
        for (size_t k = 0; k < 8; ++k) {
            const QString output = QStringLiteral("输出") + QString::number(k + 1);
            QCOMPARE(spoken(f.ui.Check1[k]), output + QStringLiteral(": "));
            QCOMPARE(spoken(f.ui.Check5[k]), output + QStringLiteral(": "));
            const auto *caption = f.form.findChild<QLabel *>(QStringLiteral("Label4_%1").arg(k));
            QCOMPARE(spoken(f.ui.Check2[k]), caption->text() + QStringLiteral(": "));
        }
        QCOMPARE(spoken(f.ui.Check2[7]), QString("输出八: "));
    }
    LinkageFixture f;
    f.alarmOnInputs1And3();
    f.advanceTo(170);
    QCOMPARE(spoken(f.ui.Shape1[2]), QString("输入3: 联动报警"));
    QCOMPARE(spoken(f.ui.Shape2[7]), QString("输出8: 联动开"));
    QCOMPARE(spoken(f.ui.Shape1[1]), QString("输入2: 未报警"));
    f.ui.Command8[0]->click();
    QCOMPARE(spoken(f.ui.Shape1[2]), QString("输入3: 未报警"));
    QCOMPARE(spoken(f.ui.Shape2[7]), QString("输出8: 关"));
}

void TestLinkage::linkFailureWhileLinkageRuns_data()
{
    QTest::addColumn<int>("failAt");
    // Input 2 in alarm throughout: the filter timer counts until 1290, the
    // reset timer from then on; at 2000 an output frame is due at 2025.
    QTest::newRow("filter timer counting") << 600;
    QTest::newRow("outputs on, reset timer counting") << 2000;
}

// One message, nothing left running, the filter pending for the next alarm;
// plugged back, cancel switches the outputs off and polling resumes.
void TestLinkage::linkFailureWhileLinkageRuns()
{
    QFETCH(int, failAt);
    LinkageFixture f;
    Host host = startWithTimers(f);
    host.runTo(failAt);
    f.port.failWrites(QStringLiteral("端口设备已断开"));
    host.runTo(9000);
    QCOMPARE(f.boxes.texts(), QStringList{"端口设备已断开,请检查或更换端口重新操作"});
    QVERIFY(!f.port.portOpen());
    QCOMPARE(f.counting(), QString());
    QVERIFY(f.state.filterPending);

    f.port.failWrites(QString());
    f.ui.Command2[0]->click();
    host.runTo(9100);
    QCOMPARE(f.logFrom(9001), (QStringList{"9020 open", "9020 write " + kAllOff, "9020 close"}));
    f.page(0);
    host.runTo(9160);
    QCOMPARE(f.framesFrom(9100), (QStringList{at(9100, kAllOff), at(9150, kInQuery)}));
    QCOMPARE(f.boxes.shown().size(), 1);
}

QTEST_MAIN(TestLinkage)
#include "tst_linkage.moc"

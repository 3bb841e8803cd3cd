#include "support/formfixture.h"
#include "support/simulatedhost.h"

#include "form/windowtexts.h"
#include "serial/serialcomponent.h"

#include <QAccessible>
#include <QLabel>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <functional>
#include <optional>

// Linkage on the virtual clock: the start with its input check, alarms
// driving the linked outputs, the filter and reset timers, lock, reset and
// cancel, all read off the wire with exact times.

namespace {

const QString kInQuery = QStringLiteral("E0 00 3F 00 00 1F");
const QString kOutQuery = QStringLiteral("E0 00 3B 00 00 1B");
const QString kAllOff = QStringLiteral("E0 00 3D 00 00 1D");

// The boxes, each text once.
const QString kAlarmedText = QStringLiteral("你的输入端有报警,请检查,联动前不允许有报警");
const QString kEmptyTableText = QStringLiteral("你没选择联动。请选择联动输出,并确认生效后才联动");
const QString kLockedText = QStringLiteral("你现在处于锁定状态,不能复位");
const QString kMissingText = QStringLiteral("无效的com1端口,请检查或更换端口重新操作");
const QString kRefusedText =
    QStringLiteral("没有权限打开/dev/ttyUSB0(用户需加入dialout组并重新登录),请检查或更换端口重新操作");
const QString kGoneText = QStringLiteral("端口设备已断开,请检查或更换端口重新操作");

QString at(int64_t time, const QString &what)
{
    return QStringLiteral("%1 %2").arg(time).arg(what);
}

// A box shown at `time`, as a story tells it.
QString box(int64_t time, const QString &text)
{
    return at(time, QStringLiteral("box ") + text);
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

    // With a simulated host its replies come as the clock runs.
    void runTo(int64_t time)
    {
        if (host)
            host->runTo(time);
        else
            advanceTo(time);
    }

    QStringList logFrom(int64_t time) const
    {
        QStringList lines;
        for (const QString &line : port.log()) {
            if (line.section(u' ', 0, 0).toLongLong() >= time)
                lines.append(line);
        }
        return lines;
    }

    // From `time` on, in time order: the port's opens and closes, the output
    // commands (the status queries and set-up steps left out) and the boxes.
    QStringList story(int64_t time) const
    {
        QStringList lines =
            logFrom(time).filter(QRegularExpression(QStringLiteral("^\\d+ (open|close|write E0 00 3D )")));
        for (const auto &shown : boxes.shown()) {
            if (shown.time >= time)
                lines.append(box(shown.time, shown.text));
        }
        std::stable_sort(lines.begin(), lines.end(), [](const QString &a, const QString &b) {
            return a.section(u' ', 0, 0).toLongLong() < b.section(u' ', 0, 0).toLongLong();
        });
        return lines;
    }

    // The host pages and linkage at a glance: "alarm lamps | ticked manual
    // boxes | shown buttons | output mask in hex | counting timers", and
    // "| filter pending" while the next alarm waits for the filter timer.
    QString shown() const
    {
        QStringList ticked;
        for (size_t i = 0; i < 8; ++i) {
            for (const CheckBox *box : {ui.Check1[i], ui.Check5[i]}) {
                if (box->value() == 1)
                    ticked.append(box->objectName());
            }
        }
        ticked.sort();
        QStringList buttons;
        for (const CommandButton *button : {ui.Command7[0], ui.Command8[0], ui.Command2[0], ui.Command7[1],
                                            ui.Command8[1], ui.Command2[1]}) {
            if (!button->isHidden())
                buttons.append(button->objectName());
        }
        QStringList parts{lampsIn(kAlarmRed).join(u' '), ticked.join(u' '), buttons.join(u' '),
                          QString::number(state.linkageOutputMask, 16), counting()};
        if (state.filterPending)
            parts.append(QStringLiteral("filter pending"));
        return parts.join(QStringLiteral(" | "));
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

    std::optional<SimulatedHost> host;
};

// What the operator, the adapter or the host does at a time.
struct TimedStep
{
    int64_t at = 0;
    std::function<void(LinkageFixture &)> run;
};

void runSteps(LinkageFixture &f, const QList<TimedStep> &steps, int64_t until)
{
    for (const TimedStep &step : steps) {
        f.runTo(step.at);
        step.run(f);
    }
    f.runTo(until);
}

// Start pressed with a link in the table: the check's query is due, on a
// port opened for it, and the input row cleared of what polling left.
TimedStep press(int64_t at)
{
    return {at, [](LinkageFixture &f) {
                f.state.replyTable[0][3] = 0x04;
                f.ui.Command1->click();
                QVERIFY(f.state.linkageActive && f.state.inputCheckPending);
                QVERIFY(f.port.portOpen());
                QCOMPARE(f.state.replyTable[0], (std::array<int16_t, 6>{}));
            }};
}
TimedStep pressOnEmptyTable(int64_t at)
{
    return {at, [](LinkageFixture &f) {
                f.ui.Command1->click();
                QVERIFY(!f.state.linkageTableChecked);
            }};
}
TimedStep reply(int64_t at, const QByteArray &bytes)
{
    return {at, [bytes](LinkageFixture &f) { f.port.receive(bytes); }};
}
TimedStep quiet(int64_t at)
{
    return {at, [](LinkageFixture &f) { f.host->in1 = 0; }};
}
TimedStep cancel(int64_t at)
{
    return {at, [](LinkageFixture &f) { f.ui.Command2[0]->click(); }};
}
TimedStep page(int64_t at, int index)
{
    return {at, [index](LinkageFixture &f) { f.page(index); }};
}
// COM1's open fails so from then on (PortError::None: it opens again).
TimedStep openFails(int64_t at, const PortFailure &failure)
{
    return {at, [failure](LinkageFixture &f) { f.port.failOpen(1, failure); }};
}
TimedStep writesFail(int64_t at, PortError error)
{
    return {at, [error](LinkageFixture &f) { f.port.failWrites(error); }};
}
// Linkage on again, as before, and start pressed.
TimedStep restart(int64_t at)
{
    return {at, [](LinkageFixture &f) {
                f.prepare(0, {1, 4});
                f.ui.Command1->click();
            }};
}

// An output frame sent with the port closed: opened for it, closed after.
QStringList switchedOff(int64_t time)
{
    return {at(time, "open"), at(time, "write " + kAllOff), at(time, "close")};
}

using Steps = std::function<void(LinkageFixture &)>;

// Ways to take the only link, channel 1 to output 3, out of the table and
// to put it back.
void toggleOutput3(LinkageFixture &f)
{
    f.ui.Check2[2]->click();
    f.ui.Command3->click();
}
void clearTable(LinkageFixture &f)
{
    f.ui.Command4->click();
}
void toggleLinkage(LinkageFixture &f)
{
    f.ui.Check3->click();
}
const Steps nothing = [](LinkageFixture &) {};

} // namespace

Q_DECLARE_METATYPE(Steps)
Q_DECLARE_METATYPE(TimedStep)

namespace {

// Rows of the tables below, with the values most rows share.
void timerRow(const char *name, const QList<TimedStep> &steps, int until, int from, const QStringList &story,
              const QString &shown, int filter = 12, int reset = 3)
{
    QTest::newRow(name) << filter << reset << steps << until << from << story << shown;
}
void startRow(const char *name, const QList<TimedStep> &steps, int until, const QStringList &trace,
              const QStringList &boxes = {}, const Steps &restore = nothing, int host = 0)
{
    QTest::newRow(name) << host << steps << until << trace << boxes << restore;
}

} // namespace

class TestLinkage : public QObject
{
    Q_OBJECT

private slots:
    void startAndItsInputCheck_data();
    void startAndItsInputCheck();
    void checkLeftWaitingIsAbandoned_data();
    void checkLeftWaitingIsAbandoned();
    void alarmDrivesTheLinkedOutputs_data();
    void alarmDrivesTheLinkedOutputs();
    void filterThenOutputsThenAutomaticReset_data();
    void filterThenOutputsThenAutomaticReset();
    void linkageTimersOverTime_data();
    void linkageTimersOverTime();
    void lockKeepsEverythingAsItIs_data();
    void lockKeepsEverythingAsItIs();
    void linkageFrameWhileLockedRestartsPolling();
    void cancelRestoresSetUp_data();
    void cancelRestoresSetUp();
    void lampsAndBoxesTellAScreenReaderTheirChannelAndState();
};

void TestLinkage::startAndItsInputCheck_data()
{
    QTest::addColumn<int>("host");
    QTest::addColumn<QList<TimedStep>>("steps");
    QTest::addColumn<int>("until");
    QTest::addColumn<QStringList>("trace");
    QTest::addColumn<QStringList>("boxes"); // none: linkage runs
    QTest::addColumn<Steps>("restore");     // what a later start needs
    const QByteArray quiet = inputReply(0);
    const QByteArray alarm1 = inputReply(0x01);
    const QStringList refused{at(30, kInQuery)};
    const QStringList alarmed{kAlarmedText};
    startRow("inputs quiet", {press(0), reply(35, quiet)}, 120,
             {at(30, kInQuery), at(35, kAllOff), at(55, kAllOff), at(85, kInQuery), at(105, kOutQuery)});
    startRow("input 1 in alarm", {press(0), reply(35, alarm1)}, 2000, refused, alarmed);
    startRow("input 8 in alarm", {press(0), reply(35, inputReply(0x80))}, 2000, refused, alarmed);
    startRow("byte 4 set on the 8-channel host", {press(0), reply(35, inputReply(0, 0x01))}, 2000, refused,
             alarmed);
    // The first reception decides, whatever it is: one filed in the output
    // row finds the input row just cleared, so the check passes.
    startRow("output row filed before the query", {press(0), reply(10, lineFrame(0x3B, 0x01))}, 120,
             {at(10, kAllOff), at(30, kAllOff), at(60, kInQuery), at(80, kOutQuery)});
    // An adapter that echoes sends the query back, a copy of a quiet reply:
    // the host's reply behind it decides, and the start is withdrawn.
    startRow("echo, then a reply with input 1 in alarm", {press(0), reply(31, quiet), reply(36, alarm1)},
             2000, {at(30, kInQuery), at(31, kAllOff)}, alarmed);
    startRow("echo, then a quiet reply", {press(0), reply(31, quiet), reply(36, quiet)}, 120,
             {at(30, kInQuery), at(31, kAllOff), at(51, kAllOff), at(81, kInQuery), at(101, kOutQuery)});
    // The only link gone, before or after a check refused on an alarm: the
    // start is refused at once.
    const QList<TimedStep> refusedFirst{press(0), reply(35, alarm1)};
    const QStringList bothBoxes{kAlarmedText, kEmptyTableText};
    startRow("row confirmed again without ticks", {{0, toggleOutput3}, pressOnEmptyTable(0)}, 1000, {},
             {kEmptyTableText}, toggleOutput3);
    startRow("row emptied after a refused check",
             refusedFirst + QList{TimedStep{35, toggleOutput3}, pressOnEmptyTable(35)}, 1035, refused,
             bothBoxes, toggleOutput3);
    startRow("table cleared after a refused check",
             refusedFirst + QList{TimedStep{35, clearTable}, pressOnEmptyTable(35)}, 1035, refused, bothBoxes,
             toggleOutput3);
    const Steps chooseHost16 = [](LinkageFixture &f) {
        f.ui.Combo4->choose(1);
        f.ui.Check3->click();
    };
    const Steps backToHost8 = [](LinkageFixture &f) {
        f.ui.Combo4->choose(0);
        f.prepare(0, {0, 2});
    };
    startRow("host model chosen after a refused check",
             refusedFirst + QList{TimedStep{35, chooseHost16}, pressOnEmptyTable(35)}, 1035, refused,
             bothBoxes, backToHost8);
    // The adapter goes between the check's reply and the host page's entry.
    const QList<TimedStep> pulled{press(0), openFails(35, {PortError::NoSuchPort, {}}), reply(35, quiet)};
    const Steps pluggedBack = [](LinkageFixture &f) { f.port.failOpen(1, PortError::None); };
    startRow("port failing in the last stage, 8-channel host", pulled, 1000, refused, {kMissingText},
             pluggedBack);
    startRow("port failing in the last stage, 16-channel host", pulled, 1000, refused, {kMissingText},
             pluggedBack, 1);
}

// Linkage runs only once the check has found every input quiet; else one
// box, the settings page as before the press, and a later press starts
// afresh.
void TestLinkage::startAndItsInputCheck()
{
    QFETCH(int, host);
    QFETCH(QList<TimedStep>, steps);
    QFETCH(int, until);
    QFETCH(QStringList, trace);
    QFETCH(QStringList, boxes);
    QFETCH(Steps, restore);
    LinkageFixture f;
    f.prepare(host, {host == 0 ? 0 : 8, 2});
    runSteps(f, steps, until);
    QCOMPARE(f.frames(), trace);
    QCOMPARE(f.boxes.texts(), boxes);
    for (const auto &box : f.boxes.shown())
        QCOMPARE(box.style, 16);
    QVERIFY(!f.state.inputCheckPending);
    // A refused check leaves linkage off: nothing may act on the alarm.
    const bool runs = boxes.isEmpty();
    QCOMPARE(f.state.linkageActive, runs);
    QCOMPARE(f.state.inputCheckPassed, runs);
    if (runs) {
        QCOMPARE(f.ui.SSTab1->tab(), 0);
        QCOMPARE(f.enabledPages(), QString("0"));
        for (const CheckBox *box : f.ui.Check1)
            QVERIFY(!box->isEnabled());
        QVERIFY(!f.ui.Frame3->isEnabled());
        QCOMPARE(f.shown(), QString(" |  | Command2_0 | 0 | 1"));
        QVERIFY(!f.ui.Command1->isEnabled());
        return;
    }

    QCOMPARE(f.ui.SSTab1->tab(), 4);
    QCOMPARE(f.enabledPages(), QString("0 1 2 3 4"));
    for (size_t i = 0; i < 8; ++i)
        QVERIFY(f.ui.Check1[i]->isEnabledTo(f.ui.Frame3) && f.ui.Check5[i]->isEnabled());
    QVERIFY(f.ui.Frame10->isEnabled());
    QVERIFY(!f.ui.Frame3->isEnabled()); // linkage is still ticked
    QVERIFY(f.ui.Command1->isEnabled());
    QCOMPARE(f.shown(), QString(" |  |  | 0 | "));
    // The port opened for the check is closed again, so no stray byte can
    // run linkage on the alarmed row.
    QVERIFY(!f.port.portOpen());
    // The host page polls as without linkage: lamps, manual outputs, and
    // the alarm drives nothing.
    restore(f);
    f.page(0);
    f.advance(60);
    f.reply("E0003F040023");
    f.advance(60);
    QCOMPARE(f.ui.Shape1[2]->fillColor(), kStatusRed);
    QCOMPARE(f.state.linkageOutputMask, int16_t(0));
    QVERIFY(f.frames().last().endsWith(kAllOff));
    // The alarm cleared or the link back, the operator presses again: the
    // check runs anew.
    f.page(4);
    f.advance(1000);
    const int64_t pressed = f.clock.now();
    f.start();
    QCOMPARE(f.framesFrom(pressed), (QStringList{at(pressed + 30, kInQuery), at(pressed + 35, kAllOff)}));
    QVERIFY(f.state.inputCheckPassed);
    QCOMPARE(f.ui.SSTab1->tab(), host);
    QCOMPARE(f.boxes.texts(), boxes);
}

void TestLinkage::checkLeftWaitingIsAbandoned_data()
{
    QTest::addColumn<TimedStep>("leave");  // at 90
    QTest::addColumn<Steps>("restore");    // what a later start needs again
    QTest::addColumn<QString>("counting"); // the timers left counting
    QTest::addColumn<int>("host");         // the host page then polled
    QTest::newRow("linkage unticked") << TimedStep{90, toggleLinkage} << Steps(toggleLinkage) << "" << 0;
    QTest::newRow("table cleared") << TimedStep{90, clearTable} << Steps(toggleOutput3) << "" << 0;
    QTest::newRow("row emptied") << TimedStep{90, toggleOutput3} << Steps(toggleOutput3) << "" << 0;
    QTest::newRow("8-channel page") << page(90, 0) << nothing << "1" << 0;
    QTest::newRow("16-channel page") << page(90, 1) << nothing << "1" << 1;
    QTest::newRow("watchdog page") << page(90, 2) << nothing << "" << 0;
    QTest::newRow("parameter page") << page(90, 3) << nothing << "" << 0;
}

// Start pressed with the host silent, then the settings left: linkage has
// not started, and a host page polls as without it.
void TestLinkage::checkLeftWaitingIsAbandoned()
{
    QFETCH(TimedStep, leave);
    QFETCH(Steps, restore);
    QFETCH(QString, counting);
    QFETCH(int, host);
    LinkageFixture f;
    f.prepare(0, {0, 2});
    f.ui.Command1->click();
    runSteps(f, {leave}, 90); // no reply to the queries at 30 and 80
    QVERIFY(!f.state.linkageActive && !f.state.inputCheckPending);
    QCOMPARE(f.counting(), counting);
    QCOMPARE(f.port.portOpen(), !counting.isEmpty());
    f.page(host);
    f.advanceTo(145);
    f.reply("E0003F00001F");
    f.advanceTo(205);
    QCOMPARE(f.framesFrom(90),
             (QStringList{at(90, kAllOff), at(140, kInQuery), at(160, kOutQuery), at(200, kAllOff)}));
    QCOMPARE(f.shown(), QString(" |  |  | 0 | 1"));
    QCOMPARE(f.enabledPages(), QString("0 1 2 3 4"));
    // A later press starts afresh.
    f.page(4);
    restore(f);
    f.advanceTo(1000);
    f.start();
    QCOMPARE(f.ui.SSTab1->tab(), 0);
    QCOMPARE(f.shown(), QString(" |  | Command2_0 | 0 | 8"));
}

void TestLinkage::alarmDrivesTheLinkedOutputs_data()
{
    QTest::addColumn<int>("host");
    QTest::addColumn<QList<int>>("links"); // (channel, output) pairs
    QTest::addColumn<int>("in1");
    QTest::addColumn<int>("in2");
    QTest::addColumn<QString>("shown");
    QTest::newRow("8 channels, in1 05") << 0 << QList<int>{0, 2, 2, 7} << 0x05 << 0x00
                                        << "Shape1_0 Shape1_2 Shape2_2 Shape2_7 | Check1_2 Check1_7 | "
                                           "Command7_0 Command8_0 Command2_0 | 84 | 8";
    QTest::newRow("16 channels, in2 03") << 1 << QList<int>{8, 0, 9, 0} << 0x00 << 0x03
                                         << "Shape2_8 Shape3_8 Shape3_9 | Check5_0 | Command7_1 Command8_1 "
                                            "Command2_1 | 1 | 8";
    QTest::newRow("8 channels, only in2 10")
        << 0 << QList<int>{0, 0} << 0x00 << 0x10 << " |  | Command2_0 | 0 | 8";
    QTest::newRow("16 channels, in2 FF") << 1 << QList<int>{15, 7} << 0x00 << 0xFF
                                         << "Shape2_15 Shape3_10 Shape3_11 Shape3_12 Shape3_13 Shape3_14 "
                                            "Shape3_15 Shape3_8 Shape3_9 | Check5_7 | "
                                            "Command7_1 Command8_1 Command2_1 | 80 | 8";
    // Reset shows with the alarm; lock only once some output is on.
    QTest::newRow("alarm on an unlinked input")
        << 0 << QList<int>{0, 2} << 0x08 << 0x00 << "Shape1_3 |  | Command8_0 Command2_0 | 0 | 8";
    QTest::newRow("two inputs on one output")
        << 0 << QList<int>{0, 2, 1, 2} << 0x03 << 0x00
        << "Shape1_0 Shape1_1 Shape2_2 | Check1_2 | Command7_0 Command8_0 Command2_0 | 4 | 8";
    // Every input bit of both bytes on both hosts, input n linked to output
    // 9 - n (17 - n from input 9 on); the 8-channel host ignores byte 4.
    for (int host = 0; host <= 1; ++host) {
        for (int input = 0; input < 16; ++input) {
            const int output = 7 - input % 8;
            QStringList lamps{QStringLiteral("Shape%1_%2").arg(host == 0 ? 1 : 3).arg(input),
                              QStringLiteral("Shape2_%1").arg(host * 8 + output)};
            lamps.sort();
            const QString drives =
                QStringLiteral("%1 | Check%2_%3 | Command7_%4 Command8_%4 Command2_%4 | %5 | 8")
                    .arg(lamps.join(u' '))
                    .arg(host == 0 ? 1 : 5)
                    .arg(output)
                    .arg(host)
                    .arg(1 << output, 0, 16);
            QTest::addRow("%d channels, input %d", host == 0 ? 8 : 16, input + 1)
                << host << QList<int>{host == 0 ? input % 8 : input, output} << (input < 8 ? 1 << input : 0)
                << (input < 8 ? 0 : 1 << (input - 8))
                << (host == 1 || input < 8 ? drives : QStringLiteral(" |  | Command2_0 | 0 | 8"));
        }
    }
}

void TestLinkage::alarmDrivesTheLinkedOutputs()
{
    QFETCH(int, host);
    QFETCH(QList<int>, links);
    QFETCH(int, in1);
    QFETCH(int, in2);
    QFETCH(QString, shown);
    LinkageFixture f;
    f.prepare(host, links);
    f.start();
    QCOMPARE(f.ui.SSTab1->tab(), host);
    f.advanceTo(90); // the input query went out at 85
    f.port.receive(inputReply(uint8_t(in1), uint8_t(in2)));
    QCOMPARE(f.shown(), shown);
    const int mask = f.state.linkageOutputMask;
    QCOMPARE(f.state.manualOutputMask, uint8_t(mask));
    // The pending output status query is dropped for the linkage frame.
    f.advanceTo(215);
    QCOMPARE(f.framesFrom(86), (QStringList{at(110, outputCommand(mask)), at(140, kInQuery),
                                            at(160, kOutQuery), at(210, kInQuery)}));
    // Quiet inputs switch nothing off.
    f.port.receive(inputReply(0));
    f.advanceTo(400);
    QCOMPARE(f.shown().section(QStringLiteral(" | "), 0, 3), shown.section(QStringLiteral(" | "), 0, 3));
    QVERIFY(f.story(111).isEmpty());
}

void TestLinkage::filterThenOutputsThenAutomaticReset_data()
{
    QTest::addColumn<int>("host");
    QTest::addColumn<int>("channel");
    QTest::addColumn<QString>("lamps");
    QTest::addColumn<QString>("box");
    QTest::newRow("8 channels, input 2") << 0 << 1 << "Shape1_1 Shape2_4"
                                         << "Check1_4";
    QTest::newRow("16 channels, input 10") << 1 << 9 << "Shape2_12 Shape3_9"
                                           << "Check5_4";
}

// Filter 1.2 s, reset 3 s, the input in alarm throughout, linked to output 5.
void TestLinkage::filterThenOutputsThenAutomaticReset()
{
    QFETCH(int, host);
    QFETCH(int, channel);
    QFETCH(QString, lamps);
    QFETCH(QString, box);
    LinkageFixture f;
    f.prepare(host, {channel, 4}, 12, 3);
    f.start();
    QVERIFY(f.state.filterPending);
    SimulatedHost alarmed(f.platform);
    (channel < 8 ? alarmed.in1 : alarmed.in2) = uint8_t(1 << (channel % 8));
    const QString on = outputCommand(0x10);
    // Alarmed replies from 90 on: only the filter timer counts.
    alarmed.runTo(1289);
    QVERIFY(f.story(56).isEmpty());
    QCOMPARE(f.shown(), QStringLiteral(" |  | Command2_%1 | 0 | 2 5 | filter pending").arg(host));

    alarmed.runTo(1480);
    QCOMPARE(f.framesFrom(1270),
             (QStringList{at(1275, kInQuery), at(1310, kAllOff), at(1340, kInQuery), at(1365, on),
                          at(1395, kInQuery), at(1420, on), at(1450, kInQuery), at(1475, on)}));
    QCOMPARE(
        f.shown(),
        QStringLiteral("%1 | %2 | Command7_%3 Command8_%3 Command2_%3 | 10 | 1 6").arg(lamps, box).arg(host));

    // Reset 3 s after the filter timer (1290): all off, and the alarm waits
    // for the filter again; the reset button hides itself.
    alarmed.runTo(4400);
    QCOMPARE(f.framesFrom(4250), (QStringList{at(4255, kInQuery), at(4280, on), at(4310, kAllOff),
                                              at(4340, kInQuery), at(4360, kOutQuery)}));
    QCOMPARE(f.shown(), QStringLiteral(" |  | Command7_%1 Command2_%1 | 0 | 1 5 | filter pending").arg(host));

    alarmed.runTo(5630);
    QCOMPARE(f.framesFrom(5500),
             (QStringList{at(5530, kInQuery), at(5565, kAllOff), at(5595, kInQuery), at(5620, on)}));
    QVERIFY(f.c.Timer6->isCounting());
    QVERIFY(f.boxes.shown().isEmpty());
}

void TestLinkage::linkageTimersOverTime_data()
{
    QTest::addColumn<int>("filter"); // 0.1 s
    QTest::addColumn<int>("reset");  // 1 s
    QTest::addColumn<QList<TimedStep>>("steps");
    QTest::addColumn<int>("until");
    QTest::addColumn<int>("from");
    QTest::addColumn<QStringList>("story"); // from `from` on
    QTest::addColumn<QString>("shown");     // at the end
    const QString on = "write " + outputCommand(0x10);
    const QString off = "write " + kAllOff;
    const QString stopped = " |  |  | 0 | ";
    const QString pending = " |  |  | 0 |  | filter pending";
    const QString afterReset = " |  | Command2_0 | 0 | 1 | filter pending";
    const QString outputsOn = "Shape1_1 Shape2_4 | Check1_4 | Command7_0 Command8_0 Command2_0 | 10 | ";
    const PortFailure missing{PortError::NoSuchPort, {}};
    const PortFailure refused{PortError::AccessDenied, "/dev/ttyUSB0"};

    // The last alarmed reply comes at 1400; nothing goes out after its frame,
    // and the outputs stay on.
    timerRow("reset time 0 keeps the outputs on", {quiet(1400)}, 10000, 56,
             {at(1310, off), at(1365, on), at(1420, on)}, outputsOn + "2", 12, 0);
    // A reset timer still running from an earlier linkage sets the filter
    // pending after a restart without filter time: the alarm acts at once,
    // as in any start without filter, and no automatic reset follows.
    const TimedStep leftoverResetTimer{35, [](LinkageFixture &f) {
                                           f.host->in1 = 0;
                                           f.c.Timer6->setInterval(1000);
                                           f.c.Timer6->setEnabled(true);
                                       }};
    const TimedStep alarmWhileFilterPending{1100, [](LinkageFixture &f) {
                                                QVERIFY(f.state.filterPending);
                                                f.host->in1 = 0x02;
                                            }};
    timerRow("leftover reset timer, no filter time",
             {leftoverResetTimer, alarmWhileFilterPending, quiet(1190)}, 10000, 1100, {at(1180, on)},
             outputsOn + "1", 0, 3);
    // One alarmed reply, at 90: the filter timer sends the unchanged mask,
    // the reset timer resets, each 20 ms after it runs out. The longest
    // times the settings allow must not wrap in 16 bits.
    timerRow("alarm gone, 0.1 s and 1 s", {quiet(90)}, 1290, 56, {at(210, off), at(1210, off)}, afterReset, 1,
             1);
    timerRow("alarm gone, 1.2 s and 3 s", {quiet(90)}, 4400, 56, {at(1310, off), at(4310, off)}, afterReset);
    timerRow("alarm gone, 10 s and 33 s", {quiet(90)}, 43200, 56, {at(10110, off), at(43110, off)},
             afterReset, 100, 33);
    timerRow("alarm gone, 10 s and 600 s", {quiet(90)}, 610200, 56, {at(10110, off), at(610110, off)},
             afterReset, 100, 600);
    // Locked after the reset at 4290, the filter armed again at 4345: its
    // frame goes out at 5565 and polling resumes, still locked; the alarm
    // drives no output and the reset timer's press is refused.
    const TimedStep lock{4400, [](LinkageFixture &f) {
                             QVERIFY(!f.ui.Command7[0]->isHidden());
                             f.ui.Command7[0]->click();
                         }};
    timerRow("timers running out while locked", {lock}, 9000, 4401, {at(5565, off), box(8545, kLockedText)},
             " |  | Command7_0 Command2_0 | 0 | 1 | filter pending");
    // Cancelled while the filter timer (due at 1290) or the reset timer (due
    // at 4290, pressing reset) runs: the cancel's frame and the timer's each
    // go out on a port opened for it alone; the reset time is 0 after the
    // cancel.
    timerRow("cancel, filter timer running", {quiet(100), cancel(500)}, 10000, 501,
             switchedOff(520) + switchedOff(1310), stopped);
    timerRow("cancel, reset timer running", {quiet(2000), cancel(2030)}, 10000, 2031,
             switchedOff(2050) + switchedOff(4310), pending);
    // And started again 20 ms before the timer runs out: its frame goes out
    // and the check goes on, polling on the open port, until the quiet reply
    // completes the start.
    timerRow(
        "cancel, filter timer running out during the input check", {quiet(100), cancel(500), restart(1270)},
        1420, 1270,
        {at(1270, "open"), at(1310, off), at(1345, "close"), at(1345, "open"), at(1345, off), at(1365, off)},
        " |  | Command2_0 | 0 | 1");
    timerRow(
        "cancel, reset timer running out during the input check", {quiet(2000), cancel(2030), restart(4270)},
        4420, 4270,
        {at(4270, "open"), at(4310, off), at(4345, "close"), at(4345, "open"), at(4345, off), at(4365, off)},
        " |  | Command2_0 | 0 | 1");
    // One failure, one message: the output frame that follows a probe's
    // report of the same failure stops quietly, and still stops what a
    // failure stops.
    const QList<TimedStep> probed{quiet(2000), cancel(2030), openFails(3000, refused), page(3000, 4),
                                  page(3000, 3)};
    const TimedStep boxesOpen1s{
        0, [](LinkageFixture &f) { f.boxes.whileOpen = [&f](const QString &) { f.advance(1000); }; }};
    timerRow("pulled, then cancel", {quiet(2000), openFails(2030, missing), cancel(2030)}, 10000, 2030,
             {at(2030, "close"), box(2030, kMissingText), at(2080, "open"), at(2080, "close")}, pending);
    timerRow("pulled, then cancel, box open 1 s",
             {boxesOpen1s, quiet(2000), openFails(2030, missing), cancel(2030)}, 10000, 2030,
             {at(2030, "close"), box(2030, kMissingText), at(3080, "open"), at(3080, "close")}, stopped);
    timerRow("refused, then cancel", {quiet(2000), openFails(2030, refused), cancel(2030)}, 10000, 2030,
             {at(2030, "close"), box(2030, kRefusedText)}, pending);
    timerRow("reset timer behind a failed probe", probed, 10000, 2031,
             switchedOff(2050) << box(3000, kRefusedText), pending);
    timerRow("failure nothing reported", {quiet(2000), cancel(2030), openFails(3000, refused)}, 10000, 2031,
             switchedOff(2050) << box(4310, kRefusedText), pending);
    timerRow("reported, opened again, failing again",
             probed + QList{openFails(3100, {}), page(3100, 0), page(3200, 2), openFails(3300, refused)},
             10000, 2031,
             switchedOff(2050) << box(3000, kRefusedText) << at(3100, "open") << at(3100, off)
                               << at(3200, "close") << box(4310, kRefusedText),
             pending);
    timerRow("reported, probed again, failing again",
             probed + QList{openFails(3100, {}), page(3100, 4), page(3100, 3), openFails(3300, refused)},
             10000, 2031,
             switchedOff(2050) << box(3000, kRefusedText) << at(3100, "open") << at(3100, "close")
                               << box(4310, kRefusedText),
             pending);
    // The link fails while the filter timer or, outputs on, the reset timer
    // counts: one message, nothing left running, the filter pending for the
    // next alarm. Plugged back, cancel switches the outputs off and polling
    // resumes.
    timerRow("link failure, filter timer counting", {writesFail(600, PortError::DeviceGone)}, 9000, 600,
             {at(645, "close"), box(645, kGoneText)}, " |  | Command2_0 | 0 |  | filter pending");
    timerRow("link failure, reset timer counting", {writesFail(2000, PortError::DeviceGone)}, 9000, 2000,
             {at(2025, "close"), box(2025, kGoneText)}, outputsOn + " | filter pending");
    const QList<TimedStep> pluggedBack{writesFail(9000, PortError::None), cancel(9000), page(9100, 0)};
    const QStringList cancelled = QStringList{at(9000, "open"), at(9000, "close")} + switchedOff(9020)
                                  + QStringList{at(9100, "open"), at(9100, off)};
    timerRow("link failure, filter timer counting, plugged back",
             QList{writesFail(600, PortError::DeviceGone)} + pluggedBack, 9160, 600,
             QStringList{at(645, "close"), box(645, kGoneText)} + cancelled, stopped + "2");
    timerRow("link failure, reset timer counting, plugged back",
             QList{writesFail(2000, PortError::DeviceGone)} + pluggedBack, 9160, 2001,
             QStringList{at(2025, "close"), box(2025, kGoneText)} + cancelled, stopped + "2");
}

// Input 2 linked to output 5 with the filter and reset times given in the
// settings' units (0.1 s and 1 s), in alarm from the start until a step
// ends it.
void TestLinkage::linkageTimersOverTime()
{
    QFETCH(int, filter);
    QFETCH(int, reset);
    QFETCH(QList<TimedStep>, steps);
    QFETCH(int, until);
    QFETCH(int, from);
    QFETCH(QStringList, story);
    QFETCH(QString, shown);
    LinkageFixture f;
    f.prepare(0, {1, 4}, filter, reset);
    f.start();
    f.host.emplace(f.platform, 0x02);
    runSteps(f, steps, until);
    QCOMPARE(f.story(from), story);
    QCOMPARE(f.shown(), shown);
    // The port is open exactly while polling.
    QCOMPARE(f.port.portOpen(), f.polling());
}

void TestLinkage::lockKeepsEverythingAsItIs_data()
{
    QTest::addColumn<int>("host");
    QTest::addColumn<QList<int>>("links"); // (channel, output) pairs
    QTest::addColumn<QByteArray>("alarm"); // at 90, switching outputs on at 110
    QTest::addColumn<int>("lockAt");
    QTest::addColumn<Steps>("whileLocked");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QStringList>("unlocked"); // the frames after unlocking at 1000, reset at 1125
    // After the queries at 140 and 160.
    QTest::newRow("reset and cancel refused")
        << 0 << QList<int>{0, 2, 2, 7} << inputReply(0x05) << 170 << Steps([](LinkageFixture &f) {
               f.ui.Command8[0]->click();
               f.ui.Command2[0]->click();
               f.port.receive(inputReply(0x02));
           })
        << QStringList{kLockedText, kLockedText}
        << QStringList{at(1050, kInQuery), at(1070, kOutQuery), at(1120, kInQuery), at(1145, kAllOff),
                       at(1175, kInQuery)};
    // Between the input and the output query, then a new alarm on other
    // linked inputs filed in the input row: nothing follows it.
    const QStringList unlockedAfterTheInputQuery{at(1030, kInQuery), at(1050, kOutQuery),
                                                 at(1100, kInQuery), at(1120, kOutQuery),
                                                 at(1145, kAllOff),  at(1175, kInQuery)};
    const auto alarmAgain = [](const QByteArray &reply) {
        return Steps([reply](LinkageFixture &f) {
            f.port.receive(reply);
            QCOMPARE(f.state.replyTable[0][3], int16_t(uint8_t(reply[3])));
        });
    };
    QTest::newRow("alarm while locked, 8 channels")
        << 0 << QList<int>{0, 2, 2, 7, 1, 4} << inputReply(0x05) << 145 << alarmAgain(inputReply(0x07))
        << QStringList{} << unlockedAfterTheInputQuery;
    QTest::newRow("alarm while locked, 16 channels")
        << 1 << QList<int>{8, 0, 9, 0, 1, 5, 15, 6} << inputReply(0, 0x03) << 145
        << alarmAgain(inputReply(0x02, 0x83)) << QStringList{} << unlockedAfterTheInputQuery;
}

// Outputs on, then locked: polling stops and nothing changes until unlocked.
void TestLinkage::lockKeepsEverythingAsItIs()
{
    QFETCH(int, host);
    QFETCH(QList<int>, links);
    QFETCH(QByteArray, alarm);
    QFETCH(int, lockAt);
    QFETCH(Steps, whileLocked);
    QFETCH(QStringList, boxes);
    QFETCH(QStringList, unlocked);
    LinkageFixture f;
    f.prepare(host, links);
    f.start();
    f.advanceTo(90);
    f.port.receive(alarm);
    f.advanceTo(lockAt);
    CommandButton *lockButton = f.ui.Command7[size_t(host)];
    lockButton->click();
    QVERIFY(f.state.locked);
    QCOMPARE(lockButton->text(), QString(kUnlockCaption));
    QCOMPARE(f.counting(), QString());
    const QString before = f.shown();
    QVERIFY(f.state.manualOutputMask != 0);
    whileLocked(f);
    QCOMPARE(f.boxes.texts(), boxes);
    QCOMPARE(f.shown(), before);
    QVERIFY(f.state.linkageActive);
    QCOMPARE(f.enabledPages(), QString::number(host));
    f.advanceTo(1000);
    QVERIFY(f.framesFrom(lockAt).isEmpty());

    // Unlocking starts Timer1 alone, with the poll period it last had.
    lockButton->click();
    QVERIFY(!f.state.locked);
    QCOMPARE(lockButton->text(), QString(kLockCaption));
    QCOMPARE(f.counting(), QString("1"));
    f.advanceTo(1125);
    f.ui.Command8[size_t(host)]->click();
    QCOMPARE(f.shown(), QStringLiteral(" |  | Command7_%1 Command2_%1 | 0 | 8").arg(host));
    QCOMPARE(f.state.manualOutputMask, uint8_t(0));
    f.advanceTo(1180);
    QCOMPARE(f.framesFrom(1000), unlocked);

    // Each lock button keeps its own caption: the other page's still locks.
    lockButton->click();
    f.ui.Command7[size_t(1 - host)]->click();
    QVERIFY(f.state.locked);
    QCOMPARE(f.ui.Command7[size_t(1 - host)]->text(), QString(kUnlockCaption));
}

void TestLinkage::linkageFrameWhileLockedRestartsPolling()
{
    LinkageFixture f;
    f.alarmOnInputs1And3();
    f.advanceTo(95);
    f.ui.Command7[0]->click();
    f.advanceTo(215);
    QCOMPARE(f.framesFrom(86), (QStringList{at(110, outputCommand(0x84)), at(140, kInQuery),
                                            at(160, kOutQuery), at(210, kInQuery)}));
    QVERIFY(f.state.locked);
    QCOMPARE(f.ui.Command7[0]->text(), QString(kUnlockCaption));
    // Unlocking starts Timer1 with the period it last had; the output query
    // at 230 finds it counting and leaves the count as it is.
    f.ui.Command7[0]->click();
    f.advanceTo(285);
    QCOMPARE(f.framesFrom(211), (QStringList{at(230, kOutQuery), at(265, kInQuery), at(285, kOutQuery)}));
}

void TestLinkage::cancelRestoresSetUp_data()
{
    QTest::addColumn<int>("host");
    QTest::addColumn<int>("channel"); // the settings page shows
    QTest::newRow("8-channel page") << 0 << 2;
    QTest::newRow("16-channel page") << 1 << 9;
}

void TestLinkage::cancelRestoresSetUp()
{
    QFETCH(int, host);
    QFETCH(int, channel);
    LinkageFixture f;
    f.ui.Combo3->choose(f.ui.Combo3->findText("200"));
    QCOMPARE(f.state.timeSettings[0], int16_t(200));
    f.prepare(host, host == 0 ? QList<int>{0, 2, 2, 7} : QList<int>{15, 7, 8, 0, 9, 0}, 0, 5);
    f.start();
    f.advanceTo(90);
    f.port.receive(host == 0 ? inputReply(0x05) : inputReply(0x00, 0x83));
    QCOMPARE(f.lampsIn(kAlarmRed).size(), host == 0 ? 4 : 5);
    if (host == 1)
        f.ui.Shape1[3]->setFillColor(kStatusRed); // page 0 as polling left it
    f.advanceTo(100);                             // the alarm's output frame is due at 110
    f.ui.Command2[size_t(host)]->click();

    // Every lamp grey but page 0's, which polling painted; only the
    // all-off frame's timer counts.
    QCOMPARE(f.shown(), QString(host == 0 ? " |  |  | 0 | 8" : "Shape1_3? |  |  | 0 | 8"));
    QVERIFY(!f.port.portOpen());
    QCOMPARE(f.ui.SSTab1->tab(), 3);
    QCOMPARE(f.enabledPages(), QString("0 1 2 3 4"));
    QVERIFY(!f.state.linkageActive && !f.state.linkageTableChecked);
    QCOMPARE(f.state.manualOutputMask, uint8_t(0));
    QCOMPARE(f.state.replyTable, decltype(f.state.replyTable){});
    QCOMPARE(f.state.linkageTable, decltype(f.state.linkageTable){});
    // The poll period is 50 whatever the list shows.
    QCOMPARE(f.state.timeSettings, (std::array<int16_t, 4>{50, 0, 0, 0}));
    QCOMPARE(f.ui.Combo3->text(), QString("200"));

    for (size_t i = 0; i < 8; ++i)
        QVERIFY((host == 0 ? f.ui.Check1[i] : f.ui.Check5[i])->isEnabled());
    QVERIFY(f.ui.Frame3->isEnabled());
    QVERIFY(f.ui.Frame10->isEnabled());
    QCOMPARE(f.ui.Frame3->title(), QString(kManualOutputsTitle));
    QVERIFY(!f.ui.Command1->isEnabled());
    QCOMPARE(f.ui.Check3->value(), 0);
    QVERIFY(!f.ui.Frame7->isEnabled());
    QCOMPARE(f.ui.Command3->text(), linkageConfirmCaption(channelName(channel)));
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
        QCOMPARE(spoken(f.ui.Check2[7]), outputName(7) + QStringLiteral(": "));
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

QTEST_MAIN(TestLinkage)
#include "tst_linkage.moc"

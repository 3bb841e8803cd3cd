#include "support/formfixture.h"

#include "form/formhandlers.h"
#include "serial/serialcomponent.h"

#include <QApplication>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>

#include <functional>

namespace {

// What a case does to the window, loaded on the virtual clock.
using Steps = std::function<void(FormFixture &)>;

// All-off command at once, then 3F at P, 3B 20 ms later, lamps 20 ms later,
// 3D with the manual mask 20 ms later, 3F again P later: two cycles from 1000.
Steps pollEvery(int period)
{
    return [period](FormFixture &f) {
        f.ui.Combo3->choose(f.ui.Combo3->findText(QString::number(period)));
        QCOMPARE(f.state.timeSettings[0], int16_t(period));
        f.advanceTo(1000);
        f.page(0);
        QVERIFY(f.port.portOpen());
        QCOMPARE(f.state.hostType, int16_t(0));
        f.advanceTo(1000 + 2 * (period + 60) + 5);
    };
}

void sixteenChannelPage(FormFixture &f)
{
    f.page(0);
    f.advanceTo(500);
    f.ui.Check5[2]->setValue(1);
    f.ui.Shape3[12]->setFillColor(kStatusRed);
    f.ui.Shape2[9]->setFillColor(kStatusRed);
    f.ui.Shape1[1]->setFillColor(kStatusRed);
    f.port.clearRecords();
    f.page(1);
    QCOMPARE(f.port.log().mid(0, 9),
             (QStringList{"500 close", "500 port 1", "500 settings 9600,n,8,1", "500 inbuffer 0",
                          "500 rthreshold 1", "500 inputmode 1", "500 latency 0", "500 open",
                          "500 write E0 00 3D 00 00 1D"}));
    QCOMPARE(f.state.hostType, int16_t(1));
    QCOMPARE(f.ui.Check5[2]->value(), 0);
    QCOMPARE(f.lampsIn(kStatusRed), QStringList{"Shape1_1"}); // the other page is not touched
    // Worked example: in1 = 81, in2 = 02, out1 = 0C; lamps next at 700.
    f.advanceTo(600);
    f.state.replyTable[0][3] = 0x81;
    f.state.replyTable[0][4] = 0x02;
    f.state.replyTable[1][3] = 0x0C;
    f.advanceTo(700);
    QCOMPARE(f.lampsIn(kStatusRed),
             (QStringList{"Shape1_1", "Shape2_10", "Shape2_11", "Shape3_0", "Shape3_7", "Shape3_9"}));
}

void manualBoxReachesTheWireWithinOneCycle(FormFixture &f)
{
    f.page(0);
    f.advanceTo(100);
    f.ui.Check1[0]->click();
    f.ui.Check1[7]->click();
    QCOMPARE(f.state.manualOutputMask, uint8_t(0x81));
    f.ui.Check1[7]->click();
    QCOMPARE(f.state.manualOutputMask, uint8_t(0x01));
    f.advanceTo(230);
    // Both rows edit one mask; setting a box to its state changes nothing.
    f.ui.Check5[2]->setValue(1);
    f.ui.Check1[2]->setValue(1);
    QCOMPARE(f.state.manualOutputMask, uint8_t(0x05));
    for (CheckBox *box : f.ui.Check1)
        box->setValue(1);
    QCOMPARE(f.state.manualOutputMask, uint8_t(0xFF));
    for (CheckBox *box : f.ui.Check1)
        box->setValue(0);
    QCOMPARE(f.state.manualOutputMask, uint8_t(0x00));
}

void addressChangeTakesEffectInTheNextFrame(FormFixture &f)
{
    f.ui.Combo2->choose(5);
    f.page(0);
    f.advanceTo(60);
    f.page(3);
    f.ui.Combo2->choose(15);
    f.page(0);
    f.advanceTo(120);
}

void linkageswithoutCancelsThePendingStep(FormFixture &f)
{
    f.page(0);
    f.advanceTo(60);
    f.state.linkageOutputMask = 0x24;
    // Any handler group may call it; a bare one stands for them here.
    struct Caller : FormHandlers
    {
        explicit Caller(Form1Context &context)
            : FormHandlers(context)
        {
        }
        using FormHandlers::linkageswithout;
    };
    Caller(f.c).linkageswithout();
    f.advanceTo(200);
}

// The lamps the reply rows light on host page `host`: input bytes 3 and 4
// on Shape1 (8 channels, no byte 4) or Shape3 (16), output byte 3 on Shape2
// from 0 or 8.
QStringList litBy(int host, const QByteArray &inputRow, const QByteArray &outputRow)
{
    const QByteArray in = QByteArray::fromHex(inputRow), out = QByteArray::fromHex(outputRow);
    const int inputs = uint8_t(in[3]) | (host == 1 ? uint8_t(in[4]) << 8 : 0);
    QStringList lamps;
    for (int i = 0; i < 16; ++i) {
        if (inputs & (1 << i))
            lamps.append(QStringLiteral("Shape%1_%2").arg(host == 0 ? 1 : 3).arg(i));
        if (i < 8 && uint8_t(out[3]) & (1 << i))
            lamps.append(QStringLiteral("Shape2_%1").arg(host * 8 + i));
    }
    lamps.sort();
    return lamps;
}

// Gestures on the shown window.
Steps keys(Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    return [=](FormFixture &f) { QTest::keyClick(&f.form, key, modifiers); };
}
Steps onTabRow(Qt::Key key)
{
    return [=](FormFixture &f) {
        QTabBar *bar = f.ui.SSTab1->findChild<QTabBar *>();
        bar->setFocus();
        QCOMPARE(QApplication::focusWidget(), bar);
        QTest::keyClick(bar, key);
    };
}
// Notches over the current tab as the window system sends them: up when
// positive, towards page 0.
Steps wheel(int notches)
{
    return [=](FormFixture &f) {
        QTabBar *bar = f.ui.SSTab1->findChild<QTabBar *>();
        const QPoint centre = bar->tabRect(bar->currentIndex()).center();
        for (int i = 0; i < std::abs(notches); ++i) {
            QWheelEvent wheel(centre, bar->mapToGlobal(centre), {}, {0, notches > 0 ? 120 : -120},
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QSpontaneKeyEvent::setSpontaneous(&wheel);
            qApp->notify(bar, &wheel);
        }
    };
}

} // namespace

Q_DECLARE_METATYPE(Steps)

// Start-up, page switching and the poll cycle on the virtual clock.
class TestPolling : public QObject
{
    Q_OBJECT

private slots:
    void startupProbesAndSendsNothing();
    void secondCopyIsRefused();
    void framesOnTheWire_data();
    void framesOnTheWire();
    void repliesAreFiledByTheOutstandingQuery_data();
    void repliesAreFiledByTheOutstandingQuery();
    void hostPagesVisitedOneAfterAnother();
    void pollingStops_data();
    void pollingStops();
    void gestureSwitchesPagesAsCodeDoes_data();
    void gestureSwitchesPagesAsCodeDoes();
};

void TestPolling::startupProbesAndSendsNothing()
{
    FormFixture f;
    f.load();
    QCOMPARE(f.port.log(), (QStringList{"0 port 1", "0 settings 9600,n,8,1", "0 inbuffer 0", "0 rthreshold 1",
                                        "0 inputmode 1", "0 latency 0", "0 open", "0 close"}));
    QCOMPARE(f.ui.SSTab1->tab(), 3);
    QCOMPARE(f.state.portNumber, int16_t(1));
    QCOMPARE(f.state.portErrorCount, int16_t(1));
    QCOMPARE(f.state.timeSettings, (std::array<int16_t, 4>{50, 0, 0, 0}));
    QVERIFY(f.boxes.shown().isEmpty());
    f.advance(10000);
    QVERIFY(f.frames().isEmpty());
    QVERIFY(!f.port.portOpen());
    QCOMPARE(f.counting(), QString());
}

void TestPolling::secondCopyIsRefused()
{
    FormFixture f;
    f.platform.otherInstance = true;
    f.load();
    QCOMPARE(f.boxes.texts(), QStringList{"你已经正在使用本公司,请只启动一次本软件"});
    QCOMPARE(f.boxes.shown().first().title, QString("错误"));
    QCOMPARE(f.boxes.shown().first().style, 16);
    QCOMPARE(f.platform.endCount, 1);
    QVERIFY(f.port.log().isEmpty());
    QCOMPARE(f.state.portNumber, int16_t(0));
}

// The frames on the wire from the time of the first of `frames` on, once
// the steps have run on the loaded window.
void TestPolling::framesOnTheWire_data()
{
    QTest::addColumn<Steps>("steps");
    QTest::addColumn<QStringList>("frames");
    QTest::newRow("poll road, P = 50")
        << pollEvery(50)
        << QStringList{"1000 E0 00 3D 00 00 1D", "1050 E0 00 3F 00 00 1F", "1070 E0 00 3B 00 00 1B",
                       "1110 E0 00 3D 00 00 1D", "1160 E0 00 3F 00 00 1F", "1180 E0 00 3B 00 00 1B",
                       "1220 E0 00 3D 00 00 1D"};
    QTest::newRow("poll road, P = 200")
        << pollEvery(200)
        << QStringList{"1000 E0 00 3D 00 00 1D", "1200 E0 00 3F 00 00 1F", "1220 E0 00 3B 00 00 1B",
                       "1260 E0 00 3D 00 00 1D", "1460 E0 00 3F 00 00 1F", "1480 E0 00 3B 00 00 1B",
                       "1520 E0 00 3D 00 00 1D"};
    QTest::newRow("sixteen-channel page")
        << Steps(sixteenChannelPage)
        << QStringList{"500 E0 00 3D 00 00 1D", "550 E0 00 3F 00 00 1F", "570 E0 00 3B 00 00 1B",
                       "610 E0 00 3D 00 00 1D", "660 E0 00 3F 00 00 1F", "680 E0 00 3B 00 00 1B"};
    QTest::newRow("manual box reaches the wire within one cycle")
        << Steps(manualBoxReachesTheWireWithinOneCycle)
        << QStringList{"110 E0 00 3D 01 00 1E", "160 E0 00 3F 00 00 1F", "180 E0 00 3B 00 00 1B",
                       "220 E0 00 3D 01 00 1E"};
    QTest::newRow("address change takes effect in the next frame")
        << Steps(addressChangeTakesEffectInTheNextFrame)
        << QStringList{"0 E0 05 3D 00 00 22", "50 E0 05 3F 00 00 24", "60 E0 0F 3D 00 00 2C",
                       "110 E0 0F 3F 00 00 2E"};
    QTest::newRow("linkageswithout cancels the pending step")
        << Steps(linkageswithoutCancelsThePendingStep)
        << QStringList{"80 E0 00 3D 24 00 41", "110 E0 00 3F 00 00 1F", "130 E0 00 3B 00 00 1B",
                       "170 E0 00 3D 00 00 1D"};
}

void TestPolling::framesOnTheWire()
{
    QFETCH(Steps, steps);
    QFETCH(QStringList, frames);
    FormFixture f;
    f.load();
    steps(f);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(f.framesFrom(frames.first().section(u' ', 0, 0).toLongLong()), frames);
}

// Each row: receptions as "<time> <hex>" after the input query at 50 and
// the output query at 70 on host page `host`, and the rows filed by the
// lamp step at 90.
void TestPolling::repliesAreFiledByTheOutstandingQuery_data()
{
    QTest::addColumn<int>("host");
    QTest::addColumn<QStringList>("receptions");
    QTest::addColumn<QByteArray>("inputRow");
    QTest::addColumn<QByteArray>("outputRow");
    const auto row = [](const char *name, const QStringList &receptions, const QByteArray &inputRow,
                        const QByteArray &outputRow) {
        QTest::newRow(name) << 0 << receptions << inputRow << outputRow;
    };
    const QByteArray inputs13 = "E0003F050024", outputs18 = "E0003B81009C", quiet = "E0003F00001F",
                     none = "000000000000";
    row("framed replies", {"55 E0003F050024", "75 E0003B81009C"}, inputs13, outputs18);
    row("stray byte ahead of a reply", {"55 00E0003F050024", "75 00E0003B81009C"}, inputs13, outputs18);
    row("stray start byte ahead of a reply", {"55 E0E0003F050024", "75 E0003B81009C"}, inputs13, outputs18);
    row("reply split in two", {"55 E0003F", "59 050024", "75 E0003B81009C"}, inputs13, outputs18);
    row("other address, bad checksum", {"55 E0003F00001F", "57 E0073F8000FF"}, quiet, none);
    row("another host's reply", {"55 E0003F00001F", "57 E0073F8000A6"}, quiet, none);
    row("another master's command", {"55 E0003F00001F", "57 E0003D040021"}, quiet, none);
    row("late input reply", {"55 E0003F050024", "75 E0003B81009C", "77 E0003F010020"}, inputs13, outputs18);
    row("echo, then the reply", {"51 E0003F00001F", "55 E0003F050024", "75 E0003B81009C"}, inputs13,
        outputs18);
    row("echo and reply in one burst", {"56 E0003F00001FE0003F050024", "76 E0003B00001BE0003B81009C"},
        inputs13, outputs18);
    // Once the line has shown its echo, the first copy of a frame is dropped.
    row("echo shown before", {"51 E0003F00001F", "55 E0003F00001F", "71 E0003B00001B", "75 E0003B81009C"},
        quiet, outputs18);
    row("echo shown, the reply lost", {"51 E0003F00001F", "55 E0003F050024", "71 E0003B00001B"}, inputs13,
        none);
    // A host that frames its replies otherwise is filed as it comes: a
    // shorter reception overwrites only the columns it reaches.
    row("host framed otherwise", {"55 A0003F0500", "57 AABB", "75 A0003B8100"}, "AABB3F050000",
        "A0003B810000");
    row("oversize reception keeps the first six", {"55 E0003F010020FFFFFFFF"}, "E0003F010020", none);
    // Every bit lights its lamp: input n with output 9 - n (17 - n from
    // input 9 on).
    for (int host = 0; host <= 1; ++host) {
        for (int input = 0; input < 16; ++input) {
            const QByteArray inputRow =
                lineFrame(0x3F, uint8_t(1 << input), uint8_t(1 << input >> 8)).toHex().toUpper();
            const QByteArray outputRow = lineFrame(0x3B, uint8_t(1 << (7 - input % 8))).toHex().toUpper();
            QTest::addRow("%d channels, input %d", host == 0 ? 8 : 16, input + 1)
                << host << QStringList{"55 " + inputRow, "75 " + outputRow} << inputRow << outputRow;
        }
    }
}

void TestPolling::repliesAreFiledByTheOutstandingQuery()
{
    QFETCH(int, host);
    QFETCH(QStringList, receptions);
    QFETCH(QByteArray, inputRow);
    QFETCH(QByteArray, outputRow);
    FormFixture f;
    f.load();
    f.page(host);
    for (const QString &reception : receptions) {
        f.advanceTo(reception.section(u' ', 0, 0).toLongLong());
        f.reply(reception.section(u' ', 1).toLatin1());
    }
    // A receive event with nothing waiting files nothing.
    f.port.signalEmpty();
    f.advanceTo(89);
    QCOMPARE(f.lampsIn(kStatusRed), QStringList{});
    for (int row = 0; row < 2; ++row) {
        QByteArray bytes;
        for (const int16_t byte : f.state.replyTable[row])
            bytes.append(char(byte));
        QCOMPARE(bytes.toHex().toUpper(), row == 0 ? inputRow : outputRow);
    }
    QCOMPARE(f.state.replyTable[2], (std::array<int16_t, 6>{}));
    // The lamps follow the rows 20 ms after the output query.
    f.advanceTo(90);
    QCOMPARE(f.lampsIn(kStatusRed), litBy(host, inputRow, outputRow));
}

// Each host page starts with every output off and its own lamps and boxes
// clear, whatever the page before had switched on.
void TestPolling::hostPagesVisitedOneAfterAnother()
{
    FormFixture f;
    f.load();
    const QRegularExpression onPage[2] = {QRegularExpression("^Shape(1_|2_[0-7]\\b)"),
                                          QRegularExpression("^Shape(3_|2_([89]|1\\d))")};
    const QStringList topBitsLit[2] = {{"Shape1_7", "Shape2_7"}, {"Shape2_15", "Shape3_15", "Shape3_7"}};
    int64_t t = 0;
    for (const int host : {0, 1, 0, 1}) {
        f.page(host);
        QCOMPARE(f.framesFrom(t).first(), QStringLiteral("%1 E0 00 3D 00 00 1D").arg(t));
        QCOMPARE(f.lampsIn(kStatusRed).filter(onPage[host]), QStringList{});
        for (size_t i = 0; i < 8; ++i)
            QCOMPARE((host == 0 ? f.ui.Check1[i] : f.ui.Check5[i])->value(), 0);
        // Output 8 by hand, inputs 8 and 16 and output 8 reported on.
        (host == 0 ? f.ui.Check1[7] : f.ui.Check5[7])->click();
        f.advanceTo(t + 55);
        f.port.receive(lineFrame(0x3F, 0x80, 0x80));
        f.advanceTo(t + 75);
        f.port.receive(lineFrame(0x3B, 0x80));
        f.advanceTo(t + 110);
        QCOMPARE(f.lampsIn(kStatusRed).filter(onPage[host]), topBitsLit[host]);
        QCOMPARE(f.framesFrom(t + 110), QStringList{QStringLiteral("%1 E0 00 3D 80 00 9D").arg(t + 110)});
        t += 1000;
        f.advanceTo(t);
    }
}

// What ends the polling of a host page: the port closed, the poll timers
// stopped, no frame more, and the messages shown. Entering a host page
// with the port free again polls once more.
void TestPolling::pollingStops_data()
{
    QTest::addColumn<Steps>("stop");
    QTest::addColumn<QStringList>("messages");
    const auto leaveFor = [](int page) {
        return Steps([page](FormFixture &f) {
            f.page(0);
            f.state.inputCheckPassed = true;
            f.advanceTo(1060); // between the input and the output query
            f.page(page);
            QCOMPARE(f.state.inputCheckPassed, page != 4);
            if (page == 3) // the parameter page probes again
                QVERIFY(f.port.log().contains("1060 open"));
        });
    };
    // Entering a host page with a port that cannot be opened: the probe's
    // message, no retry, nothing counted.
    const auto cannotOpen = [](const PortFailure &failure) {
        return Steps([failure](FormFixture &f) {
            f.port.failOpen(1, failure);
            f.page(0);
            QCOMPARE(f.boxes.shown().first().style, 16);
            QCOMPARE(f.counting(), QString());
            QCOMPARE(f.state.portErrorCount, int16_t(1));
        });
    };
    QTest::newRow("watchdog page") << leaveFor(2) << QStringList{};
    QTest::newRow("parameter page") << leaveFor(3) << QStringList{};
    QTest::newRow("linkage page") << leaveFor(4) << QStringList{};
    QTest::newRow("cannot open: held by another program")
        << cannotOpen({PortError::PortInUse, {}}) << QStringList{"com1端口已经打开,请检查或更换端口重新操作"};
    QTest::newRow("cannot open: missing")
        << cannotOpen({PortError::NoSuchPort, {}}) << QStringList{"无效的com1端口,请检查或更换端口重新操作"};
    QTest::newRow("cannot open: access refused")
        << cannotOpen({PortError::AccessDenied, "/dev/ttyUSB0"})
        << QStringList{"没有权限打开/dev/ttyUSB0(用户需加入dialout组并重新登录),请检查或更换端口重新操作"};
    QTest::newRow("write failure") << Steps([](FormFixture &f) {
        f.page(0);
        f.advanceTo(100);
        f.port.failWrites(PortError::DeviceGone);
        f.advanceTo(10000);
        QCOMPARE(f.counting(), QString());
    }) << QStringList{"端口设备已断开,请检查或更换端口重新操作"};
}

void TestPolling::pollingStops()
{
    QFETCH(Steps, stop);
    QFETCH(QStringList, messages);
    FormFixture f;
    f.load();
    stop(f);
    QVERIFY(!f.port.portOpen());
    QVERIFY(!f.polling());
    const qsizetype sent = f.frames().size();
    f.advance(5000);
    QCOMPARE(f.frames().size(), sent);
    QCOMPARE(f.boxes.texts(), messages);

    f.port.failOpen(1, PortError::None);
    f.port.failWrites(PortError::None);
    f.advanceTo(20000);
    f.page(1);
    f.advance(100);
    QCOMPARE(f.framesFrom(20000),
             (QStringList{"20000 E0 00 3D 00 00 1D", "20050 E0 00 3F 00 00 1F", "20070 E0 00 3B 00 00 1B"}));
}

void TestPolling::gestureSwitchesPagesAsCodeDoes_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<Steps>("gesture");
    QTest::addColumn<int>("to");
    QTest::addColumn<QList<int>>("switchedOff");
    const auto row = [](const char *name, int from, const Steps &gesture, int to,
                        const QList<int> &off = {}) { QTest::newRow(name) << from << gesture << to << off; };
    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
    const Qt::KeyboardModifiers ctrlShift = Qt::ControlModifier | Qt::ShiftModifier;
    row("Ctrl+Tab", 0, keys(Qt::Key_Tab, ctrl), 1);
    row("Ctrl+PageDown", 2, keys(Qt::Key_PageDown, ctrl), 3);
    row("Ctrl+Shift+Tab", 1, keys(Qt::Key_Tab, ctrlShift), 0);
    row("Ctrl+Shift+Backtab, as X sends it", 1, keys(Qt::Key_Backtab, ctrlShift), 0);
    row("Ctrl+PageUp", 3, keys(Qt::Key_PageUp, ctrl), 2);
    row("forward wraps", 4, keys(Qt::Key_Tab, ctrl), 0);
    row("backward wraps", 0, keys(Qt::Key_PageUp, ctrl), 4);
    row("switched-off pages skipped", 0, keys(Qt::Key_Tab, ctrl), 3, {1, 2});
    row("skipped backwards round the end", 1, keys(Qt::Key_Tab, ctrlShift), 3, {0, 4});
    row("linkage freeze: nowhere to go", 0, keys(Qt::Key_Tab, ctrl), 0, {1, 2, 3, 4});
    row("Right on the tab row", 3, onTabRow(Qt::Key_Right), 4);
    row("Left on the tab row", 1, onTabRow(Qt::Key_Left), 0);
    row("Left skips", 3, onTabRow(Qt::Key_Left), 1, {2});
    // The wheel over the tabs switches nothing.
    row("wheel, parameter page, two up to the 16-channel page", 3, wheel(2), 3);
    row("wheel, 8-channel page, two down", 0, wheel(-2), 0);
    row("wheel, linkage page, one up to the parameter page", 4, wheel(1), 4);
}

// The page the gesture selects, with the page-change handler's effect on
// the port, the wire and the timers equal to making that page current in
// code.
void TestPolling::gestureSwitchesPagesAsCodeDoes()
{
    QFETCH(int, from);
    QFETCH(Steps, gesture);
    QFETCH(int, to);
    QFETCH(QList<int>, switchedOff);
    FormFixture gestured;
    FormFixture coded;
    for (FormFixture *f : {&gestured, &coded}) {
        f->load();
        f->page(from);
        f->advanceTo(1065); // polling, between the input and output query
        f->state.inputCheckPassed = true;
        for (int page : switchedOff)
            f->ui.SSTab1->setTabEnabled(page, false);
    }
    gestured.form.show();
    gestured.form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&gestured.form));
    const QSignalSpy clicks(gestured.ui.SSTab1, &TabControl::Click);
    gesture(gestured);
    coded.page(to);

    QCOMPARE(gestured.ui.SSTab1->tab(), to);
    QCOMPARE(clicks.size(), to == from ? 0 : 1);
    gestured.advanceTo(2000);
    coded.advanceTo(2000);
    QCOMPARE(gestured.port.log(), coded.port.log());
    QCOMPARE(gestured.frames(), coded.frames());
    QCOMPARE(gestured.state.inputCheckPassed, coded.state.inputCheckPassed);
    QCOMPARE(gestured.state.portErrorCount, coded.state.portErrorCount);
    QCOMPARE(gestured.port.portOpen(), to < 2);
}

QTEST_MAIN(TestPolling)
#include "tst_polling.moc"

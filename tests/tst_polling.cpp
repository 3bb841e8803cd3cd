#include "support/formfixture.h"

#include "form/formhandlers.h"
#include "serial/serialcomponent.h"

#include <QApplication>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>

// Start-up, page switching and the poll cycle on the virtual clock.
class TestPolling : public QObject
{
    Q_OBJECT

private slots:
    void startupProbesAndSendsNothing();
    void secondCopyIsRefused();
    void roadOfOnePoll_data();
    void roadOfOnePoll();
    void repliesAreFiledByTheOutstandingQuery_data();
    void repliesAreFiledByTheOutstandingQuery();
    void sixteenChannelPage();
    void everyBitLightsItsLamp_data();
    void everyBitLightsItsLamp();
    void hostPagesVisitedOneAfterAnother();
    void leavingAHostPageStopsPollingAndClosesThePort_data();
    void leavingAHostPageStopsPollingAndClosesThePort();
    void manualBoxReachesTheWireWithinOneCycle();
    void addressChangeTakesEffectInTheNextFrame();
    void hostPageThatCannotBeOpened_data();
    void hostPageThatCannotBeOpened();
    void writeFailureStopsPollingWithOneMessage();
    void oversizeReceptionKeepsTheFirstSix();
    void linkageswithoutCancelsThePendingStep();
    void keyboardSwitchesPagesAsAClickDoes_data();
    void keyboardSwitchesPagesAsAClickDoes();
    void wheelOverTheTabRowSwitchesNothing_data();
    void wheelOverTheTabRowSwitchesNothing();
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

void TestPolling::roadOfOnePoll_data()
{
    QTest::addColumn<QString>("period");
    QTest::addColumn<QStringList>("trace");
    QTest::newRow("P = 50") << "50" << QStringList{"1000 E0 00 3D 00 00 1D", "1050 E0 00 3F 00 00 1F",
                                                   "1070 E0 00 3B 00 00 1B", "1110 E0 00 3D 00 00 1D",
                                                   "1160 E0 00 3F 00 00 1F", "1180 E0 00 3B 00 00 1B",
                                                   "1220 E0 00 3D 00 00 1D"};
    QTest::newRow("P = 200") << "200" << QStringList{"1000 E0 00 3D 00 00 1D", "1200 E0 00 3F 00 00 1F",
                                                     "1220 E0 00 3B 00 00 1B", "1260 E0 00 3D 00 00 1D",
                                                     "1460 E0 00 3F 00 00 1F", "1480 E0 00 3B 00 00 1B"};
}

// All-off command at once, then 3F at P, 3B 20 ms later, lamps 20 ms later,
// 3D with the manual mask 20 ms later, 3F again P later.
void TestPolling::roadOfOnePoll()
{
    QFETCH(QString, period);
    QFETCH(QStringList, trace);
    FormFixture f;
    f.load();
    f.ui.Combo3->choose(f.ui.Combo3->findText(period));
    QCOMPARE(f.state.timeSettings[0], int16_t(period.toInt()));
    f.advanceTo(1000);
    f.page(0);
    QVERIFY(f.port.portOpen());
    QCOMPARE(f.state.hostType, int16_t(0));
    f.advanceTo(1000 + 2 * (period.toInt() + 60) + 5);
    QCOMPARE(f.frames().mid(0, trace.size()), trace);
}

// Each row: receptions as "<time> <hex>" after the input query at 50 and
// the output query at 70, and the rows filed by the lamp step at 90.
void TestPolling::repliesAreFiledByTheOutstandingQuery_data()
{
    QTest::addColumn<QStringList>("receptions");
    QTest::addColumn<QByteArray>("inputRow");
    QTest::addColumn<QByteArray>("outputRow");
    const QByteArray inputs13 = "E0003F050024", outputs18 = "E0003B81009C", quiet = "E0003F00001F";
    QTest::newRow("framed replies") << QStringList{"55 E0003F050024", "75 E0003B81009C"} << inputs13
                                    << outputs18;
    QTest::newRow("stray byte ahead of a reply")
        << QStringList{"55 00E0003F050024", "75 00E0003B81009C"} << inputs13 << outputs18;
    QTest::newRow("stray start byte ahead of a reply")
        << QStringList{"55 E0E0003F050024", "75 E0003B81009C"} << inputs13 << outputs18;
    QTest::newRow("reply split in two")
        << QStringList{"55 E0003F", "59 050024", "75 E0003B81009C"} << inputs13 << outputs18;
    QTest::newRow("other address, bad checksum")
        << QStringList{"55 E0003F00001F", "57 E0073F8000FF"} << quiet << QByteArray("000000000000");
    QTest::newRow("another host's reply")
        << QStringList{"55 E0003F00001F", "57 E0073F8000A6"} << quiet << QByteArray("000000000000");
    QTest::newRow("another master's command")
        << QStringList{"55 E0003F00001F", "57 E0003D040021"} << quiet << QByteArray("000000000000");
    QTest::newRow("late input reply")
        << QStringList{"55 E0003F050024", "75 E0003B81009C", "77 E0003F010020"} << inputs13 << outputs18;
    QTest::newRow("echo, then the reply")
        << QStringList{"51 E0003F00001F", "55 E0003F050024", "75 E0003B81009C"} << inputs13 << outputs18;
    QTest::newRow("echo and reply in one burst")
        << QStringList{"56 E0003F00001FE0003F050024", "76 E0003B00001BE0003B81009C"} << inputs13 << outputs18;
    // Once the line has shown its echo, the first copy of a frame is dropped.
    QTest::newRow("echo shown before")
        << QStringList{"51 E0003F00001F", "55 E0003F00001F", "71 E0003B00001B", "75 E0003B81009C"} << quiet
        << outputs18;
    QTest::newRow("echo shown, the reply lost")
        << QStringList{"51 E0003F00001F", "55 E0003F050024", "71 E0003B00001B"} << inputs13
        << QByteArray("000000000000");
    // A host that frames its replies otherwise is filed as it comes: a
    // shorter reception overwrites only the columns it reaches.
    QTest::newRow("host framed otherwise") << QStringList{"55 A0003F0500", "57 AABB", "75 A0003B8100"}
                                           << QByteArray("AABB3F050000") << QByteArray("A0003B810000");
}

void TestPolling::repliesAreFiledByTheOutstandingQuery()
{
    QFETCH(QStringList, receptions);
    QFETCH(QByteArray, inputRow);
    QFETCH(QByteArray, outputRow);
    FormFixture f;
    f.load();
    f.page(0);
    for (const QString &reception : receptions) {
        f.advanceTo(reception.section(u' ', 0, 0).toLongLong());
        f.reply(reception.section(u' ', 1).toLatin1());
    }
    // A receive event with nothing waiting files nothing.
    f.port.signalEmpty();
    f.advanceTo(89);
    QCOMPARE(f.colour(f.ui.Shape1[0]), kGrey);
    const auto hexRow = [&](int row) {
        QByteArray bytes;
        for (const int16_t byte : f.state.replyTable[row])
            bytes.append(char(byte));
        return bytes.toHex().toUpper();
    };
    QCOMPARE(hexRow(0), inputRow);
    QCOMPARE(hexRow(1), outputRow);
    QCOMPARE(f.state.replyTable[2], (std::array<int16_t, 6>{}));
    // The lamps follow the rows 20 ms after the output query.
    f.advanceTo(90);
    const auto lamp = [](const QByteArray &row, int i) {
        return QByteArray::fromHex(row).at(3) & (1 << i) ? kStatusRed : kGrey;
    };
    for (int i = 0; i < 8; ++i) {
        QCOMPARE(f.colour(f.ui.Shape1[i]), lamp(inputRow, i));
        QCOMPARE(f.colour(f.ui.Shape2[i]), lamp(outputRow, i));
    }
}

void TestPolling::sixteenChannelPage()
{
    FormFixture f;
    f.load();
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
    QCOMPARE(f.colour(f.ui.Shape3[12]), kGrey);
    QCOMPARE(f.colour(f.ui.Shape2[9]), kGrey);
    QCOMPARE(f.colour(f.ui.Shape1[1]), kStatusRed); // the other page is not touched
    f.advanceTo(600);
    QCOMPARE(f.frames(),
             (QStringList{"500 E0 00 3D 00 00 1D", "550 E0 00 3F 00 00 1F", "570 E0 00 3B 00 00 1B"}));
    // Worked example: in1 = 81, in2 = 02, out1 = 0C; lamps next at 700.
    f.state.replyTable[0][3] = 0x81;
    f.state.replyTable[0][4] = 0x02;
    f.state.replyTable[1][3] = 0x0C;
    f.advanceTo(700);
    for (int i = 0; i < 16; ++i) {
        const bool red = i == 0 || i == 7 || i == 9;
        QCOMPARE(f.colour(f.ui.Shape3[i]), red ? kStatusRed : kGrey);
    }
    for (int i = 8; i < 16; ++i)
        QCOMPARE(f.colour(f.ui.Shape2[i]), (i == 10 || i == 11) ? kStatusRed : kGrey);
    QCOMPARE(f.colour(f.ui.Shape1[1]), kStatusRed);
}

void TestPolling::everyBitLightsItsLamp_data()
{
    QTest::addColumn<int>("host");
    QTest::addColumn<int>("input");
    QTest::addColumn<QStringList>("lamps");
    // Input n with output 9 - n (17 - n from input 9 on); the 8-channel page
    // shows no byte 4.
    for (int host = 0; host <= 1; ++host) {
        for (int input = 0; input < 16; ++input) {
            const int output = 7 - input % 8;
            QStringList lamps{QStringLiteral("Shape2_%1").arg(host * 8 + output)};
            if (host == 1 || input < 8)
                lamps.append(QStringLiteral("Shape%1_%2").arg(host == 0 ? 1 : 3).arg(input));
            lamps.sort();
            QTest::addRow("%d channels, input %d", host == 0 ? 8 : 16, input + 1) << host << input << lamps;
        }
    }
}

void TestPolling::everyBitLightsItsLamp()
{
    QFETCH(int, host);
    QFETCH(int, input);
    QFETCH(QStringList, lamps);
    FormFixture f;
    f.load();
    f.page(host);
    f.advanceTo(55);
    f.port.receive(
        lineFrame(0x3F, uint8_t(input < 8 ? 1 << input : 0), uint8_t(input < 8 ? 0 : 1 << (input - 8))));
    f.advanceTo(75);
    f.port.receive(lineFrame(0x3B, uint8_t(1 << (7 - input % 8))));
    f.advanceTo(90);
    QCOMPARE(f.lampsIn(kStatusRed), lamps);
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

void TestPolling::leavingAHostPageStopsPollingAndClosesThePort_data()
{
    QTest::addColumn<int>("page");
    QTest::newRow("watchdog page") << 2;
    QTest::newRow("parameter page") << 3;
    QTest::newRow("linkage page") << 4;
}

void TestPolling::leavingAHostPageStopsPollingAndClosesThePort()
{
    QFETCH(int, page);
    FormFixture f;
    f.load();
    f.page(0);
    f.state.inputCheckPassed = true;
    f.advanceTo(1060); // between the input and the output query
    const int before = int(f.frames().size());
    f.page(page);
    QVERIFY(!f.port.portOpen());
    QVERIFY(!f.polling());
    f.advanceTo(5000);
    QCOMPARE(int(f.frames().size()), before);
    QCOMPARE(f.state.inputCheckPassed, page != 4);
    if (page == 3) // the parameter page probes again
        QVERIFY(f.port.log().contains("1060 open"));
}

void TestPolling::manualBoxReachesTheWireWithinOneCycle()
{
    FormFixture f;
    f.load();
    f.page(0);
    f.advanceTo(100);
    f.ui.Check1[0]->click();
    f.ui.Check1[7]->click();
    QCOMPARE(f.state.manualOutputMask, uint8_t(0x81));
    f.ui.Check1[7]->click();
    QCOMPARE(f.state.manualOutputMask, uint8_t(0x01));
    f.advanceTo(230);
    QCOMPARE(f.framesFrom(100), (QStringList{"110 E0 00 3D 01 00 1E", "160 E0 00 3F 00 00 1F",
                                             "180 E0 00 3B 00 00 1B", "220 E0 00 3D 01 00 1E"}));
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

void TestPolling::addressChangeTakesEffectInTheNextFrame()
{
    FormFixture f;
    f.load();
    f.ui.Combo2->choose(5);
    f.page(0);
    f.advanceTo(60);
    f.page(3);
    f.ui.Combo2->choose(15);
    f.page(0);
    f.advanceTo(120);
    QCOMPARE(f.frames(), (QStringList{"0 E0 05 3D 00 00 22", "50 E0 05 3F 00 00 24", "60 E0 0F 3D 00 00 2C",
                                      "110 E0 0F 3F 00 00 2E"}));
}

void TestPolling::hostPageThatCannotBeOpened_data()
{
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("message");
    QTest::newRow("held by another program")
        << SerialComponent::kPortInUse << "com1端口已经打开,请检查或更换端口重新操作";
    QTest::newRow("missing") << SerialComponent::kInvalidPort << "无效的com1端口,请检查或更换端口重新操作";
    const QString refused = SerialComponent::accessDenied("/dev/ttyUSB0");
    QTest::newRow("access refused") << refused << refused + ",请检查或更换端口重新操作";
}

// Entering a host page with a port that cannot be opened: the probe's
// message, the port closed, polling stopped, no retry, nothing counted.
void TestPolling::hostPageThatCannotBeOpened()
{
    QFETCH(QString, description);
    QFETCH(QString, message);
    FormFixture f;
    f.load();
    f.port.failOpen(1, description);
    f.page(0);
    QCOMPARE(f.boxes.texts(), QStringList{message});
    QCOMPARE(f.boxes.shown().first().style, 16);
    QVERIFY(!f.port.portOpen());
    QCOMPARE(f.counting(), QString());
    QCOMPARE(f.state.portErrorCount, int16_t(1));
    f.advance(5000);
    QVERIFY(f.frames().isEmpty());
    QCOMPARE(f.boxes.shown().size(), 1);
    // Once the port is free, selecting the page again polls.
    f.port.failOpen(1, QString());
    f.page(3);
    f.page(0);
    f.advance(100);
    QCOMPARE(f.frames().size(), 3);
}

void TestPolling::writeFailureStopsPollingWithOneMessage()
{
    FormFixture f;
    f.load();
    f.page(0);
    f.advanceTo(100);
    f.port.failWrites(QStringLiteral("端口设备已断开"));
    f.advanceTo(10000);
    QCOMPARE(f.boxes.texts(), QStringList{"端口设备已断开,请检查或更换端口重新操作"});
    QVERIFY(!f.port.portOpen());
    QCOMPARE(f.counting(), QString());
    // Plugged back: selecting a host page starts polling again.
    f.port.failWrites(QString());
    f.page(1);
    f.advanceTo(10100);
    QCOMPARE(f.framesFrom(10000),
             (QStringList{"10000 E0 00 3D 00 00 1D", "10050 E0 00 3F 00 00 1F", "10070 E0 00 3B 00 00 1B"}));
}

void TestPolling::oversizeReceptionKeepsTheFirstSix()
{
    FormFixture f;
    f.load();
    f.page(0);
    f.advanceTo(55);
    f.reply("E0003F010020FFFFFFFF");
    QCOMPARE(f.state.replyTable[0], (std::array<int16_t, 6>{0xE0, 0x00, 0x3F, 0x01, 0x00, 0x20}));
    QCOMPARE(f.state.replyTable[1], (std::array<int16_t, 6>{}));
}

void TestPolling::linkageswithoutCancelsThePendingStep()
{
    FormFixture f;
    f.load();
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
    QCOMPARE(f.framesFrom(60), (QStringList{"80 E0 00 3D 24 00 41", "110 E0 00 3F 00 00 1F",
                                            "130 E0 00 3B 00 00 1B", "170 E0 00 3D 00 00 1D"}));
}

void TestPolling::keyboardSwitchesPagesAsAClickDoes_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<QList<int>>("switchedOff");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("onTabRow"); // else anywhere in the window
    QTest::addColumn<int>("to");
    const int ctrl = Qt::ControlModifier;
    const int ctrlShift = Qt::ControlModifier | Qt::ShiftModifier;
    QTest::newRow("Ctrl+Tab") << 0 << QList<int>{} << int(Qt::Key_Tab) << ctrl << false << 1;
    QTest::newRow("Ctrl+PageDown") << 2 << QList<int>{} << int(Qt::Key_PageDown) << ctrl << false << 3;
    QTest::newRow("Ctrl+Shift+Tab") << 1 << QList<int>{} << int(Qt::Key_Tab) << ctrlShift << false << 0;
    QTest::newRow("Ctrl+Shift+Backtab, as X sends it")
        << 1 << QList<int>{} << int(Qt::Key_Backtab) << ctrlShift << false << 0;
    QTest::newRow("Ctrl+PageUp") << 3 << QList<int>{} << int(Qt::Key_PageUp) << ctrl << false << 2;
    QTest::newRow("forward wraps") << 4 << QList<int>{} << int(Qt::Key_Tab) << ctrl << false << 0;
    QTest::newRow("backward wraps") << 0 << QList<int>{} << int(Qt::Key_PageUp) << ctrl << false << 4;
    QTest::newRow("switched-off pages skipped")
        << 0 << QList<int>{1, 2} << int(Qt::Key_Tab) << ctrl << false << 3;
    QTest::newRow("skipped backwards round the end")
        << 1 << QList<int>{0, 4} << int(Qt::Key_Tab) << ctrlShift << false << 3;
    QTest::newRow("linkage freeze: nowhere to go")
        << 0 << QList<int>{1, 2, 3, 4} << int(Qt::Key_Tab) << ctrl << false << 0;
    QTest::newRow("Right on the tab row") << 3 << QList<int>{} << int(Qt::Key_Right) << 0 << true << 4;
    QTest::newRow("Left on the tab row") << 1 << QList<int>{} << int(Qt::Key_Left) << 0 << true << 0;
    QTest::newRow("Left skips") << 3 << QList<int>{2} << int(Qt::Key_Left) << 0 << true << 1;
}

// The page the key selects, with the page-change handler's effect on the
// port, the wire and the timers equal to making that page current in code.
void TestPolling::keyboardSwitchesPagesAsAClickDoes()
{
    QFETCH(int, from);
    QFETCH(QList<int>, switchedOff);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, onTabRow);
    QFETCH(int, to);
    FormFixture keyed;
    FormFixture coded;
    for (FormFixture *f : {&keyed, &coded}) {
        f->load();
        f->page(from);
        f->advanceTo(1065); // polling, between the input and output query
        f->state.inputCheckPassed = true;
        for (int page : switchedOff)
            f->ui.SSTab1->setTabEnabled(page, false);
    }
    keyed.form.show();
    keyed.form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&keyed.form));
    QWidget *target = &keyed.form;
    if (onTabRow) {
        target = keyed.ui.SSTab1->findChild<QTabBar *>();
        target->setFocus();
        QCOMPARE(QApplication::focusWidget(), target);
    }
    const QSignalSpy clicks(keyed.ui.SSTab1, &TabControl::Click);
    QTest::keyClick(target, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    coded.page(to);

    QCOMPARE(keyed.ui.SSTab1->tab(), to);
    QCOMPARE(clicks.size(), to == from ? 0 : 1);
    keyed.advanceTo(2000);
    coded.advanceTo(2000);
    QCOMPARE(keyed.port.log(), coded.port.log());
    QCOMPARE(keyed.frames(), coded.frames());
    QCOMPARE(keyed.state.inputCheckPassed, coded.state.inputCheckPassed);
    QCOMPARE(keyed.port.portOpen(), to < 2);
}

void TestPolling::wheelOverTheTabRowSwitchesNothing_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("notches"); // up when positive, towards page 0
    QTest::newRow("parameter page, two up to the 16-channel page") << 3 << 2;
    QTest::newRow("8-channel page, two down") << 0 << -2;
    QTest::newRow("linkage page, one up to the parameter page") << 4 << 1;
}

// Wheel notches over the tabs as the window system sends them: the page
// stays, and the port, the wire and the timers run on as without them.
void TestPolling::wheelOverTheTabRowSwitchesNothing()
{
    QFETCH(int, from);
    QFETCH(int, notches);
    FormFixture wheeled;
    FormFixture still;
    for (FormFixture *f : {&wheeled, &still}) {
        f->load();
        f->page(from);
        f->advanceTo(1065);
    }
    wheeled.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&wheeled.form));
    auto *bar = wheeled.ui.SSTab1->findChild<QTabBar *>();
    const QSignalSpy clicks(wheeled.ui.SSTab1, &TabControl::Click);
    const QPoint centre = bar->tabRect(from).center();
    for (int i = 0; i < std::abs(notches); ++i) {
        QWheelEvent wheel(centre, bar->mapToGlobal(centre), {}, {0, notches > 0 ? 120 : -120}, Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QSpontaneKeyEvent::setSpontaneous(&wheel);
        qApp->notify(bar, &wheel);
    }
    QCOMPARE(wheeled.ui.SSTab1->tab(), from);
    QCOMPARE(clicks.size(), 0);
    wheeled.advanceTo(2000);
    still.advanceTo(2000);
    QCOMPARE(wheeled.port.log(), still.port.log());
    QCOMPARE(wheeled.state.portErrorCount, still.state.portErrorCount);
}

QTEST_MAIN(TestPolling)
#include "tst_polling.moc"

#include "support/formfixture.h"

#include "serial/serialcomponent.h"

#include <QHelpEvent>
#include <QRegularExpression>
#include <QTest>

#include <functional>

namespace {

// The box for a port number with no device behind it.
QString missing(int port)
{
    return QStringLiteral("无效的com%1端口,请检查或更换端口重新操作").arg(port);
}

// The ports chosen, opened and closed, as "2050 port 2", "2050 open".
QStringList probes(const FormFixture &f)
{
    return f.port.log().filter(QRegularExpression(QStringLiteral("^\\d+ (port|open|close)")));
}

using Steps = std::function<void(FormFixture &)>;

} // namespace

Q_DECLARE_METATYPE(Steps)

// The parameter lists and the port probe with its retry chain.
class TestPortProbe : public QObject
{
    Q_OBJECT

private slots:
    void failedPort_data();
    void failedPort();
    void eighthFailureEndsTheProgram_data();
    void eighthFailureEndsTheProgram();
    void portListClick();
    void portListNamesTheDevicesWhenOpened();
    void textsThatNameNoValue_data();
    void textsThatNameNoValue();
    void periodAndAddressChoicesProbeNothing();
};

// A port that fails at start: the box, then a retry of the next port 50 ms
// after the box closes, or none.
void TestPortProbe::failedPort_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<PortFailure>("failure");
    QTest::addColumn<int>("boxOpenMs"); // how long the operator takes to close it
    QTest::addColumn<QString>("box");
    QTest::addColumn<QStringList>("probed");
    const auto row = [](const char *name, int port, PortFailure failure, int boxOpenMs, const QString &box,
                        const QStringList &probed) {
        QTest::newRow(name) << port << failure << boxOpenMs << box << probed;
    };
    row("missing port, retried after the box closes", 1, {PortError::NoSuchPort, {}}, 2000, missing(1),
        {"0 port 1", "2050 port 2", "2050 open", "2050 close"});
    row("COM7 in use, retry to COM8", 7, {PortError::PortInUse, {}}, 0,
        "com7端口已经打开,请检查或更换端口重新操作", {"0 port 7", "50 port 8", "50 open", "50 close"});
    row("COM8 in use, retry wraps to COM1", 8, {PortError::PortInUse, {}}, 0,
        "com8端口已经打开,请检查或更换端口重新操作", {"0 port 8", "50 port 1", "50 open", "50 close"});
    row("other failures stop the chain", 1, {PortError::AccessDenied, "/dev/ttyUSB0"}, 0,
        "没有权限打开/dev/ttyUSB0(用户需加入dialout组并重新登录),请检查或更换端口重新操作", {"0 port 1"});
}

void TestPortProbe::failedPort()
{
    QFETCH(int, port);
    QFETCH(PortFailure, failure);
    QFETCH(int, boxOpenMs);
    QFETCH(QString, box);
    QFETCH(QStringList, probed);
    FormFixture f;
    f.ui.Combo1->setText(QStringLiteral("COM%1").arg(port));
    f.port.failOpen(int16_t(port), failure);
    f.boxes.whileOpen = [&f, boxOpenMs](const QString &) { f.advance(boxOpenMs); };
    f.load();
    QCOMPARE(f.ui.Combo1->text(), QStringLiteral("COM%1").arg(port));
    f.advance(10000);
    QCOMPARE(f.boxes.texts(), QStringList{box});
    QCOMPARE(f.boxes.shown().first().time, int64_t(0));
    QCOMPARE(probes(f), probed);
    // The list and the state name the port probed last.
    const QString last = probed.filter(" port ").constLast().section(u' ', -1);
    QCOMPARE(f.ui.Combo1->text(), QStringLiteral("COM") + last);
    QCOMPARE(f.ui.Combo1->listIndex(), -1);
    QCOMPARE(QString::number(f.state.portNumber), last);
    QCOMPARE(f.state.portErrorCount, int16_t(2));
    QCOMPARE(f.counting(), QString());
}

// Every port missing: seven boxes, and the eighth failure ends the program.
void TestPortProbe::eighthFailureEndsTheProgram_data()
{
    QTest::addColumn<Steps>("steps");
    QTest::newRow("in the retry chain") << Steps([](FormFixture &f) { f.advance(1000); });
    // Nothing probes again behind the last box.
    QTest::newRow("from the parameter page while a retry is due") << Steps([](FormFixture &f) {
        f.advanceTo(6 * 50 + 10); // seven failures; the next retry is due at 350
        QCOMPARE(f.boxes.shown().size(), 7);
        f.boxes.whileOpen = [&f](const QString &) { f.advance(1000); };
        f.page(2);
        f.page(3);
    });
}

void TestPortProbe::eighthFailureEndsTheProgram()
{
    QFETCH(Steps, steps);
    FormFixture f;
    for (int16_t port = 1; port <= 8; ++port)
        f.port.failOpen(port, PortError::NoSuchPort);
    f.load();
    steps(f);
    QStringList expected;
    for (int port = 1; port <= 7; ++port)
        expected.append(missing(port));
    expected.append("你出错太多,请仔细检查或更换端口重新操作");
    QCOMPARE(f.boxes.texts(), expected);
    QCOMPARE(f.platform.endCount, 1);
    QCOMPARE(f.state.portErrorCount, int16_t(1));
    // The last box is the eighth probe's.
    const QStringList probed = probes(f);
    QCOMPARE(probed.size(), 8);
    QCOMPARE(QString::number(f.boxes.shown().last().time), probed.constLast().section(u' ', 0, 0));
    QCOMPARE(f.counting(), QString());
}

void TestPortProbe::portListClick()
{
    FormFixture f;
    f.load();
    f.port.clearRecords();
    f.ui.Combo1->choose(4);
    QCOMPARE(f.state.portNumber, int16_t(5));
    QCOMPARE(f.port.log(), (QStringList{"0 port 5", "0 settings 9600,n,8,1", "0 inbuffer 0", "0 rthreshold 1",
                                        "0 inputmode 1", "0 latency 0", "0 open", "0 close"}));
    // Without a selection the click counts as the first entry.
    f.ui.Combo1->setText("COM6");
    emit f.ui.Combo1->Click();
    QCOMPARE(f.state.portNumber, int16_t(1));
    QVERIFY(f.boxes.shown().isEmpty());
}

// The tooltips follow the devices as they are when the list drops down or
// its tooltip shows; the entries keep their COM names. (Unmapped numbers
// show whatever serial ports this machine has, so only COM3 is compared.)
void TestPortProbe::portListNamesTheDevicesWhenOpened()
{
    FormFixture f;
    ComboBox &list = *f.ui.Combo1;
    for (const char *device : {"/dev/serial/by-id/usb-none-if00-port0", "/dev/pts/7"}) {
        qputenv("ALARM_HOST_TESTER_COM3", device);
        QVERIFY(!list.itemData(2, Qt::ToolTipRole).toString().endsWith(device));
        list.showPopup();
        const QString line = QStringLiteral("COM3 = ") + device;
        QCOMPARE(list.itemData(2, Qt::ToolTipRole).toString(), line);
        QCOMPARE(list.toolTip().split(u'\n').at(2), line);
        QCOMPARE(list.toolTip().count(u'\n'), 7);
        list.hidePopup();
    }
    qputenv("ALARM_HOST_TESTER_COM3", "/dev/ttyUSB3");
    QHelpEvent hover(QEvent::ToolTip, QPoint(1, 1), list.mapToGlobal(QPoint(1, 1)));
    QCoreApplication::sendEvent(&list, &hover);
    QVERIFY(list.toolTip().contains("COM3 = /dev/ttyUSB3\n"));
    qunsetenv("ALARM_HOST_TESTER_COM3");
    QCOMPARE(list.itemText(2), QStringLiteral("COM3"));
    QVERIFY(f.boxes.shown().isEmpty());
}

// The parameter page reads the lists again; a refused value keeps the last
// (address 7, period 200).
void TestPortProbe::textsThatNameNoValue_data()
{
    QTest::addColumn<QStringList>("texts"); // of the port, address and period lists
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QList<int>>("readAs"); // port, address, period
    const auto row = [](const char *name, const QStringList &texts, const QList<int> &readAs,
                        const QStringList &boxes = {}) { QTest::newRow(name) << texts << boxes << readAs; };
    row("COM10 reads as port 0", {"COM10", "3", "100"}, {0, 3, 100}, {missing(0)});
    row("no digit at the end", {"COMx", "3", "100"}, {0, 3, 100}, {missing(0)});
    row("address beyond a byte", {"COM2", "300", "100"}, {2, 7, 100},
        {"无效的地址300,地址应在0到255之间,请检查或更换地址重新操作"});
    row("negative address", {"COM2", "-1", "100"}, {2, 7, 100},
        {"无效的地址-1,地址应在0到255之间,请检查或更换地址重新操作"});
    row("address beyond a double", {"COM2", "1e400", "100"}, {2, 7, 100},
        {"无效的地址1e400,地址应在0到255之间,请检查或更换地址重新操作"});
    row("largest address", {"COM2", "255", "100"}, {2, 255, 100});
    row("longest period", {"COM2", "3", "32767"}, {2, 3, 32767});
    row("address text without number", {"COM2", "abc", "100"}, {2, 0, 100});
    row("period zero", {"COM2", "3", "0"}, {2, 3, 200},
        {"无效的查询时间0,查询时间应在1到32767毫秒之间,请检查或更换查询时间重新操作"});
    row("period beyond 16 bits", {"COM2", "3", "40000"}, {2, 3, 200},
        {"无效的查询时间40000,查询时间应在1到32767毫秒之间,请检查或更换查询时间重新操作"});
    row("period rounds half to even", {"COM2", "3", "62.5"}, {2, 3, 62});
}

void TestPortProbe::textsThatNameNoValue()
{
    QFETCH(QStringList, texts);
    QFETCH(QStringList, boxes);
    QFETCH(QList<int>, readAs);
    FormFixture f;
    f.ui.Combo2->setText("7");
    f.ui.Combo3->setText("200");
    f.load();
    f.page(2);
    f.ui.Combo1->setText(texts[0]);
    f.ui.Combo2->setText(texts[1]);
    f.ui.Combo3->setText(texts[2]);
    f.page(3);
    QCOMPARE(f.boxes.texts(), boxes);
    QCOMPARE((QList<int>{f.state.portNumber, f.state.hostAddress, f.state.timeSettings[0]}), readAs);
    if (f.state.portNumber == 0) { // the retry moves on to port 1
        f.advance(50);
        QCOMPARE(f.ui.Combo1->text(), QString("COM1"));
        QVERIFY(f.port.log().contains("50 port 1"));
    }
}

void TestPortProbe::periodAndAddressChoicesProbeNothing()
{
    FormFixture f;
    f.load();
    f.port.clearRecords();
    f.ui.Combo3->choose(2);
    f.ui.Combo2->choose(9);
    QCOMPARE(f.state.timeSettings[0], int16_t(200));
    QCOMPARE(f.state.hostAddress, uint8_t(9));
    QVERIFY(f.port.log().isEmpty());
}

QTEST_MAIN(TestPortProbe)
#include "tst_portprobe.moc"

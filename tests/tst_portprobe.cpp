#include "support/formfixture.h"

#include "serial/serialcomponent.h"

#include <QHelpEvent>
#include <QTest>

// The parameter lists and the port probe with its retry chain.
class TestPortProbe : public QObject
{
    Q_OBJECT

private slots:
    void missingPortRetriesTheNextFiftyMsAfterTheBoxCloses();
    void retryMovesToTheNextPort_data();
    void retryMovesToTheNextPort();
    void eighthFailureEndsTheProgram();
    void eighthFailureStopsAPendingRetry();
    void otherFailuresStopTheChain();
    void portListClick();
    void portListNamesTheDevicesWhenOpened();
    void textsThatNameNoValue_data();
    void textsThatNameNoValue();
    void periodAndAddressChoicesProbeNothing();
};

void TestPortProbe::missingPortRetriesTheNextFiftyMsAfterTheBoxCloses()
{
    FormFixture f;
    f.port.failOpen(1, PortError::NoSuchPort);
    // The operator takes 2 s to close the box.
    f.boxes.whileOpen = [&f](const QString &) { f.advance(2000); };
    f.load();
    QCOMPARE(f.boxes.texts(), QStringList{"无效的com1端口,请检查或更换端口重新操作"});
    QCOMPARE(f.boxes.shown().first().time, int64_t(0));
    QCOMPARE(f.ui.Combo1->text(), QString("COM1"));
    QVERIFY(!f.port.log().contains("2000 port 2"));
    f.advanceTo(2049);
    QVERIFY(!f.port.log().contains("2049 port 2"));
    f.advanceTo(2050);
    QVERIFY(f.port.log().contains("2050 port 2"));
    QVERIFY(f.port.log().contains("2050 open"));
    QCOMPARE(f.ui.Combo1->text(), QString("COM2"));
    QCOMPARE(f.ui.Combo1->listIndex(), -1);
    QCOMPARE(f.state.portNumber, int16_t(2));
    QCOMPARE(f.state.portErrorCount, int16_t(2));
    QVERIFY(!f.port.portOpen());
    f.advance(10000);
    QCOMPARE(f.boxes.shown().size(), 1);
    QCOMPARE(f.counting(), QString());
}

void TestPortProbe::retryMovesToTheNextPort_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::newRow("COM7 to COM8") << 7 << 8;
    QTest::newRow("COM8 wraps to COM1") << 8 << 1;
}

void TestPortProbe::retryMovesToTheNextPort()
{
    QFETCH(int, from);
    QFETCH(int, to);
    FormFixture f;
    f.ui.Combo1->setText(QStringLiteral("COM%1").arg(from));
    f.port.failOpen(int16_t(from), PortError::PortInUse);
    f.load();
    f.advance(50);
    QCOMPARE(f.boxes.texts(),
             QStringList{QStringLiteral("com%1端口已经打开,请检查或更换端口重新操作").arg(from)});
    QCOMPARE(f.ui.Combo1->text(), QStringLiteral("COM%1").arg(to));
    QCOMPARE(f.state.portNumber, int16_t(to));
    QVERIFY(f.port.log().contains(QStringLiteral("50 port %1").arg(to)));
}

void TestPortProbe::eighthFailureEndsTheProgram()
{
    FormFixture f;
    for (int16_t port = 1; port <= 8; ++port)
        f.port.failOpen(port, PortError::NoSuchPort);
    f.load();
    f.advance(1000);
    QStringList expected;
    for (int port = 1; port <= 7; ++port)
        expected.append(QStringLiteral("无效的com%1端口,请检查或更换端口重新操作").arg(port));
    expected.append("你出错太多,请仔细检查或更换端口重新操作");
    QCOMPARE(f.boxes.texts(), expected);
    QCOMPARE(f.platform.endCount, 1);
    QCOMPARE(f.state.portErrorCount, int16_t(1));
    QCOMPARE(f.boxes.shown().last().time, int64_t(7 * 50));
    QCOMPARE(f.counting(), QString());
}

// The eighth failure comes from the parameter page while a retry is still
// due: nothing probes again behind the last box.
void TestPortProbe::eighthFailureStopsAPendingRetry()
{
    FormFixture f;
    for (int16_t port = 1; port <= 8; ++port)
        f.port.failOpen(port, PortError::NoSuchPort);
    f.load();
    f.advanceTo(6 * 50 + 10); // seven failures; the next retry is due at 350
    QCOMPARE(f.boxes.shown().size(), 7);
    f.boxes.whileOpen = [&f](const QString &) { f.advance(1000); };
    f.page(2);
    f.page(3);
    QCOMPARE(f.boxes.texts().last(), QString("你出错太多,请仔细检查或更换端口重新操作"));
    QCOMPARE(f.boxes.shown().size(), 8);
    QCOMPARE(f.platform.endCount, 1);
    QCOMPARE(f.counting(), QString());
}

void TestPortProbe::otherFailuresStopTheChain()
{
    FormFixture f;
    f.port.failOpen(1, PortError::AccessDenied, "/dev/ttyUSB0");
    f.load();
    f.advance(1000);
    QCOMPARE(f.boxes.texts(),
             QStringList{"没有权限打开/dev/ttyUSB0(用户需加入dialout组并重新登录),请检查或更换端口重新操作"});
    QCOMPARE(f.state.portErrorCount, int16_t(2));
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

void TestPortProbe::textsThatNameNoValue_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("period");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<int>("portNumber");
    QTest::addColumn<int>("hostAddress");
    QTest::addColumn<int>("pollPeriod");
    QTest::newRow("COM10 reads as port 0")
        << "COM10"
        << "3"
        << "100" << QStringList{"无效的com0端口,请检查或更换端口重新操作"} << 0 << 3 << 100;
    QTest::newRow("no digit at the end")
        << "COMx"
        << "3"
        << "100" << QStringList{"无效的com0端口,请检查或更换端口重新操作"} << 0 << 3 << 100;
    QTest::newRow("address beyond a byte")
        << "COM2"
        << "300"
        << "100" << QStringList{"无效的地址300,地址应在0到255之间,请检查或更换地址重新操作"} << 2 << 7 << 100;
    QTest::newRow("negative address")
        << "COM2"
        << "-1"
        << "100" << QStringList{"无效的地址-1,地址应在0到255之间,请检查或更换地址重新操作"} << 2 << 7 << 100;
    QTest::newRow("address beyond a double")
        << "COM2"
        << "1e400"
        << "100" << QStringList{"无效的地址1e400,地址应在0到255之间,请检查或更换地址重新操作"} << 2 << 7
        << 100;
    QTest::newRow("largest address") << "COM2"
                                     << "255"
                                     << "100" << QStringList{} << 2 << 255 << 100;
    QTest::newRow("longest period") << "COM2"
                                    << "3"
                                    << "32767" << QStringList{} << 2 << 3 << 32767;
    QTest::newRow("address text without number") << "COM2"
                                                 << "abc"
                                                 << "100" << QStringList{} << 2 << 0 << 100;
    QTest::newRow("period zero")
        << "COM2"
        << "3"
        << "0" << QStringList{"无效的查询时间0,查询时间应在1到32767毫秒之间,请检查或更换查询时间重新操作"}
        << 2 << 3 << 200;
    QTest::newRow("period beyond 16 bits")
        << "COM2"
        << "3"
        << "40000"
        << QStringList{"无效的查询时间40000,查询时间应在1到32767毫秒之间,请检查或更换查询时间重新操作"} << 2
        << 3 << 200;
    QTest::newRow("period rounds half to even") << "COM2"
                                                << "3"
                                                << "62.5" << QStringList{} << 2 << 3 << 62;
}

// The parameter page reads the lists again; a refused value keeps the last.
void TestPortProbe::textsThatNameNoValue()
{
    QFETCH(QString, port);
    QFETCH(QString, address);
    QFETCH(QString, period);
    QFETCH(QStringList, messages);
    QFETCH(int, portNumber);
    QFETCH(int, hostAddress);
    QFETCH(int, pollPeriod);
    FormFixture f;
    f.ui.Combo2->setText("7");
    f.ui.Combo3->setText("200");
    f.load();
    f.page(2);
    f.ui.Combo1->setText(port);
    f.ui.Combo2->setText(address);
    f.ui.Combo3->setText(period);
    f.page(3);
    QCOMPARE(f.boxes.texts(), messages);
    QCOMPARE(int(f.state.portNumber), portNumber);
    QCOMPARE(int(f.state.hostAddress), hostAddress);
    QCOMPARE(int(f.state.timeSettings[0]), pollPeriod);
    if (portNumber == 0) { // the retry moves on to port 1
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

#include "link/commandframe.h"
#include "state/numbertext.h"

#include <QTest>

class TestCommandFrame : public QObject
{
    Q_OBJECT

private slots:
    void workedFrames_data();
    void workedFrames();
    void numberTexts_data();
    void numberTexts();
};

void TestCommandFrame::workedFrames_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("parameter");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("input query, address 0") << 0 << 0x3F << 0 << QByteArray::fromHex("E0003F00001F");
    QTest::newRow("output query, address 0") << 0 << 0x3B << 0 << QByteArray::fromHex("E0003B00001B");
    QTest::newRow("output command, address 0, mask 00") << 0 << 0x3D << 0x00 << QByteArray::fromHex("E0003D00001D");
    QTest::newRow("output command, address 5, mask 81") << 5 << 0x3D << 0x81 << QByteArray::fromHex("E0053D8100A3");
    QTest::newRow("input query, address 15") << 15 << 0x3F << 0 << QByteArray::fromHex("E00F3F00002E");
    QTest::newRow("output command, address 15, mask FF (sum 555)") << 15 << 0x3D << 0xFF << QByteArray::fromHex("E00F3DFF002B");
    QTest::newRow("largest sum wraps") << 255 << 0x3F << 0xFF << QByteArray::fromHex("E0FF3FFF001D");
}

void TestCommandFrame::workedFrames()
{
    QFETCH(int, address);
    QFETCH(int, code);
    QFETCH(int, parameter);
    QFETCH(QByteArray, frame);
    QCOMPARE(commandFrame(uint8_t(address), uint8_t(code), uint8_t(parameter)).toHex(' '),
             frame.toHex(' '));
}

// Texts the lists and boxes may hold, read as the handlers read them.
void TestCommandFrame::numberTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("leading");
    QTest::addColumn<int>("int16");
    QTest::newRow("plain") << "50" << 50.0 << 50;
    QTest::newRow("leading blanks") << "  100" << 100.0 << 100;
    QTest::newRow("trailing text") << "200ms" << 200.0 << 200;
    QTest::newRow("empty") << "" << 0.0 << 0;
    QTest::newRow("not a number") << "abc" << 0.0 << 0;
    QTest::newRow("half to even down") << "2.5" << 2.5 << 2;
    QTest::newRow("half to even up") << "3.5" << 3.5 << 4;
    QTest::newRow("negative") << "-7" << -7.0 << -7;
    QTest::newRow("exponent") << "1e3" << 1000.0 << 1000;
    QTest::newRow("held to 16 bits") << "99999" << 99999.0 << 32767;
    QTest::newRow("sign alone") << "-" << 0.0 << 0;
    QTest::newRow("full-width digits are no number") << "５" << 0.0 << 0;
}

void TestCommandFrame::numberTexts()
{
    QFETCH(QString, text);
    QFETCH(double, leading);
    QFETCH(int, int16);
    QCOMPARE(leadingNumber(text), leading);
    QCOMPARE(int(textToInt16(text)), int16);
}

QTEST_GUILESS_MAIN(TestCommandFrame)
#include "tst_commandframe.moc"

#include "serial/commandframe.h"
#include "serial/framemeaning.h"
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
    void traceMeanings_data();
    void traceMeanings();
};

void TestCommandFrame::workedFrames_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("parameter");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("input query, address 0") << 0 << 0x3F << 0 << QByteArray::fromHex("E0003F00001F");
    QTest::newRow("output query, address 0") << 0 << 0x3B << 0 << QByteArray::fromHex("E0003B00001B");
    QTest::newRow("output command, address 0, mask 00")
        << 0 << 0x3D << 0x00 << QByteArray::fromHex("E0003D00001D");
    QTest::newRow("output command, address 5, mask 81")
        << 5 << 0x3D << 0x81 << QByteArray::fromHex("E0053D8100A3");
    QTest::newRow("input query, address 15") << 15 << 0x3F << 0 << QByteArray::fromHex("E00F3F00002E");
    QTest::newRow("output command, address 15, mask FF (sum 555)")
        << 15 << 0x3D << 0xFF << QByteArray::fromHex("E00F3DFF002B");
    QTest::newRow("largest sum wraps") << 255 << 0x3F << 0xFF << QByteArray::fromHex("E0FF3FFF001D");
}

void TestCommandFrame::workedFrames()
{
    QFETCH(int, address);
    QFETCH(int, code);
    QFETCH(int, parameter);
    QFETCH(QByteArray, frame);
    QCOMPARE(commandFrame(uint8_t(address), uint8_t(code), uint8_t(parameter)).toHex(' '), frame.toHex(' '));
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
    QTest::newRow("exponent without digits") << "1e" << 1.0 << 1;
    QTest::newRow("a tab is no blank") << "\t5" << 0.0 << 0;
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

// What the wire trace says of frames written (tx) and receptions read (rx).
void TestCommandFrame::traceMeanings_data()
{
    QTest::addColumn<bool>("written");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("meaning");
    QTest::newRow("input query") << true << QByteArray::fromHex("E0003F00001F")
                                 << "input status query, address 0";
    QTest::newRow("output query") << true << QByteArray::fromHex("E00F3B00002A")
                                  << "output status query, address 15";
    QTest::newRow("output command") << true << QByteArray::fromHex("E0053D8100A3")
                                    << "output command, address 5, outputs 1 8 on";
    QTest::newRow("all outputs off") << true << QByteArray::fromHex("E0003D00001D")
                                     << "output command, address 0, all outputs off";
    QTest::newRow("inputs of both bytes")
        << false << QByteArray::fromHex("E0003F0581A5") << "inputs 1 3 9 16 in alarm";
    QTest::newRow("no input") << false << QByteArray::fromHex("E0073F000026") << "no input in alarm";
    QTest::newRow("outputs") << false << QByteArray::fromHex("E0003B81009C") << "outputs 1 8 on";
    QTest::newRow("short") << false << QByteArray::fromHex("E0003F") << "short reception, 3 of 6 bytes";
    QTest::newRow("long") << false << QByteArray::fromHex("E0003F00001FE0") << "long reception, 7 bytes";
    QTest::newRow("bad checksum") << false << QByteArray::fromHex("E0003F050025")
                                  << "bad checksum, 24 expected";
    QTest::newRow("unknown code") << false << QByteArray::fromHex("E000120000F2") << "unknown reply 12";
}

void TestCommandFrame::traceMeanings()
{
    QFETCH(bool, written);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, meaning);
    QCOMPARE(written ? commandMeaning(bytes) : receptionMeaning(bytes), meaning);
}

QTEST_GUILESS_MAIN(TestCommandFrame)
#include "tst_commandframe.moc"

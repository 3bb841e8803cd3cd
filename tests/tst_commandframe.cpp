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
    void receptionMeanings_data();
    void receptionMeanings();
};

// The frames the tester writes, and what the wire trace says of them.
void TestCommandFrame::workedFrames_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("parameter");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("meaning");
    const auto row = [](const char *name, int address, CommandCode code, int parameter, const char *hex,
                        const char *meaning) {
        QTest::newRow(name) << address << int(code) << parameter << QByteArray::fromHex(hex)
                            << QString(meaning);
    };
    row("input query, address 0", 0, InputStatusQuery, 0, "E0003F00001F", "input status query, address 0");
    row("output query, address 0", 0, OutputStatusQuery, 0, "E0003B00001B", "output status query, address 0");
    row("output command, address 0, mask 00", 0, OutputCommand, 0x00, "E0003D00001D",
        "output command, address 0, all outputs off");
    row("output command, address 5, mask 81", 5, OutputCommand, 0x81, "E0053D8100A3",
        "output command, address 5, outputs 1 8 on");
    row("input query, address 15", 15, InputStatusQuery, 0, "E00F3F00002E", "input status query, address 15");
    row("output query, address 15", 15, OutputStatusQuery, 0, "E00F3B00002A",
        "output status query, address 15");
    row("output command, address 15, mask FF (sum 555)", 15, OutputCommand, 0xFF, "E00F3DFF002B",
        "output command, address 15, outputs 1 2 3 4 5 6 7 8 on");
    row("largest sum wraps", 255, InputStatusQuery, 0xFF, "E0FF3FFF001D", "input status query, address 255");
}

void TestCommandFrame::workedFrames()
{
    QFETCH(int, address);
    QFETCH(int, code);
    QFETCH(int, parameter);
    QFETCH(QByteArray, frame);
    QFETCH(QString, meaning);
    QCOMPARE(commandFrame(uint8_t(address), uint8_t(code), uint8_t(parameter)).toHex(' '), frame.toHex(' '));
    QCOMPARE(commandMeaning(frame), meaning);
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

// What the wire trace says of receptions read.
void TestCommandFrame::receptionMeanings_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("meaning");
    QTest::newRow("inputs of both bytes")
        << QByteArray::fromHex("E0003F0581A5") << "inputs 1 3 9 16 in alarm";
    QTest::newRow("no input") << QByteArray::fromHex("E0073F000026") << "no input in alarm";
    QTest::newRow("outputs") << QByteArray::fromHex("E0003B81009C") << "outputs 1 8 on";
    QTest::newRow("short") << QByteArray::fromHex("E0003F") << "short reception, 3 of 6 bytes";
    QTest::newRow("long") << QByteArray::fromHex("E0003F00001FE0") << "long reception, 7 bytes";
    QTest::newRow("bad checksum") << QByteArray::fromHex("E0003F050025") << "bad checksum, 24 expected";
    QTest::newRow("unknown code") << QByteArray::fromHex("E000120000F2") << "unknown reply 12";
}

void TestCommandFrame::receptionMeanings()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, meaning);
    QCOMPARE(receptionMeaning(bytes), meaning);
}

QTEST_GUILESS_MAIN(TestCommandFrame)
#include "tst_commandframe.moc"

// alarm-host-scan: asks every address on a serial line for its input and
// output status and lists the hosts that answer. See --help.

#include "busscanner.h"
#include "printline.h"

#include "serial/framemeaning.h"
#include "serial/portfailuretext.h"
#include "serial/portmap.h"
#include "serial/qtserialcomponent.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTimer>

namespace {

const char *const kDescription =
    "列出串口线上应答的报警主机。\n"
    "\n"
    "以 9600,n,8,1 打开串口,先发送一帧校验和错误的查询(主机会丢弃它),\n"
    "看适配器是否把发出的字节读回;读回时先输出一行\"%1\",\n"
    "此后读回的字节一律剔除。然后依次向每个地址发送输入状态查询,对应答的\n"
    "主机再发送输出状态查询。每台主机输出一行:地址、报警的输入、打开的输出;\n"
    "使用 --json 时输出一个对象\n"
    "  {\"echo\": 适配器是否回显, \"hosts\": [主机, ...]}\n"
    "每台主机一个对象\n"
    "  {\"address\": 地址, \"in1\": 输入1-8字节, \"in2\": 输入9-16字节, \"out\": 输出字节}\n"
    "(输出状态无应答时 out 为 null)。\n"
    "只有以 E0 开头、地址和命令相符、校验和正确的应答才算主机;杂散字节之后的\n"
    "正确应答照样算。校验和错误、地址错误或不完整的应答不算主机,在标准错误上\n"
    "逐条说明。一个不应答的地址最多等待 --timeout 毫秒。\n"
    "\n"
    "--com N 与测试软件端口列表中的 COMn 是同一设备(环境变量\n"
    "ALARM_HOST_TESTER_COM<n> 同样有效)。\n"
    "\n"
    "退出状态:0 有主机应答;1 没有主机应答;2 端口无法打开(原因见标准错误)\n"
    "或参数错误。";

const char *const kEchoLine = "适配器回显:读回的本机发送字节已剔除";

struct ScanOptions
{
    int commPort = 1;
    // The port as the messages name it.
    QString portName;
    int firstAddress = 0;
    int lastAddress = 15;
    int timeoutMs = 50;
    bool json = false;
};

// Empty on success, else what is wrong with the command line.
QString readOptions(const QCommandLineParser &parser, ScanOptions *options)
{
    const bool device = parser.isSet(QStringLiteral("device"));
    if (device == parser.isSet(QStringLiteral("com")))
        return QStringLiteral("须给出 --device 或 --com 之一");
    if (device) {
        // The device stands in for COM1 through the override the tester
        // honours too, so the scan opens it exactly as the tester would.
        options->portName = parser.value(QStringLiteral("device"));
        // Empty, the override would not count and COM1 would be scanned.
        if (options->portName.isEmpty())
            return QStringLiteral("--device 须为设备路径,不能为空");
        qputenv("ALARM_HOST_TESTER_COM1", QFile::encodeName(options->portName));
    } else {
        bool ok = false;
        options->commPort = parser.value(QStringLiteral("com")).toInt(&ok);
        if (!ok || options->commPort < 1 || options->commPort > 8)
            return QStringLiteral("--com 须为 1..8");
        options->portName = QStringLiteral("COM%1 (%2)")
                                .arg(options->commPort)
                                .arg(deviceForPort(int16_t(options->commPort)));
    }
    if (parser.isSet(QStringLiteral("addresses"))) {
        static const QRegularExpression range(QStringLiteral("^(\\d+)(?:-(\\d+))?$"));
        const QRegularExpressionMatch match = range.match(parser.value(QStringLiteral("addresses")));
        if (!match.hasMatch())
            return QStringLiteral("--addresses 须为 A-B 或 A");
        // Too many digits for an int reads as not a number, never as 0.
        bool firstOk = false;
        bool lastOk = true;
        options->firstAddress = match.captured(1).toInt(&firstOk);
        options->lastAddress =
            match.captured(2).isEmpty() ? options->firstAddress : match.captured(2).toInt(&lastOk);
        if (!firstOk || !lastOk || options->firstAddress > options->lastAddress || options->lastAddress > 15)
            return QStringLiteral("--addresses 须在 0..15 之内且 A 不大于 B");
    }
    if (parser.isSet(QStringLiteral("timeout"))) {
        bool ok = false;
        options->timeoutMs = parser.value(QStringLiteral("timeout")).toInt(&ok);
        if (!ok || options->timeoutMs < 1 || options->timeoutMs > 10000)
            return QStringLiteral("--timeout 须为 1..10000 毫秒");
    }
    options->json = parser.isSet(QStringLiteral("json"));
    return {};
}

QString hostLine(const BusScanner::Host &host)
{
    const QList<int> inputs = setChannels(host.in1, 1) + setChannels(host.in2, 9);
    const QString in =
        inputs.isEmpty() ? QStringLiteral("无报警输入") : QStringLiteral("报警输入 ") + channelText(inputs);
    QString out = QStringLiteral("输出状态未知");
    if (host.out)
        out = *host.out == 0 ? QStringLiteral("输出全部关闭")
                             : QStringLiteral("打开的输出 ") + channelText(setChannels(*host.out, 1));
    return QStringLiteral("地址 %1: %2; %3").arg(host.address).arg(in, out);
}

QJsonObject hostObject(const BusScanner::Host &host)
{
    return {{QStringLiteral("address"), host.address},
            {QStringLiteral("in1"), host.in1},
            {QStringLiteral("in2"), host.in2},
            {QStringLiteral("out"), host.out ? QJsonValue(*host.out) : QJsonValue()}};
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("alarm-host-scan"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(kDescription).arg(QString::fromUtf8(kEchoLine)));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("device"), QStringLiteral("串口设备,例如 /dev/ttyUSB0。"), QStringLiteral("PATH")},
        {QStringLiteral("com"), QStringLiteral("端口 COMn,n = 1..8。"), QStringLiteral("N")},
        {QStringLiteral("addresses"), QStringLiteral("扫描的地址范围(默认 0-15)。"), QStringLiteral("A-B")},
        {QStringLiteral("timeout"), QStringLiteral("每次查询等待应答的毫秒数(默认 50)。"),
         QStringLiteral("MS")},
        {QStringLiteral("json"), QStringLiteral("以 JSON 对象输出。")},
    });
    if (!parser.parse(QCoreApplication::arguments())) {
        printLine(stderr, QStringLiteral("alarm-host-scan: %1(见 --help)").arg(parser.errorText()));
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        printLine(stdout, parser.helpText());
        return 0;
    }
    ScanOptions options;
    const QString optionError = readOptions(parser, &options);
    if (!optionError.isEmpty()) {
        printLine(stderr, QStringLiteral("alarm-host-scan: %1(见 --help)").arg(optionError));
        return 2;
    }

    QtSerialComponent line;
    line.setCommPort(int16_t(options.commPort));
    line.setReceiveLatency(0);
    if (!line.setSettings(QStringLiteral("9600,n,8,1")) || !line.setPortOpen(true)) {
        printLine(stderr, QStringLiteral("alarm-host-scan: %1: %2")
                              .arg(options.portName, portFailureDescription(line.failure())));
        return 2;
    }

    BusScanner scanner(line, options.firstAddress, options.lastAddress, options.timeoutMs);
    bool echoes = false;
    QObject::connect(&scanner, &BusScanner::adapterChecked, &app, [&](bool found) {
        echoes = found;
        if (found && !options.json)
            printLine(stdout, QString::fromUtf8(kEchoLine));
    });
    QJsonArray hosts;
    QObject::connect(&scanner, &BusScanner::hostFound, &app, [&](const BusScanner::Host &host) {
        hosts.append(hostObject(host));
        if (!options.json)
            printLine(stdout, hostLine(host));
    });
    QObject::connect(&scanner, &BusScanner::badReply, &app,
                     [](int address, const QString &fault, const QByteArray &bytes) {
                         printLine(stderr, QStringLiteral("地址 %1: %2 %3")
                                               .arg(address)
                                               .arg(fault, QString::fromLatin1(bytes.toHex(' ').toUpper())));
                     });
    QObject::connect(&scanner, &BusScanner::lineFailed, &app, [](const PortFailure &failure) {
        printLine(stderr, QStringLiteral("alarm-host-scan: %1").arg(portFailureDescription(failure)));
        QCoreApplication::exit(2);
    });
    QObject::connect(&scanner, &BusScanner::finished, &app, [] { QCoreApplication::exit(0); });
    // Started from the loop, so that a line failing at once can end it.
    QTimer::singleShot(0, &scanner, &BusScanner::start);
    if (QCoreApplication::exec() != 0)
        return 2;

    line.setPortOpen(false);
    if (options.json)
        printLine(stdout, QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("echo"), echoes},
                                                                      {QStringLiteral("hosts"), hosts}})
                                                .toJson(QJsonDocument::Compact)));
    if (hosts.isEmpty()) {
        printLine(stderr, QStringLiteral("没有主机应答"));
        return 1;
    }
    return 0;
}

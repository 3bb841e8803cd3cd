// porthold DEV          opens DEV through QSerialPort, prints "ready" and
//                       keeps it open until stdin closes or it is killed.
// porthold --probe DEV  opens DEV as COM1 through QtSerialComponent and
//                       prints "opened" or the component's description.

#include "serial/qtserialcomponent.h"

#include <QCoreApplication>
#include <QFile>
#include <QSerialPort>

#include <cstdio>
#include <unistd.h>

namespace {

void waitForStdinToClose()
{
    char byte = 0;
    while (::read(STDIN_FILENO, &byte, 1) > 0) {
    }
}

int hold(const QString &device)
{
    QSerialPort port;
    port.setPortName(device);
    if (!port.open(QIODevice::ReadWrite)) {
        std::printf("error: %s\n", qPrintable(port.errorString()));
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    waitForStdinToClose();
    return 0;
}

int probe(const QString &device)
{
    qputenv("ALARM_HOST_TESTER_COM1", QFile::encodeName(device));
    QtSerialComponent component;
    component.setCommPort(1);
    const bool opened = component.setPortOpen(true);
    const QString text = opened ? QStringLiteral("opened") : component.errorDescription();
    std::printf("%s\n", text.toUtf8().constData());
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 2)
        return hold(args.at(1));
    if (args.size() == 3 && args.at(1) == QLatin1String("--probe"))
        return probe(args.at(2));
    std::fprintf(stderr, "usage: porthold DEV | porthold --probe DEV\n");
    return 2;
}

// alarm-host-sim: stands in for the serial alarm host so the tester can be
// run, demonstrated and tested without the hardware. See --help.

#include "hostmodel.h"
#include "hostsimulator.h"
#include "printline.h"
#include "scenario.h"
#include "simio.h"
#include "simoptions.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <csignal>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

using namespace hostsim;

namespace {

// Started with a standard descriptor closed, the pty would take its number
// and be read as the console. Park /dev/null there; a closed stdin then
// reads as ended.
void occupyClosedStandardFds()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) < 0) {
            const int null = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
            if (null >= 0 && null != fd) {
                ::dup2(null, fd);
                ::close(null);
            }
        }
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QElapsedTimer clock;
    clock.start();
    occupyClosedStandardFds();

    // Whoever started us may stop reading our stdout after the first line;
    // a write must not kill us then. A background job that reads the
    // terminal gets EIO (handled as end of input) instead of being stopped.
    // A trace at the file size limit fails its write with EFBIG, which ends
    // the run with the reason rather than silently.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGTTIN, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("alarm-host-sim"));

    const ParsedOptions parsed = parseOptions(QCoreApplication::arguments());
    if (parsed.outcome == ParsedOptions::Outcome::Help) {
        printLine(stdout, parsed.message);
        return 0;
    }
    if (parsed.outcome == ParsedOptions::Outcome::Error) {
        printLine(stderr, QStringLiteral("alarm-host-sim: %1 (see --help)").arg(parsed.message));
        return 2;
    }
    const SimOptions &options = parsed.options;

    QString error;
    Scenario scenario;
    if (!options.scenarioPath.isEmpty()
        && !loadScenario(options.scenarioPath, options.channels, &scenario, &error)) {
        printLine(stderr, QStringLiteral("alarm-host-sim: %1").arg(error));
        return 2;
    }

    Trace trace;
    if (!options.tracePath.isEmpty() && !trace.open(options.tracePath, &error)) {
        printLine(stderr, QStringLiteral("alarm-host-sim: %1").arg(error));
        return 1;
    }
    QObject::connect(&trace, &Trace::failed, &app, [](const QString &why) {
        printLine(stderr, QStringLiteral("alarm-host-sim: %1").arg(why));
        QCoreApplication::exit(1);
    });

    SignalWatcher signalWatcher;
    if (!signalWatcher.install(&error)) {
        printLine(stderr, QStringLiteral("alarm-host-sim: %1").arg(error));
        return 1;
    }
    QObject::connect(&signalWatcher, &SignalWatcher::terminate, &app, [] { QCoreApplication::exit(0); });

    std::unique_ptr<SimLine> line;
    if (options.device.isEmpty()) {
        auto pty = std::make_unique<PtyLine>();
        if (!pty->open(&error)) {
            printLine(stderr, QStringLiteral("alarm-host-sim: %1").arg(error));
            return 1;
        }
        printLine(stdout, pty->slavePath());
        line = std::move(pty);
    } else {
        auto serial = std::make_unique<SerialLine>();
        if (!serial->open(options.device, &error)) {
            printLine(stderr, QStringLiteral("alarm-host-sim: %1").arg(error));
            return 1;
        }
        printLine(stdout, options.device);
        line = std::move(serial);
    }
    QObject::connect(line.get(), &SimLine::failed, &app, [](const QString &why) {
        printLine(stderr, QStringLiteral("alarm-host-sim: %1").arg(why));
        QCoreApplication::exit(1);
    });

    HostModel model(options.channels, uint8_t(options.address), options.ack);
    HostSimulator simulator(&model, line.get(), &trace, options.faults);
    QObject::connect(&simulator, &HostSimulator::outputsChanged, &app, [](quint8 outputs) {
        printLine(stdout, QStringLiteral("outputs %1").arg(hexByte(outputs)));
    });

    ScenarioRunner runner(scenario, clock);
    QObject::connect(&runner, &ScenarioRunner::stepDue, &app, [&model](const InputAction &action) {
        QString why;
        // Checked against the model when loaded; kept for safety.
        if (!action.applyTo(model, &why))
            printLine(stderr, QStringLiteral("alarm-host-sim: scenario: %1").arg(why));
    });

    FdLineReader console(STDIN_FILENO);
    QObject::connect(&console, &FdLineReader::line, &app, [&model, &simulator](const QString &text) {
        ConsoleCommand command;
        QString why;
        if (!parseConsoleCommand(text, model.channels(), &command, &why)) {
            printLine(stderr, QStringLiteral("alarm-host-sim: %1 (%2)").arg(why, consoleHelp()));
            return;
        }
        switch (command.kind) {
        case ConsoleCommand::Kind::None:
            break;
        case ConsoleCommand::Kind::Input:
            if (!command.action.applyTo(model, &why))
                printLine(stderr, QStringLiteral("alarm-host-sim: %1").arg(why));
            break;
        case ConsoleCommand::Kind::Echo:
            simulator.setEcho(command.echo);
            break;
        case ConsoleCommand::Kind::State:
            printLine(stdout, model.stateLine());
            break;
        case ConsoleCommand::Kind::Help:
            printLine(stdout, consoleHelp());
            break;
        case ConsoleCommand::Kind::Quit:
            QCoreApplication::exit(0);
            break;
        }
    });
    QObject::connect(&console, &FdLineReader::tooLong, &app, [] {
        printLine(stderr, QStringLiteral("alarm-host-sim: line longer than %1 bytes, ignored (%2)")
                              .arg(FdLineReader::kMaxLineBytes)
                              .arg(consoleHelp()));
    });
    if (options.exitOnEof)
        QObject::connect(&console, &FdLineReader::endOfInput, &app, [] { QCoreApplication::exit(0); });

    runner.start();
    console.start();
    return QCoreApplication::exec();
}

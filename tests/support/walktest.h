#pragma once

#include "platform/lamp.h"
#include "serial/tracingserialcomponent.h"
#include "serial/wiretrace.h"
#include "support/e2eharness.h"

#include <QFileInfo>

// The real window on a traced line, as the menu's "记录通讯" starts it.
class TracedPlatform : public E2EPlatform
{
public:
    explicit TracedPlatform(const QString &tracePath)
        : m_trace(tracePath)
        , m_traced(port, m_trace)
    {
    }
    SerialComponent &serial() override { return m_traced; }

private:
    WireTrace m_trace;
    TracingSerialComponent m_traced;
};

// A commissioning walk test against the simulator, started here with
// `faults`, traced to `tracePath`: each input in alarm for 250 ms in turn
// from one second on, while each output box is ticked and unticked in
// turn, each time until its lamp shows what the host reports. Polling stops
// between a reply and the next query, so every reply sent has been read.
// Callers check QTest::currentTestFailed() afterwards.
inline void runWalkTest(SimulatorProcess &sim, const QStringList &faults, const QString &tracePath)
{
    QFile scenario(QFileInfo(tracePath).dir().filePath(QStringLiteral("walk.scenario")));
    QVERIFY(scenario.open(QIODevice::WriteOnly));
    for (int input = 1; input <= 8; ++input)
        scenario.write(QStringLiteral("at %1 ms input %2 alarm\nat %3 ms input %2 clear\n")
                           .arg(500 + 500 * input)
                           .arg(input)
                           .arg(750 + 500 * input)
                           .toLatin1());
    scenario.close();
    QVERIFY(sim.start(QStringList{"--scenario", scenario.fileName()} + faults));
    QElapsedTimer sinceStart;
    sinceStart.start();
    TracedPlatform platform(tracePath);
    Form1 form(platform);
    form.Form_Load();
    form.ui().SSTab1->setTab(0);
    for (int output = 0; output < 8; ++output) {
        for (const uint32_t lamp : {kStatusRed, kLampGrey}) {
            form.ui().Check1[output]->click();
            QTRY_COMPARE_WITH_TIMEOUT(form.ui().Shape2[output]->fillColor(), lamp, 5000);
        }
    }
    QVERIFY(waitUntil([&] { return sinceStart.elapsed() > 5000; }, 10000, 100));
    QVERIFY(waitUntil([&] { return !readTrace(tracePath).constLast().what.startsWith(u't'); }, 5000, 1));
    form.ui().SSTab1->setTab(3);
    QVERIFY(platform.boxes.shown().isEmpty());
}

// What alarm-host-report printed with these arguments; empty when it failed.
inline QByteArray runReport(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(ALARM_BIN_DIR "/alarm-host-report"), arguments);
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return {};
    return process.readAllStandardOutput();
}

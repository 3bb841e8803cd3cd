#pragma once

#include "app/form1.h"
#include "platform/checkbox.h"
#include "platform/combobox.h"
#include "platform/commandbutton.h"
#include "platform/intervaltimer.h"
#include "platform/platform.h"
#include "platform/systemtimer.h"
#include "platform/tabcontrol.h"
#include "platform/textbox.h"
#include "platform/updown.h"
#include "serial/qtserialcomponent.h"
#include "support/frames.h"
#include "support/recordingmessagebox.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

// The real window with real timers and the real port, against the host
// simulator on a pseudo-terminal. Only the message box is recorded (a real
// one would wait for an operator) and no lock file is taken, so several of
// these tests can run at once.
class E2EPlatform : public Platform
{
public:
    E2EPlatform()
        : boxes([this] { return clock.elapsed(); })
    {
        clock.start();
    }

    IntervalTimer *createTimer(QObject *parent) override { return createSystemTimer(parent); }
    SerialComponent &serial() override { return port; }
    MessageBox &messageBox() override { return boxes; }
    bool anotherInstanceRunning() override { return false; }
    void endProgram() override { ++endCount; }

    QElapsedTimer clock;
    QtSerialComponent port;
    RecordingMessageBox boxes;
    int endCount = 0;
};

// A line of the simulator's trace or the tester's wire trace:
// "<µs> <what>[ <hex bytes>][  <meaning>]".
struct TraceLine
{
    qint64 micros = 0;
    QString what;
    QString bytes;
    QString meaning;
};

inline QList<TraceLine> readTrace(const QString &path)
{
    QList<TraceLine> lines;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    while (!file.atEnd()) {
        QString line = QString::fromUtf8(file.readLine());
        if (line.endsWith(u'\n'))
            line.chop(1);
        const qsizetype noteAt = line.indexOf(QLatin1String("  "));
        const QStringList fields = line.left(noteAt).split(u' ');
        if (fields.size() < 2)
            continue;
        TraceLine entry;
        entry.micros = fields[0].toLongLong();
        entry.what = fields[1];
        entry.bytes = fields.mid(2).join(u' ');
        entry.meaning = noteAt < 0 ? QString() : line.mid(noteAt + 2);
        lines.append(entry);
    }
    return lines;
}

// alarm-host-sim as a child process on its own pseudo-terminal, mapped to
// COM1. Its trace file tells what reached the line and when.
class SimulatorProcess
{
public:
    SimulatorProcess() = default;
    SimulatorProcess(const SimulatorProcess &) = delete;
    SimulatorProcess &operator=(const SimulatorProcess &) = delete;
    ~SimulatorProcess() { stop(); }

    bool start(const QStringList &options = {})
    {
        m_tracePath = m_dir.filePath(QStringLiteral("trace.txt"));
        m_process.setProgram(QStringLiteral(ALARM_BIN_DIR "/alarm-host-sim"));
        m_process.setArguments(QStringList{"--trace", m_tracePath} + options);
        m_process.start();
        if (!m_process.waitForStarted(5000))
            return false;
        QDeadlineTimer deadline(10000);
        while (!m_process.canReadLine() && !deadline.hasExpired())
            m_process.waitForReadyRead(100);
        if (!m_process.canReadLine())
            return false;
        m_ptyPath = QString::fromLocal8Bit(m_process.readLine()).trimmed();
        qputenv("ALARM_HOST_TESTER_COM1", m_ptyPath.toLocal8Bit());
        return !m_ptyPath.isEmpty();
    }

    void command(const QByteArray &line) { m_process.write(line + '\n'); }

    // An adapter pulled out: no orderly shutdown, the pty master just goes.
    void kill()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.kill();
        m_process.waitForFinished(3000);
    }

    bool running() const { return m_process.state() == QProcess::Running; }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(3000))
            m_process.kill();
        m_process.waitForFinished(3000);
    }

    // Everything the simulator printed after the pty path.
    QString output()
    {
        m_output += QString::fromLocal8Bit(m_process.readAllStandardOutput());
        return m_output;
    }

    using TraceLine = ::TraceLine;
    QList<TraceLine> trace() const { return readTrace(m_tracePath); }

    // The frames the simulator received from the tester, in order.
    QStringList received() const
    {
        QStringList frames;
        for (const TraceLine &line : trace()) {
            if (line.what.startsWith(QLatin1String("rx")))
                frames.append(line.bytes);
        }
        return frames;
    }

    // One of the three frames the tester sends to address 0: input query,
    // output query, output command with any mask and its checksum.
    static bool isTesterFrame(const QString &hex)
    {
        const QByteArray bytes = QByteArray::fromHex(hex.toLatin1());
        if (bytes.size() != 6 || hex.size() != 17)
            return false;
        const auto at = [&bytes](int i) { return uint8_t(bytes[i]); };
        if (at(0) != 0xE0 || at(1) != 0x00 || at(4) != 0x00)
            return false;
        if (at(2) != 0x3F && at(2) != 0x3B && at(2) != 0x3D)
            return false;
        if (at(2) != 0x3D && at(3) != 0x00)
            return false;
        return bytes == lineFrame(at(2), at(3));
    }

    // Trace lines of anything else that reached the simulator: rx-bad,
    // rx-other, rx-garbage, or an rx frame of another kind.
    QStringList unexpectedFrames() const
    {
        QStringList found;
        for (const TraceLine &line : trace()) {
            if (!line.what.startsWith(QLatin1String("rx")))
                continue;
            if (line.what != QLatin1String("rx") || !isTesterFrame(line.bytes))
                found.append(line.what + u' ' + line.bytes);
        }
        return found;
    }

    QString ptyPath() const { return m_ptyPath; }

private:
    QTemporaryDir m_dir;
    QString m_tracePath;
    QString m_ptyPath;
    QString m_output;
    QProcess m_process;
};

// Like QTRY_VERIFY for a condition that is costly to check (reading the
// simulator's trace), so it can be checked less often.
inline bool waitUntil(const std::function<bool()> &condition, int timeoutMs, int everyMs = 20)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(everyMs);
    }
    return true;
}

// The one message of a device that vanished under the open port: gone, or
// the write that found it gone.
inline bool isDeviceLostMessage(const QString &text)
{
    const QString tryAgain = QStringLiteral(",请检查或更换端口重新操作");
    return text == QStringLiteral("端口设备已断开") + tryAgain
           || (text.startsWith(QStringLiteral("端口写入失败")) && text.endsWith(tryAgain));
}

// No step of the poll cycle or of a linkage output is armed.
inline bool pollingStopped(Form1 &form)
{
    const Form1Context &c = form.context();
    for (const IntervalTimer *timer : {c.Timer1, c.Timer2, c.Timer3, c.Timer4, c.Timer8}) {
        if (timer->isEnabled())
            return false;
    }
    return true;
}

// Sets up input 2 linked to output 5 on the 8-channel host as the operator
// would and starts linkage; with timers, a filter time of 0.1 s and the
// reset time of 1 s. Callers check QTest::currentTestFailed() afterwards.
inline void startLinkage(Form1 &form, bool withTimers, const QList<int> &links = {1, 4})
{
    const Form1Widgets &ui = form.ui();
    ui.SSTab1->setTab(4);
    ui.Check3->click();
    // (input channel, output) pairs, counted from 0.
    for (qsizetype i = 0; i + 1 < links.size(); i += 2) {
        ui.Combo5->choose(links[i]);
        ui.Check2[size_t(links[i + 1])]->click();
        ui.Command3->click();
        QCOMPARE(form.state().linkageTable[size_t(links[i])][size_t(links[i + 1])], int16_t(1));
    }
    if (withTimers) {
        ui.UpDown1->stepUp(); // filter 0.1 s; the reset time stays at 1 s
        QCOMPARE(ui.Text1->text(), QStringLiteral("1"));
        QCOMPARE(ui.Text2->text(), QStringLiteral("1"));
    }
    ui.Command1->click();
    QTRY_COMPARE_WITH_TIMEOUT(ui.SSTab1->tab(), 0, 5000);
    QVERIFY(ui.Command2[0]->isVisibleTo(&form));
}

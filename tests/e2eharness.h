#pragma once

#include "app/form1.h"
#include "link/qtserialcomponent.h"
#include "platform/messagebox.h"
#include "platform/platform.h"
#include "platform/qtintervaltimer.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

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

    IntervalTimer *createTimer(QObject *parent) override { return new QtIntervalTimer(parent); }
    SerialComponent &serial() override { return port; }
    MessageBox &messageBox() override { return boxes; }
    bool anotherInstanceRunning() override { return false; }
    void endProgram() override { ++endCount; }

    QElapsedTimer clock;
    QtSerialComponent port;
    RecordingMessageBox boxes;
    int endCount = 0;
};

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

    struct TraceLine
    {
        qint64 micros = 0;
        QString what;
        QString bytes;
    };

    QList<TraceLine> trace() const
    {
        QList<TraceLine> lines;
        QFile file(m_tracePath);
        if (!file.open(QIODevice::ReadOnly))
            return lines;
        while (!file.atEnd()) {
            const QString line = QString::fromLatin1(file.readLine()).trimmed();
            const qsizetype first = line.indexOf(u' ');
            const qsizetype second = line.indexOf(u' ', first + 1);
            if (first < 0)
                continue;
            TraceLine entry;
            entry.micros = line.left(first).toLongLong();
            entry.what = second < 0 ? line.mid(first + 1) : line.mid(first + 1, second - first - 1);
            entry.bytes = second < 0 ? QString() : line.mid(second + 1);
            lines.append(entry);
        }
        return lines;
    }

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

    QString ptyPath() const { return m_ptyPath; }

private:
    QTemporaryDir m_dir;
    QString m_tracePath;
    QString m_ptyPath;
    QString m_output;
    QProcess m_process;
};

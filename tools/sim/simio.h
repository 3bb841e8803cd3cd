#pragma once

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QSocketNotifier>
#include <QString>

#include <memory>

class QSerialPort;

namespace hostsim {

// The host's end of the serial line.
class SimLine : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    // Queues all bytes for sending, in order.
    virtual void write(const QByteArray &bytes) = 0;

signals:
    void received(const QByteArray &bytes);
    // The line is unusable; the program should stop.
    void failed(const QString &why);
};

// A pseudo-terminal: the tester opens the slave end, we talk on the master.
// The slave is held open here too, so the line does not hang up while the
// tester closes and reopens it; nothing ever reads it on this side.
class PtyLine : public SimLine
{
    Q_OBJECT

public:
    explicit PtyLine(QObject *parent = nullptr);
    ~PtyLine() override;

    bool open(QString *error);
    QString slavePath() const { return m_slavePath; }
    void write(const QByteArray &bytes) override;

private:
    void readMaster();
    void flushPending();
    void closeAll();

    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    std::unique_ptr<QSocketNotifier> m_readNotifier;
    std::unique_ptr<QSocketNotifier> m_writeNotifier;
    QByteArray m_pending; // bytes the pty could not take yet
};

// A real serial port at 9600 8N1.
class SerialLine : public SimLine
{
    Q_OBJECT

public:
    explicit SerialLine(QObject *parent = nullptr);
    bool open(const QString &device, QString *error);
    void write(const QByteArray &bytes) override;

private:
    QSerialPort *m_port;
    QString m_device;
    bool m_failed = false;
};

// Splits what arrives on a file descriptor (standard input) into lines.
// A line longer than kMaxLineBytes is dropped whole (tooLong) instead of
// being held in memory without end.
class FdLineReader : public QObject
{
    Q_OBJECT

public:
    static constexpr qsizetype kMaxLineBytes = 1024;

    explicit FdLineReader(int fd, QObject *parent = nullptr);
    void start();

signals:
    void line(const QString &text);
    void tooLong();
    void endOfInput();

private:
    void readSome();
    void finish();

    int m_fd;
    QByteArray m_buffer;
    bool m_skipping = false; // in a line already reported as too long
    std::unique_ptr<QSocketNotifier> m_notifier;
};

// Turns SIGTERM and SIGINT into a Qt signal. One per process.
class SignalWatcher : public QObject
{
    Q_OBJECT

public:
    explicit SignalWatcher(QObject *parent = nullptr);
    ~SignalWatcher() override;
    bool install(QString *error);

signals:
    void terminate(int signalNumber);

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
};

// One line per frame in the tester's trace format (traceLine of
// tracefile/traceline.h), on the same clock, written at once
// into a regular file. A write that fails closes the trace and reports it:
// whoever reads the trace must not take a gap for a quiet line.
class Trace : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    bool open(const QString &path, QString *error);
    bool isOpen() const { return m_file.isOpen(); }
    void write(const char *what, const QByteArray &bytes, const QString &meaning = {});

signals:
    void failed(const QString &why);

private:
    QString m_path;
    QFile m_file;
};

} // namespace hostsim

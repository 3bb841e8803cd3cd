#pragma once

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QString>

#include <cstdio>
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
};

// Splits what arrives on a file descriptor (standard input) into lines.
class FdLineReader : public QObject
{
    Q_OBJECT

public:
    explicit FdLineReader(int fd, QObject *parent = nullptr);
    void start();

signals:
    void line(const QString &text);
    void endOfInput();

private:
    void readSome();
    void finish();

    int m_fd;
    QByteArray m_buffer;
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

// One flushed line per frame: "<monotonic µs> <what> <hex bytes>".
class Trace
{
public:
    Trace() = default;
    ~Trace();
    Trace(const Trace &) = delete;
    Trace &operator=(const Trace &) = delete;

    bool open(const QString &path, QString *error);
    bool isOpen() const { return m_file != nullptr; }
    void write(const char *what, const QByteArray &bytes);
    // Absolute CLOCK_MONOTONIC, so other processes can line their own
    // timestamps up with ours.
    static qint64 nowMicroseconds();

private:
    std::FILE *m_file = nullptr;
};

} // namespace hostsim

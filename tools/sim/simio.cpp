#include "simio.h"

#include "serial/wiretrace.h"

#include <QSerialPort>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace hostsim {

namespace {

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

bool makeRaw(int fd)
{
    termios settings{};
    if (tcgetattr(fd, &settings) != 0)
        return false;
    cfmakeraw(&settings);
    cfsetispeed(&settings, B9600);
    cfsetospeed(&settings, B9600);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &settings) == 0;
}

} // namespace

// --- PtyLine ---

PtyLine::PtyLine(QObject *parent)
    : SimLine(parent)
{
}

PtyLine::~PtyLine()
{
    closeAll();
}

void PtyLine::closeAll()
{
    m_readNotifier.reset();
    m_writeNotifier.reset();
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_slave = m_master = -1;
}

bool PtyLine::open(QString *error)
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0) {
        *error = systemError("posix_openpt");
        return false;
    }
    char name[256] = {};
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0 || ptsname_r(m_master, name, sizeof name) != 0) {
        *error = systemError("preparing the pseudo-terminal");
        closeAll();
        return false;
    }
    // Raw on both ends: no echo, no line editing, no CR/LF translation;
    // every byte is a protocol byte.
    if (!makeRaw(m_master)) {
        *error = systemError("setting the pseudo-terminal master to raw");
        closeAll();
        return false;
    }
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave < 0 || !makeRaw(m_slave)) {
        *error = systemError("opening the pseudo-terminal slave");
        closeAll();
        return false;
    }
    fcntl(m_master, F_SETFD, FD_CLOEXEC);
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_slavePath = QString::fromLocal8Bit(name);

    m_readNotifier = std::make_unique<QSocketNotifier>(m_master, QSocketNotifier::Read);
    connect(m_readNotifier.get(), &QSocketNotifier::activated, this, &PtyLine::readMaster);
    m_writeNotifier = std::make_unique<QSocketNotifier>(m_master, QSocketNotifier::Write);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier.get(), &QSocketNotifier::activated, this, &PtyLine::flushPending);
    return true;
}

void PtyLine::readMaster()
{
    QByteArray bytes;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            // Cannot happen while we hold the slave; stop rather than spin.
            m_readNotifier->setEnabled(false);
            emit failed(systemError("reading the pseudo-terminal"));
        }
        break;
    }
    if (!bytes.isEmpty())
        emit received(bytes);
}

void PtyLine::write(const QByteArray &bytes)
{
    if (m_master < 0)
        return;
    m_pending.append(bytes);
    flushPending();
}

void PtyLine::flushPending()
{
    while (!m_pending.isEmpty()) {
        const ssize_t n = ::write(m_master, m_pending.constData(), size_t(m_pending.size()));
        if (n > 0) {
            m_pending.remove(0, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            m_pending.clear();
            emit failed(systemError("writing the pseudo-terminal"));
        }
        break;
    }
    // The slave's input queue fills up when nobody reads it; wait for room.
    m_writeNotifier->setEnabled(!m_pending.isEmpty());
}

// --- SerialLine ---

SerialLine::SerialLine(QObject *parent)
    : SimLine(parent)
    , m_port(new QSerialPort(this))
{
    connect(m_port, &QSerialPort::readyRead, this, [this] { emit received(m_port->readAll()); });
    connect(m_port, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
        // Failures of open() are its caller's to report.
        if (!m_port->isOpen() || m_failed || e == QSerialPort::NoError || e == QSerialPort::TimeoutError)
            return;
        // An unplugged USB adapter shows up as a resource error, a line that
        // hangs up as a read error that comes again at every turn of the
        // loop; either way the line is gone.
        m_failed = true;
        const QString what = e == QSerialPort::ReadError
                                 ? QStringLiteral("the line hung up or cannot be read")
                                 : m_port->errorString();
        emit failed(QStringLiteral("%1: %2").arg(m_device, what));
        QMetaObject::invokeMethod(m_port, &QSerialPort::close, Qt::QueuedConnection);
    });
}

bool SerialLine::open(const QString &device, QString *error)
{
    m_device = device;
    m_port->setPortName(device);
    m_port->setBaudRate(QSerialPort::Baud9600);
    m_port->setDataBits(QSerialPort::Data8);
    m_port->setParity(QSerialPort::NoParity);
    m_port->setStopBits(QSerialPort::OneStop);
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    if (!m_port->open(QIODevice::ReadWrite)) {
        *error = QStringLiteral("cannot open %1: %2").arg(device, m_port->errorString());
        return false;
    }
    return true;
}

void SerialLine::write(const QByteArray &bytes)
{
    if (!m_failed)
        m_port->write(bytes);
}

// --- FdLineReader ---

FdLineReader::FdLineReader(int fd, QObject *parent)
    : QObject(parent)
    , m_fd(fd)
{
}

void FdLineReader::start()
{
    // A closed descriptor counts as input that has already ended.
    if (fcntl(m_fd, F_GETFL) < 0) {
        QMetaObject::invokeMethod(this, &FdLineReader::finish, Qt::QueuedConnection);
        return;
    }
    // Left blocking on purpose: O_NONBLOCK would also change the terminal
    // the shell shares with us. One read per wake-up never blocks.
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &FdLineReader::readSome);
}

void FdLineReader::readSome()
{
    char buffer[4096];
    const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (n <= 0) {
        // EOF, or EIO from a background job reading its terminal.
        finish();
        return;
    }
    m_buffer.append(buffer, n);
    qsizetype end;
    while ((end = m_buffer.indexOf('\n')) >= 0) {
        QByteArray text = m_buffer.left(end);
        m_buffer.remove(0, end + 1);
        if (text.endsWith('\r'))
            text.chop(1);
        if (std::exchange(m_skipping, false))
            continue;
        if (text.size() > kMaxLineBytes)
            emit tooLong();
        else
            emit line(QString::fromUtf8(text));
    }
    if (m_buffer.size() > kMaxLineBytes) {
        if (!m_skipping)
            emit tooLong();
        m_skipping = true;
        m_buffer.clear();
    }
}

void FdLineReader::finish()
{
    if (m_notifier)
        m_notifier->setEnabled(false);
    if (!m_buffer.isEmpty() && !m_skipping) {
        const QByteArray rest = m_buffer;
        m_buffer.clear();
        emit line(QString::fromUtf8(rest));
    }
    emit endOfInput();
}

// --- SignalWatcher ---

namespace {
int g_signalPipe[2] = {-1, -1};

void onSignal(int number)
{
    const int saved = errno;
    const char byte = char(number);
    [[maybe_unused]] const ssize_t ignored = ::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}
} // namespace

SignalWatcher::SignalWatcher(QObject *parent)
    : QObject(parent)
{
}

SignalWatcher::~SignalWatcher()
{
    if (g_signalPipe[0] < 0)
        return;
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
    m_notifier.reset();
    ::close(g_signalPipe[0]);
    ::close(g_signalPipe[1]);
    g_signalPipe[0] = g_signalPipe[1] = -1;
}

bool SignalWatcher::install(QString *error)
{
    if (pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        *error = systemError("pipe");
        return false;
    }
    m_notifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        while (::read(g_signalPipe[0], &byte, 1) == 1)
            emit terminate(int(byte));
    });
    struct sigaction action
    {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    return true;
}

// --- Trace ---

bool Trace::open(const QString &path, QString *error)
{
    m_path = path;
    m_file.setFileName(path);
    QString why;
    if (openRegularFile(m_file, QIODevice::Truncate | QIODevice::Unbuffered, &why) != TraceFileOpen::Opened) {
        *error = QStringLiteral("cannot write trace %1: %2").arg(path, why);
        return false;
    }
    return true;
}

void Trace::write(const char *what, const QByteArray &bytes, const QString &meaning)
{
    if (!m_file.isOpen())
        return;
    QString why;
    if (writeLine(m_file, traceLine(WireTrace::nowMicroseconds(), what, bytes, meaning), &why))
        return;
    m_file.close();
    emit failed(QStringLiteral("cannot write trace %1: %2").arg(m_path, why));
}

} // namespace hostsim

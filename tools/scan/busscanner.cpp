#include "busscanner.h"

#include "serial/commandframe.h"
#include "serial/serialcomponent.h"

BusScanner::BusScanner(SerialComponent &line, int firstAddress, int lastAddress, int timeoutMs,
                       QObject *parent)
    : QObject(parent)
    , m_line(line)
    , m_lastAddress(lastAddress)
    , m_address(firstAddress)
{
    m_timeout.setSingleShot(true);
    m_timeout.setTimerType(Qt::PreciseTimer);
    m_timeout.setInterval(timeoutMs);
    connect(&m_timeout, &QTimer::timeout, this, &BusScanner::endStep);
    connect(&m_line, &SerialComponent::OnComm, this, &BusScanner::onComm);
}

QByteArray BusScanner::echoProbe()
{
    QByteArray frame = commandFrame(0, InputStatusQuery, 0);
    // Flipping the top bit keeps the sum byte from ever being a start byte.
    frame[kFrameLength - 1] = char(uint8_t(frame[kFrameLength - 1]) ^ 0x80);
    return frame;
}

void BusScanner::start()
{
    m_probing = true;
    if (send(echoProbe()))
        m_timeout.start();
}

bool BusScanner::send(const QByteArray &frame)
{
    m_received.clear();
    m_echoBytes = 0;
    m_wrong.reset();
    // A late answer to the previous query must not count for this one.
    m_line.setInBufferCount(0);
    // Nor may the framer's leftovers of it.
    m_framer.portOpened();
    m_framer.trustFrames();
    m_framer.setEchoes(m_echoes);
    if (!m_probing)
        m_framer.written(frame);
    if (!m_line.output(frame)) {
        emit lineFailed(m_line.failure());
        return false;
    }
    return true;
}

void BusScanner::ask(uint8_t code)
{
    m_code = code;
    if (send(commandFrame(uint8_t(m_address), code, 0)))
        m_timeout.start();
}

void BusScanner::onComm()
{
    if (!m_timeout.isActive())
        return;
    const QByteArray bytes = m_line.input();
    m_received += bytes;
    if (m_probing) {
        if (m_received.contains(echoProbe())) {
            m_timeout.stop();
            m_echoes = true;
            endStep();
        }
        return;
    }
    for (const Reception &piece : m_framer.read(bytes)) {
        switch (piece.kind) {
        case ReceptionKind::Reply:
            m_timeout.stop();
            answered(piece.bytes);
            return;
        case ReceptionKind::Echo:
            m_echoBytes += piece.bytes.size();
            break;
        default:
            // A frame tells more than bytes that belong to none.
            if (!m_wrong || m_wrong->kind == ReceptionKind::Stray)
                m_wrong = piece;
            break;
        }
    }
}

void BusScanner::answered(const QByteArray &reply)
{
    if (m_code == InputStatusQuery) {
        m_host = Host{m_address, uint8_t(reply[3]), uint8_t(reply[4]), std::nullopt};
        ask(OutputStatusQuery);
        return;
    }
    m_host.out = uint8_t(reply[3]);
    emit hostFound(m_host);
    nextAddress();
}

QString BusScanner::fault() const
{
    if (!m_wrong) {
        const qsizetype heard = m_received.size() - m_echoBytes;
        return heard > 0 ? QStringLiteral("应答不完整(%1字节)").arg(heard) : QString();
    }
    switch (m_wrong->kind) {
    case ReceptionKind::BadChecksum:
        return QStringLiteral("应答校验和错误");
    case ReceptionKind::OtherAddress:
        return QStringLiteral("应答地址错误(来自地址%1)").arg(uint8_t(m_wrong->bytes[1]));
    case ReceptionKind::OtherMaster:
        return QStringLiteral("另一主站的输出命令");
    default:
        return QStringLiteral("应答格式错误");
    }
}

void BusScanner::endStep()
{
    if (m_probing) {
        m_probing = false;
        emit adapterChecked(m_echoes);
        ask(InputStatusQuery);
        return;
    }
    const QString what = fault();
    const QByteArray bytes = m_wrong ? m_wrong->bytes : what.isEmpty() ? QByteArray() : m_received;
    if (m_code == InputStatusQuery) {
        if (!what.isEmpty())
            emit badReply(m_address, what, bytes);
        nextAddress();
        return;
    }
    emit badReply(m_address, what.isEmpty() ? QStringLiteral("输出状态无应答") : what, bytes);
    emit hostFound(m_host);
    nextAddress();
}

void BusScanner::nextAddress()
{
    if (m_address >= m_lastAddress) {
        emit finished();
        return;
    }
    ++m_address;
    ask(InputStatusQuery);
}

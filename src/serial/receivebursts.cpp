#include "serial/receivebursts.h"

#include "serial/commandframe.h"

#include <algorithm>
#include <cmath>

namespace {

// A burst ends after this many character times without a byte.
constexpr double kQuietCharacters = 4.0;
constexpr int kMinQuietMs = 2;

} // namespace

ReceiveBursts::ReceiveBursts(QObject *parent)
    : QObject(parent)
{
    m_quiet.setSingleShot(true);
    m_quiet.setTimerType(Qt::PreciseTimer);
    connect(&m_quiet, &QTimer::timeout, this, &ReceiveBursts::burstEnded);
}

int ReceiveBursts::quietIntervalMs() const
{
    const double ms = kQuietCharacters * LineSettings::kBitsPerCharacter * 1000.0 / m_settings.baudRate;
    return std::max(kMinQuietMs, int(std::lround(ms)));
}

void ReceiveBursts::bytesWaiting(qint64 waiting)
{
    if (waiting > 0)
        m_quiet.start(waiting >= kFrameLength ? 0 : quietIntervalMs());
}

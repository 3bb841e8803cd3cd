#include "link/portmap.h"

namespace {
constexpr int16_t kFirstPort = 1;
constexpr int16_t kLastPort = 8;
}

QString deviceForPort(int16_t n)
{
    if (n < kFirstPort || n > kLastPort)
        return {};
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(n);
#else
    const QByteArray variable = "ALARM_HOST_TESTER_COM" + QByteArray::number(n);
    const QString configured = qEnvironmentVariable(variable.constData());
    if (!configured.isEmpty())
        return configured;
    return QStringLiteral("/dev/ttyS%1").arg(n - 1);
#endif
}

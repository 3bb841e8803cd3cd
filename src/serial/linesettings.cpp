#include "serial/linesettings.h"

#include <QStringList>

std::optional<LineSettings> LineSettings::parse(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return std::nullopt;

    LineSettings settings;
    bool ok = false;
    settings.baudRate = parts.at(0).trimmed().toInt(&ok);
    if (!ok || settings.baudRate <= 0)
        return std::nullopt;
    if (parts.at(1).trimmed().compare(QLatin1String("n"), Qt::CaseInsensitive) != 0
        || parts.at(2).trimmed() != QLatin1String("8") || parts.at(3).trimmed() != QLatin1String("1"))
        return std::nullopt;
    return settings;
}

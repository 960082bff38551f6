#include "engine/syncthing/DiagnosticsFormat.h"

#include "engine/syncthing/rest/LooseJson.h"

#include <QLocale>

namespace tw {

QString DiagnosticsFormat::gb(const QJsonValue &value)
{
    const qint64 bytes = LooseJson::truncatedInteger(value).value_or(0);
    return QString::asprintf("%.2f GB", double(bytes) / 1'000'000'000.0);
}

QString DiagnosticsFormat::pct(const QJsonValue &value)
{
    return QString::asprintf("%.2f%%", LooseJson::number(value).value_or(0.0));
}

QString DiagnosticsFormat::plain(const QJsonValue &value, const QString &fallback)
{
    if (const auto text = LooseJson::string(value))
        return *text;
    if (const auto integer = LooseJson::exactInteger(value))
        return QString::number(*integer);
    if (const auto number = LooseJson::number(value))
        return QString::number(*number, 'g', QLocale::FloatingPointShortest);
    return fallback;
}

QStringList DiagnosticsFormat::logTail(const QStringList &lines)
{
    return lines.mid(std::max<qsizetype>(0, lines.size() - kLogLines));
}

} // namespace tw

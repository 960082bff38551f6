#include "app/PurgePaths.h"

#include <QStringList>
#include <algorithm>

namespace tw {
namespace {

bool hasControlCharacter(const QString &component)
{
    return std::any_of(component.cbegin(), component.cend(), [](QChar c) { return c.unicode() < 0x20; });
}

bool isSyncthingEntry(const QString &component)
{
    for (const char *name : {".stfolder", ".stversions", ".stignore"}) {
        if (component.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return true;
    }
    return component.startsWith(QLatin1String(".syncthing."), Qt::CaseInsensitive);
}

} // namespace

std::optional<QString> canonicalRel(const QString &path)
{
    const QString rest = path.startsWith(QLatin1Char('/')) ? path.mid(1) : path;
    const QStringList components = rest.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (components.isEmpty() || isSyncthingEntry(components.first()))
        return std::nullopt;
    for (const QString &component : components) {
        if (component == QLatin1String(".") || component == QLatin1String("..") || hasControlCharacter(component))
            return std::nullopt;
    }
    return components.join(QLatin1Char('/'));
}

QString escapeGlob(const QString &path)
{
    static const QString special = QStringLiteral("*?[]{}\\");
    QString escaped;
    escaped.reserve(path.size());
    for (const QChar c : path) {
        if (special.contains(c))
            escaped.append(QLatin1Char('\\'));
        escaped.append(c);
    }
    return escaped;
}

} // namespace tw

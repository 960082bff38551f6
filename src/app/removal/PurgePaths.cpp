#include "app/removal/PurgePaths.h"

#include <QFile>
#include <QStringList>
#include <algorithm>
#include <climits>

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

// Longer than any path or name the file system takes: such a path names
// nothing, and Qt's path functions mishandle texts past 32,767 characters.
bool beyondFileSystem(const QString &path)
{
    if (QFile::encodeName(path).size() >= PATH_MAX)
        return true;
    const QStringList components = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    return std::any_of(components.cbegin(), components.cend(),
                       [](const QString &component) { return QFile::encodeName(component).size() > NAME_MAX; });
}

} // namespace

std::optional<QString> canonicalRel(const QString &path)
{
    if (path.size() >= PATH_MAX)
        return std::nullopt;
    // Syncthing keeps every name in NFC here (on disk and in its ignore
    // matching), whatever form the sender's file system gave it.
    const QString composed = path.normalized(QString::NormalizationForm_C);
    if (beyondFileSystem(composed))
        return std::nullopt;
    const QString rest = composed.startsWith(QLatin1Char('/')) ? composed.mid(1) : composed;
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
    // Syncthing trims white space off both ends of each ignore line (an
    // escape would be cut from its space), so a name that ends in one would
    // keep a sibling out instead; a one-character class keeps it literal.
    qsizetype trailing = path.size();
    while (trailing > 0 && path.at(trailing - 1).isSpace())
        --trailing;
    QString escaped;
    escaped.reserve(path.size());
    for (qsizetype at = 0; at < path.size(); ++at) {
        const QChar c = path.at(at);
        if (at >= trailing) {
            escaped.append(QLatin1Char('[')).append(c).append(QLatin1Char(']'));
            continue;
        }
        if (special.contains(c))
            escaped.append(QLatin1Char('\\'));
        escaped.append(c);
    }
    return escaped;
}

} // namespace tw

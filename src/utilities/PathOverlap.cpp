#include "utilities/PathOverlap.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <optional>

#include <sys/stat.h>

namespace tw {
namespace {

bool nested(const QString &inner, const QString &outer)
{
    return inner == outer || inner.startsWith(outer.endsWith(QLatin1Char('/')) ? outer : outer + QLatin1Char('/'));
}

QString cleaned(const QString &path)
{
    return QDir::cleanPath(QDir::isAbsolutePath(path) ? path : QDir::current().absoluteFilePath(path));
}

using Identity = PathOverlap::Place::Identity;

std::optional<Identity> identityOf(const QString &path)
{
    struct stat status = {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return Identity{static_cast<quint64>(status.st_dev), static_cast<quint64>(status.st_ino)};
}

} // namespace

bool PathOverlap::written(const QString &a, const QString &b)
{
    const QString first = cleaned(a);
    const QString second = cleaned(b);
    return nested(first, second) || nested(second, first);
}

PathOverlap::Place PathOverlap::place(const QString &path)
{
    QString existing = cleaned(path);
    QString rest;
    while (!QFileInfo::exists(existing) && existing != QDir::rootPath()) {
        const QFileInfo info(existing);
        rest = rest.isEmpty() ? info.fileName() : info.fileName() + QLatin1Char('/') + rest;
        existing = info.path();
    }
    QString canonical = QFileInfo(existing).canonicalFilePath();
    if (canonical.isEmpty())
        canonical = existing;
    Place place{.path = QDir::cleanPath(rest.isEmpty() ? canonical : canonical + QLatin1Char('/') + rest),
                .exists = rest.isEmpty(),
                .chain = {}};
    for (QString step = canonical;; step = QFileInfo(step).path()) {
        if (const std::optional<Identity> identity = identityOf(step))
            place.chain.append(*identity);
        if (step == QDir::rootPath() || step.isEmpty() || step == QStringLiteral("."))
            break;
    }
    return place;
}

bool PathOverlap::placed(const Place &a, const Place &b)
{
    if (nested(a.path, b.path) || nested(b.path, a.path))
        return true;
    // Its own identity heads the chain of a folder that exists.
    if (a.exists && !a.chain.isEmpty() && b.chain.contains(a.chain.first()))
        return true;
    return b.exists && !b.chain.isEmpty() && a.chain.contains(b.chain.first());
}

} // namespace tw

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

struct Identity
{
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const Identity &) const = default;
};

std::optional<Identity> identityOf(const QString &path)
{
    struct stat status = {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return Identity{status.st_dev, status.st_ino};
}

// The path as the file system resolves it, and the folders it passes
// through from its nearest existing parent up to the root.
struct Resolved
{
    QString path;
    bool exists = false;
    QList<Identity> chain;
};

Resolved resolve(const QString &path)
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
    Resolved resolved{.path = QDir::cleanPath(rest.isEmpty() ? canonical : canonical + QLatin1Char('/') + rest),
                      .exists = rest.isEmpty(),
                      .chain = {}};
    for (QString step = canonical;; step = QFileInfo(step).path()) {
        if (const std::optional<Identity> identity = identityOf(step))
            resolved.chain.append(*identity);
        if (step == QDir::rootPath() || step.isEmpty() || step == QStringLiteral("."))
            break;
    }
    return resolved;
}

} // namespace

bool PathOverlap::written(const QString &a, const QString &b)
{
    const QString first = cleaned(a);
    const QString second = cleaned(b);
    return nested(first, second) || nested(second, first);
}

bool PathOverlap::onDisk(const QString &a, const QString &b)
{
    const Resolved first = resolve(a);
    const Resolved second = resolve(b);
    if (nested(first.path, second.path) || nested(second.path, first.path))
        return true;
    // Its own identity heads the chain of a folder that exists.
    if (first.exists && !first.chain.isEmpty() && second.chain.contains(first.chain.first()))
        return true;
    return second.exists && !second.chain.isEmpty() && first.chain.contains(second.chain.first());
}

} // namespace tw

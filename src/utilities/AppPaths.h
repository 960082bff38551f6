#pragma once

#include <QString>

namespace tw {

// Where the application keeps its files. The root is "TidewellSync" under the
// user's data folder ($XDG_DATA_HOME, by default ~/.local/share); tests build
// an AppPaths on a temporary root so that two "Macs" can live in one process.
class AppPaths
{
public:
    explicit AppPaths(QString root) : m_root(std::move(root)) {}

    static AppPaths standard();

    const QString &root() const { return m_root; }
    QString engineHome() const { return m_root + QStringLiteral("/syncthing"); }
    // The hidden team folder that carries cluster.json; never a sync's folder.
    QString clusterFolder() const { return m_root + QStringLiteral("/cluster"); }
    QString file(const QString &name) const { return m_root + QLatin1Char('/') + name; }

private:
    QString m_root;
};

} // namespace tw

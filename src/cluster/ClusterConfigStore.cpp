#include "cluster/ClusterConfigStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>
#include <QUuid>
#include <limits>
#include <unistd.h>

namespace tw {

ClusterConfigStore::ClusterConfigStore(QString folderPath, QString clusterID, QString localDeviceID, QString key)
    : m_folderPath(std::move(folderPath))
    , m_clusterID(std::move(clusterID))
    , m_localDeviceID(std::move(localDeviceID))
    , m_key(std::move(key))
    , m_config(ClusterConfig::empty(m_clusterID))
{
}

void ClusterConfigStore::ensureFolderExists() const { QDir().mkpath(m_folderPath); }

ClusterConfig ClusterConfigStore::reload()
{
    const OnDisk disk = readDisk();
    // A damaged file must not shrink the record: the rewrite replicates to
    // every device and would replace their good copies. What decoded is
    // merged with the last good record instead.
    m_config = disk.damaged ? disk.record.merged(m_config) : disk.record;
    if (!disk.conflictCopies.isEmpty() || !disk.mainExisted || disk.damaged)
        saveThenDelete(disk);
    return m_config;
}

void ClusterConfigStore::recordEdit(const QString &folderID, const QString &deviceID, CellState state,
                                    const QString &wallclock)
{
    // A download that lands meanwhile is merged in and the edit signed anew;
    // the last attempt writes regardless, so that the edit is not lost.
    for (int attempt = 1; attempt <= editAttempts; ++attempt) {
        const OnDisk disk = readDisk();
        ClusterConfig next = disk.record.merged(m_config);
        if (next.lamport == std::numeric_limits<qint64>::max())
            return;
        const qint64 lamport = next.lamport + 1;
        const QString sig =
            ClusterConfig::signature(folderID, deviceID, state, lamport, m_localDeviceID, wallclock, m_key);
        next.folders[folderID].insert(deviceID, ClusterCell{state, lamport, wallclock, m_localDeviceID, sig});
        next.lamport = lamport;
        m_config = next;
        if (attempt == editAttempts ? save() : saveOver(disk.replaceable)) {
            if (disk.replaceable)
                for (const QString &copy : disk.conflictCopies)
                    QFile::remove(copy);
            return;
        }
    }
}

QString ClusterConfigStore::mainPath() const { return QDir(m_folderPath).filePath(QStringLiteral("cluster.json")); }

QStringList ClusterConfigStore::conflictCopies() const
{
    QStringList paths;
    const QDir::Filters filter = QDir::Files | QDir::Hidden | QDir::System;
    for (const QFileInfo &entry : QDir(m_folderPath).entryInfoList(filter, QDir::Unsorted)) {
        const bool conflictCopy = entry.fileName().startsWith(QLatin1String("cluster.sync-conflict-"));
        if (conflictCopy && entry.suffix() == QLatin1String("json"))
            paths.append(entry.filePath());
    }
    return paths;
}

ClusterConfigStore::OnDisk ClusterConfigStore::readDisk() const
{
    OnDisk disk{.record = ClusterConfig::empty(m_clusterID), .conflictCopies = conflictCopies()};
    disk.mainExisted = QFile::exists(mainPath());
    QStringList files = disk.conflictCopies;
    if (disk.mainExisted)
        files.prepend(mainPath());
    for (const QString &path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            // Unread cells are still somebody's choices: keep the last good
            // record in the merge, and the unread copy on disk.
            disk.damaged = true;
            disk.conflictCopies.removeAll(path);
            continue;
        }
        const QByteArray bytes = file.readAll();
        file.close();
        const std::optional<ClusterConfig::Decoded> decoded = ClusterConfig::fromJson(bytes);
        if (path == mainPath())
            disk.replaceable = bytes;
        if (!decoded || !decoded->complete) {
            quarantine(path);
            disk.damaged = true;
            if (path == mainPath())
                disk.replaceable.reset();
        }
        if (decoded)
            disk.record = disk.record.merged(decoded->config.validated(m_key).withLamportBoundByCells());
    }
    return disk;
}

void ClusterConfigStore::quarantine(const QString &path) const
{
    // The name pattern is shared by every device of the team; QUuid writes
    // lower-case digits, the pattern has upper-case ones.
    const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces).left(8).toUpper();
    QFile::rename(path, QDir(m_folderPath).filePath(QStringLiteral("cluster.corrupt-%1.json").arg(id)));
}

bool ClusterConfigStore::save() const
{
    ensureFolderExists();
    QSaveFile file(mainPath());
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(m_config.toJson());
    return file.commit();
}

std::optional<QByteArray> ClusterConfigStore::readMain() const
{
    QFile file(mainPath());
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

bool ClusterConfigStore::saveOver(const std::optional<QByteArray> &replaceable) const
{
    if (!replaceable)
        return createMain();
    return readMain() == replaceable && save();
}

bool ClusterConfigStore::createMain() const
{
    ensureFolderExists();
    QTemporaryFile file(QDir(m_folderPath).filePath(QStringLiteral("cluster.json.XXXXXX")));
    if (!file.open() || file.write(m_config.toJson()) < 0 || !file.flush())
        return false;
    // A hard link never replaces an existing name, and readers see the
    // whole file at once.
    return ::link(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(mainPath()).constData()) == 0;
}

void ClusterConfigStore::saveThenDelete(const OnDisk &disk) const
{
    // Until the merge is on disk a copy may hold the only record of a cell.
    if (!saveOver(disk.replaceable) || !disk.replaceable)
        return;
    for (const QString &copy : disk.conflictCopies)
        QFile::remove(copy);
}

} // namespace tw

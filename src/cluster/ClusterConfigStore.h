#pragma once

#include "cluster/ClusterConfig.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>

namespace tw {

// Reads, merges, edits and writes cluster.json in the team folder for one team
// key. The engine replicates the folder; concurrent writers on other devices
// surface as "cluster.sync-conflict-*.json" copies, merged back here and then
// deleted. File errors are ignored.
//
// Every member of the team can put anything into the folder, the key or not:
// only regular files of at most maxFileBytes, found without following a
// link, are read; any other entry under the main name or a copy's name is
// moved aside like a damaged file, so that it neither costs memory nor keeps
// the main file from being written.
class ClusterConfigStore
{
public:
    static constexpr qint64 maxFileBytes = 16 * 1024 * 1024;

    // Touches no file; the record is empty until the first reload.
    ClusterConfigStore(QString folderPath, QString clusterID, QString localDeviceID, QString key);

    const ClusterConfig &config() const { return m_config; }
    const QString &folderPath() const { return m_folderPath; }

    void ensureFolderExists() const;

    // Rebuilds the record from cluster.json and its conflict copies. Writes
    // only when the main file does not already hold the merged record (or is
    // missing); copies are deleted once the merge is on disk.
    ClusterConfig reload();
    // The same with the file work on a worker thread; the pointer keeps the
    // store alive until the work is done.
    static QCoro::Task<ClusterConfig> reloadInBackground(std::shared_ptr<ClusterConfigStore> store);

    // Signs one cell with the next Lamport value and saves. What is on disk is
    // merged in first, so a cell that arrived since the last reload survives.
    // Refused, with nothing saved, when the counter is at its largest value.
    void recordEdit(const QString &folderID, const QString &deviceID, CellState state, const QString &wallclock);

private:
    static constexpr int editAttempts = 3;

    struct OnDisk
    {
        ClusterConfig record;
        // Copies read and merged whole, to be deleted once the merge is on disk.
        QStringList conflictCopies;
        // The main file's own record, when it was read whole.
        std::optional<ClusterConfig> mainRecord = std::nullopt;
        // What a write may replace: the main file's bytes as read, or
        // nothing when it was missing or moved aside.
        std::optional<QByteArray> replaceable = std::nullopt;
    };

    QString mainPath() const;
    QStringList conflictCopyPaths() const;
    // Every file validated and merged in order, the main file first. A file
    // that does not decode whole, or is not a regular file within the limit,
    // is moved aside; what of it decoded counts.
    OnDisk readDisk() const;
    // Reads the files, merges `held` in and writes what changed. Uses only the
    // fixed fields: safe on any thread.
    ClusterConfig reloadFiles(const ClusterConfig &held) const;
    void quarantine(const QString &path) const;
    bool save(const ClusterConfig &config) const;
    // The engine replaces the main file by deleting it and renaming its
    // download into place. A write is therefore made only while the main file
    // is still what the record was built from, and creates a missing one only
    // if nothing appeared meanwhile, so that no download is undone.
    bool saveOver(const std::optional<QByteArray> &replaceable, const ClusterConfig &config) const;
    bool createMain(const ClusterConfig &config) const;
    // Copies go only once the merge replaced a main file that was read: while
    // it is missing the engine may be putting a download in its place.
    void saveThenDelete(const OnDisk &disk, const ClusterConfig &config) const;

    QString m_folderPath;
    QString m_clusterID;
    QString m_localDeviceID;
    QString m_key;
    ClusterConfig m_config;
};

} // namespace tw

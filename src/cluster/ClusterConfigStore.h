#pragma once

#include "cluster/ClusterConfig.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace tw {

// Reads, merges, edits and writes cluster.json in the team folder for one team
// key. The engine replicates the folder; concurrent writers on other devices
// surface as "cluster.sync-conflict-*.json" copies, merged back here and then
// deleted. Every file operation is synchronous and its errors are ignored.
class ClusterConfigStore
{
public:
    // Touches no file; the record is empty until the first reload.
    ClusterConfigStore(QString folderPath, QString clusterID, QString localDeviceID, QString key);

    const ClusterConfig &config() const { return m_config; }
    const QString &folderPath() const { return m_folderPath; }

    void ensureFolderExists() const;

    // Rebuilds the record from cluster.json and its conflict copies. Writes
    // only when copies were merged, the main file was missing or a file was
    // damaged; copies are deleted once the merge is on disk.
    ClusterConfig reload();

    // Signs one cell with the next Lamport value and saves. What is on disk is
    // merged in first, so a cell that arrived since the last reload survives.
    // Refused, with nothing saved, when the counter is at its largest value.
    void recordEdit(const QString &folderID, const QString &deviceID, CellState state, const QString &wallclock);

private:
    static constexpr int editAttempts = 3;

    struct OnDisk
    {
        ClusterConfig record;
        QStringList conflictCopies;
        bool mainExisted = false;
        bool damaged = false;
        // What a write may replace: the main file's bytes as read, or
        // nothing when it was missing or moved aside.
        std::optional<QByteArray> replaceable = std::nullopt;
    };

    QString mainPath() const;
    QStringList conflictCopies() const;
    // Every file validated and merged in order, the main file first. A file
    // that does not decode whole is moved aside; what of it decoded counts.
    OnDisk readDisk() const;
    void quarantine(const QString &path) const;
    std::optional<QByteArray> readMain() const;
    bool save() const;
    // The engine replaces the main file by deleting it and renaming its
    // download into place. A write is therefore made only while the main file
    // is still what the record was built from, and creates a missing one only
    // if nothing appeared meanwhile, so that no download is undone.
    bool saveOver(const std::optional<QByteArray> &replaceable) const;
    bool createMain() const;
    // Copies go only once the merge replaced a main file that was read: while
    // it is missing the engine may be putting a download in its place.
    void saveThenDelete(const OnDisk &disk) const;

    QString m_folderPath;
    QString m_clusterID;
    QString m_localDeviceID;
    QString m_key;
    ClusterConfig m_config;
};

} // namespace tw

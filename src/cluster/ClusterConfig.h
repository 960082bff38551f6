#pragma once

#include "cluster/ClusterCell.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <optional>

namespace tw {

// The team record kept in cluster.json and replicated to every device of the
// team: for each engine folder ID and device ID, one signed cell.
struct ClusterConfig
{
    using Cells = QMap<QString, ClusterCell>;  // by device ID

    qint64 schemaVersion = 1;
    QString clusterID;            // 16 hex digits: the team folder ID without "tdw-cluster-"
    QMap<QString, Cells> folders; // by engine folder ID
    qint64 lamport = 0;           // highest Lamport value issued or seen

    bool operator==(const ClusterConfig &) const = default;

    static ClusterConfig empty(QString clusterID);

    // HMAC-SHA256 under the key's UTF-8 bytes over the six parts joined by
    // U+0001, in lower-case hex. Author before wallclock: other devices sign
    // and check exactly this message.
    static QString signature(const QString &folderID, const QString &deviceID, CellState state, qint64 lamport,
                             const QString &authorDeviceID, const QString &wallclock, const QString &key);

    // "tdw-cluster-" and 16 hex digits derived from the team key, the same on
    // every device that holds it.
    static QString clusterFolderID(const QString &secret);

    // Keeps only cells whose signature matches the folder and device they are
    // stored under; an empty key keeps none.
    ClusterConfig validated(const QString &key) const;

    // The top-level counter is signed by nobody, so a device sharing the
    // folder could set it near the largest value and stop every edit. Lowers
    // it to the highest cell's value (0 without cells); never raises it.
    ClusterConfig withLamportBoundByCells() const;

    // This record (mine) merged with theirs, cell by cell (ClusterCell::beats).
    ClusterConfig merged(const ClusterConfig &theirs) const;

    // Compact JSON with keys sorted at every level.
    QByteArray toJson() const;

    struct Decoded;
    // Nothing when the body is no JSON object or a top-level key is missing or
    // of another type. A cell (or folder entry) that does not decode is
    // dropped on its own and reported through `complete`.
    static std::optional<Decoded> fromJson(const QByteArray &body);
};

struct ClusterConfig::Decoded
{
    ClusterConfig config;
    bool complete = true;
};

} // namespace tw

#pragma once

#include "app/SyncHealth.h"
#include "engine/model/DeviceConnection.h"

#include <QList>
#include <QPair>
#include <QString>
#include <optional>

namespace tw {

// What the Mac cards, folder chips and the two inspectors of a sync's page
// write, as plain functions of the values they show.
namespace SyncPageTexts {

inline const QString thisMac = QStringLiteral("This Mac");
inline const QString offline = QStringLiteral("Offline");
inline const QString paused = QStringLiteral("Paused");
inline const QString fastDirect = QStringLiteral("Fast (direct)");
inline const QString slowerRelay = QStringLiteral("Slower (relay)");
inline const QString slowerViaRelay = QStringLiteral("Slower (via relay)");
inline const QString onlinePrefix = QStringLiteral("Online \u00b7 ");
inline const QString downSeparator = QStringLiteral(" \u00b7 \u2193 ");
inline const QString noSize = QStringLiteral("\u2014");
inline const QString indexing = QStringLiteral("Indexing\u2026");
inline const QString onlyOnThisMac = QStringLiteral("Only on this Mac");
inline const QString offlineWaiting = QStringLiteral("Offline \u00b7 waiting to reconnect");
inline const QString pausedNotSyncing = QStringLiteral("Paused \u2014 not syncing with this Mac");

// The status line of a Mac card that is not paused.
QString deviceCardSubtitle(bool isThisMac, bool online, const std::optional<DeviceConnection> &conn);
// A folder chip's detail: the size part (none: "—"), then the health's part;
// `eta` in seconds, shown only while syncing.
QString folderChipDetail(const SyncHealth &health, std::optional<qint64> globalBytes, std::optional<double> eta);
// The folder inspector's header.
QString headerStatus(const SyncHealth &health, int peers);
// A per-Mac chip's and a Mac inspector's folder row's status. Another Mac's
// folder is offline because that Mac is: it reads "Offline", where this
// Mac's reads "Drive offline" (its path is missing here).
QString chipStatus(const SyncHealth &health, int peerCount, bool isThisMac);
// The Mac inspector's line under the name (not paused).
QString connLine(bool isThisMac, bool connected, const std::optional<DeviceConnection> &conn);
QString connectionTypeLabel(const DeviceConnection &conn);
// Label and value of each technical detail shown.
QList<QPair<QString, QString>> technicalDetailRows(const DeviceConnection &conn);
// A Mac inspector's folder row under the label: the size and the status.
QString folderRowDetail(qint64 globalBytes, const SyncHealth &health, int peerCount, bool isThisMac);

} // namespace SyncPageTexts
} // namespace tw

#include "app/texts/SyncPageTexts.h"

#include "controllers/FormatDuration.h"
#include "controllers/FormatFileSize.h"
#include "controllers/RateText.h"

#include <cmath>

namespace tw::SyncPageTexts {

namespace {

bool isRelay(const DeviceConnection &conn)
{
    return conn.connectionType.toLower().contains(QStringLiteral("relay"));
}

bool hasTraffic(const DeviceConnection &conn)
{
    return conn.inBytesPerSecond + conn.outBytesPerSecond > 1.0;
}

QString bothRates(const DeviceConnection &conn)
{
    return QStringLiteral("\u2193 ") + rateText(conn.inBytesPerSecond) + QStringLiteral(" \u2191 ")
        + rateText(conn.outBytesPerSecond);
}

// The whole part of p × 100, as the double gives it (0.29 reads 28).
long long truncatedPercent(double progress)
{
    return static_cast<long long>(std::trunc(progress * 100));
}

} // namespace

QString deviceCardSubtitle(bool isThisMac, bool online, const std::optional<DeviceConnection> &conn)
{
    if (isThisMac)
        return thisMac;
    if (!online)
        return offline;
    const QString kind = conn && isRelay(*conn) ? slowerRelay : fastDirect;
    if (conn && hasTraffic(*conn))
        return kind + downSeparator + rateText(conn->inBytesPerSecond);
    return onlinePrefix + kind;
}

QString folderChipDetail(const SyncHealth &health, std::optional<qint64> globalBytes, std::optional<double> eta)
{
    const QString size = globalBytes && *globalBytes >= 1 ? formatFileSize(*globalBytes) : noSize;
    switch (health.kind) {
    case SyncHealth::Kind::Stopped:
        return size;
    case SyncHealth::Kind::AllSynced:
        return size + QStringLiteral(" \u00b7 \u2713");
    case SyncHealth::Kind::Paused:
        return size + QStringLiteral(" \u00b7 paused");
    case SyncHealth::Kind::Offline:
        return size + QStringLiteral(" \u00b7 offline");
    case SyncHealth::Kind::Error:
        return size + QStringLiteral(" \u00b7 error");
    case SyncHealth::Kind::Waiting:
        return size + QStringLiteral(" \u00b7 waiting");
    case SyncHealth::Kind::Syncing:
        break;
    }
    QString text = size + QStringLiteral(" \u00b7 %1%").arg(truncatedPercent(health.progress));
    if (eta)
        text += QStringLiteral(" \u00b7 ") + formatDuration(*eta);
    return text;
}

QString headerStatus(const SyncHealth &health, int peers)
{
    switch (health.kind) {
    case SyncHealth::Kind::Syncing:
        return peers == 0 ? indexing : QStringLiteral("Syncing %1%").arg(std::llround(health.progress * 100));
    case SyncHealth::Kind::Stopped:
        return QStringLiteral("Stopped");
    case SyncHealth::Kind::AllSynced:
        return peers == 0 ? onlyOnThisMac : QStringLiteral("Up to date");
    case SyncHealth::Kind::Paused:
        return paused;
    case SyncHealth::Kind::Offline:
        return QStringLiteral("Drive offline");
    case SyncHealth::Kind::Error:
        return QStringLiteral("Error");
    case SyncHealth::Kind::Waiting:
        return QStringLiteral("Waiting");
    }
    return {};
}

QString chipStatus(const SyncHealth &health, int peerCount, bool isThisMac)
{
    if (!isThisMac && health.kind == SyncHealth::Kind::Offline)
        return offline;
    if (peerCount == 0 && health.kind == SyncHealth::Kind::Syncing)
        return indexing;
    if (peerCount == 0 && health.kind == SyncHealth::Kind::AllSynced)
        return onlyOnThisMac;
    // The sync page writes its percentages as the folder chips do, with no
    // space before the sign.
    if (health.kind == SyncHealth::Kind::Syncing)
        return QStringLiteral("Syncing \u2026 %1%").arg(std::llround(health.progress * 100));
    return health.label();
}

QString connLine(bool isThisMac, bool connected, const std::optional<DeviceConnection> &conn)
{
    if (isThisMac)
        return thisMac;
    if (!connected)
        return offlineWaiting;
    const QString kind = conn && isRelay(*conn) ? slowerViaRelay : fastDirect;
    if (conn && hasTraffic(*conn))
        return onlinePrefix + kind + QStringLiteral(" \u00b7 ") + bothRates(*conn);
    return onlinePrefix + kind;
}

QString connectionTypeLabel(const DeviceConnection &conn)
{
    const QString place = conn.isLocal ? QStringLiteral("LAN") : QStringLiteral("Internet");
    if (isRelay(conn))
        return QStringLiteral("Relay (") + place + QLatin1Char(')');
    const QString &type = conn.connectionType;
    const QString protocol = type.contains(QStringLiteral("quic"), Qt::CaseSensitive) ? QStringLiteral("QUIC")
        : type.contains(QStringLiteral("tcp"), Qt::CaseSensitive)                    ? QStringLiteral("TCP")
                                                                                     : type;
    return QStringLiteral("Direct ") + protocol + QStringLiteral(" (") + place + QLatin1Char(')');
}

QList<QPair<QString, QString>> technicalDetailRows(const DeviceConnection &conn)
{
    QList<QPair<QString, QString>> rows{{QStringLiteral("Address"), conn.address},
                                        {QStringLiteral("Connection"), connectionTypeLabel(conn)}};
    if (!conn.version.isEmpty())
        rows.append({QStringLiteral("Syncthing version"), conn.version});
    if (!conn.crypto.isEmpty())
        rows.append({QStringLiteral("Encryption"), conn.crypto});
    if (hasTraffic(conn))
        rows.append({QStringLiteral("Speed"), bothRates(conn)});
    return rows;
}

QString folderRowDetail(qint64 globalBytes, const SyncHealth &health, int peerCount, bool isThisMac)
{
    return formatFileSize(globalBytes) + QStringLiteral(" \u00b7 ") + chipStatus(health, peerCount, isThisMac);
}

} // namespace tw::SyncPageTexts

#include "app/texts/FeedbackDiagnostics.h"

#include "app/HealthRules.h"

#include <QStringList>
#include <QtGlobal>
#include <algorithm>
#include <pwd.h>
#include <unistd.h>

namespace tw {

FeedbackDiagnostics FeedbackDiagnostics::from(const HealthInputs &in, QString engineName, QDateTime now)
{
    FeedbackDiagnostics d;
    d.date = std::move(now);
    d.engineName = std::move(engineName);
    d.engineRunning = in.engineRunning;
    d.projects = in.projects.size();
    for (const Project &project : in.projects) {
        d.folders += project.folders.size();
        d.syncEnabledFolders += std::count_if(project.folders.cbegin(), project.folders.cend(),
                                              [](const ProjectFolder &folder) { return folder.syncEnabled; });
    }
    d.devices = in.devices.size();
    d.connectedDevices = std::count_if(in.connections.cbegin(), in.connections.cend(),
                                       [](const DeviceConnection &connection) { return connection.connected; });
    d.health = globalSyncHealth(in);
    return d;
}

QString FeedbackDiagnostics::text(const QLocale &locale) const
{
    const QString stamp = locale.toString(date.date(), QStringLiteral("d MMM yyyy")) + QLatin1Char(' ') +
                          locale.toString(date.time(), QLocale::ShortFormat);
    const QStringList lines = {
        QStringLiteral("=== TidewellMesh Diagnostics ==="),
        QStringLiteral("Date: ") + stamp,
        QStringLiteral("Engine: %1, running: %2").arg(engineName, engineRunning ? "true" : "false"),
        QStringLiteral("Projects: ") + QString::number(projects),
        QStringLiteral("Folders: %1 (%2 sync-enabled)").arg(QString::number(folders), QString::number(syncEnabledFolders)),
        QStringLiteral("Devices: %1 (%2 connected)").arg(QString::number(devices), QString::number(connectedDevices)),
        QStringLiteral("Sync health: ") + syncHealthDescription(health),
    };
    return lines.join(QLatin1Char('\n'));
}

QString syncHealthDescription(const SyncHealth &health)
{
    switch (health.kind) {
    case SyncHealth::Kind::Syncing:
        // The integer part, not the rounded value: 0.987 is still "98%".
        return QStringLiteral("syncing (%1%)").arg(QString::number(static_cast<qint64>(health.progress * 100)));
    case SyncHealth::Kind::Stopped:
        return QStringLiteral("stopped");
    case SyncHealth::Kind::AllSynced:
        return QStringLiteral("all synced");
    case SyncHealth::Kind::Paused:
        return QStringLiteral("paused");
    case SyncHealth::Kind::Offline:
        return QStringLiteral("offline");
    case SyncHealth::Kind::Error:
        return QStringLiteral("error");
    case SyncHealth::Kind::Waiting:
        return QStringLiteral("waiting for other Macs");
    }
    return {};
}

QString formatBytes(qint64 bytes)
{
    const double kilobytes = static_cast<double>(bytes) / 1024;
    if (kilobytes >= 1024)
        return QString::asprintf("%.1f MB", kilobytes / 1024);
    return QString::asprintf("%.0f KB", kilobytes);
}

QString accountShortName()
{
    const passwd *entry = getpwuid(getuid());
    return entry && entry->pw_name ? QString::fromLocal8Bit(entry->pw_name) : QString();
}

QString feedbackUserName(const QString &deviceName)
{
    if (!deviceName.isEmpty())
        return deviceName;
    const QString account = accountShortName();
    return account.isEmpty() ? qEnvironmentVariable("USER") : account;
}

} // namespace tw

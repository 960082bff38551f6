#include "app/ExclusionIssue.h"

#include <QHash>
#include <QSet>

namespace tw {

namespace {

// When two engine folders share an ID, the first one counts.
QHash<QString, const SyncFolder *> indexByID(const QList<SyncFolder> &folders)
{
    QHash<QString, const SyncFolder *> index;
    for (const SyncFolder &folder : folders) {
        if (!index.contains(folder.id))
            index.insert(folder.id, &folder);
    }
    return index;
}

QString deviceName(const QString &deviceID, const QList<SyncDevice> &devices)
{
    for (const SyncDevice &device : devices) {
        if (device.id == deviceID)
            return device.name;
    }
    return deviceID;
}

void appendIssues(const ProjectFolder &folder, const SyncFolder &engineFolder, const QList<SyncDevice> &devices,
                  QList<ExclusionIssue> &issues)
{
    QSet<QString> blocked(folder.excludedDeviceIDs.cbegin(), folder.excludedDeviceIDs.cend());
    blocked.unite(QSet<QString>(folder.pausedDeviceIDs.cbegin(), folder.pausedDeviceIDs.cend()));
    for (const QString &deviceID : engineFolder.sharedDeviceIDs) {
        if (blocked.remove(deviceID))
            issues.append({folder.label, deviceName(deviceID, devices), engineFolder.introducedDeviceIDs.contains(deviceID)});
    }
}

} // namespace

QList<ExclusionIssue> exclusionConvergenceIssues(const QList<Project> &projects,
                                                 const QList<SyncFolder> &engineFolders,
                                                 const QList<SyncDevice> &devices)
{
    const QHash<QString, const SyncFolder *> byID = indexByID(engineFolders);
    QList<ExclusionIssue> issues;
    for (const Project &project : projects) {
        for (const ProjectFolder &folder : project.folders) {
            if (folder.excludedDeviceIDs.isEmpty() && folder.pausedDeviceIDs.isEmpty())
                continue;
            const SyncFolder *engineFolder = folder.syncthingFolderID ? byID.value(*folder.syncthingFolderID) : nullptr;
            if (engineFolder)
                appendIssues(folder, *engineFolder, devices, issues);
        }
    }
    return issues;
}

} // namespace tw

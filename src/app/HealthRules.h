#pragma once

#include "app/HealthInputs.h"
#include "app/ProjectDeviceRef.h"
#include "app/SyncHealth.h"
#include "projects/Project.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace tw {

// Pure rules from live state to what the user reads at a glance. Nothing is
// cached: callers build fresh inputs whenever they need an answer.

// The core rule over engine folders: stopped, paused, error, syncing, then
// offline (when `offline`) or all synced.
SyncHealth health(const QStringList &folderIDs, bool offline, const HealthInputs &in);
// A sync on this Mac.
SyncHealth projectHealth(const Project &project, const HealthInputs &in);
// Everything on this Mac.
SyncHealth globalSyncHealth(const HealthInputs &in);
// Whether a folder of the sync (of any sync, for none) stands in error or on
// items the engine failed: no transfer is under way there, yet it is not up
// to date. False for a sync ID that no sync has, and while stopped or paused.
bool failingInScope(const HealthInputs &in, const std::optional<QString> &projectID = std::nullopt);
// One sync folder on this Mac.
SyncHealth folderHealth(const ProjectFolder &folder, const HealthInputs &in);
// One sync folder on the given Mac.
SyncHealth folderHealthOnDevice(const ProjectFolder &folder, const QString &deviceID, const HealthInputs &in);
// One Mac within a sync.
SyncHealth deviceHealth(const Project &project, const QString &deviceID, const HealthInputs &in);
// Another Mac's completion of a folder in percent from its own report, capped
// to 0..100; none when the report counts no bytes.
std::optional<double> reportedCompletion(const FolderDiagStatus &report);
// Another Mac's completion of a folder in percent: its own report first, the
// engine's completion events second, else 0.
double effectivePeerCompletion(const QString &folderID, const QString &deviceID, const HealthInputs &in);
// Whether a connected teammate is measurably behind on one of the folders.
bool teamCatchingUp(const QStringList &folderIDs, const HealthInputs &in);
bool projectTeamCatchingUp(const Project &project, const HealthInputs &in);
// This Mac, the members, then any other device the engine shares the folders
// with; each device once.
QList<ProjectDeviceRef> projectDevices(const Project &project, const HealthInputs &in);

} // namespace tw

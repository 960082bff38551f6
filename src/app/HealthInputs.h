#pragma once

#include "controllers/DeviceController.h"
#include "controllers/EventController.h"
#include "controllers/FolderController.h"
#include "controllers/PeerDiagController.h"
#include "engine/model/SyncDevice.h"
#include "engine/model/SyncFolder.h"
#include "projects/Project.h"

#include <QList>
#include <QMap>
#include <QSet>
#include <QString>

namespace tw {

// Everything the health rules read, as plain values. The environment fills it
// from its controllers when a view asks; the Qt containers are shared, not
// copied, so building one per call is cheap.
struct HealthInputs
{
    bool engineRunning = false;
    bool allPaused = false;
    QString deviceName = {};  // this Mac's name in the engine, empty when unknown
    QString localDeviceID = {};
    QList<SyncFolder> engineFolders = {};  // without the hidden team folder
    FolderStatusMap folderStatuses = {};
    QSet<QString> unreadStatuses = {};  // statuses known to be out of date
    DeviceConnectionMap connections = {};
    QList<SyncDevice> devices = {};
    CompletionMap completion = {};
    ParticipantMap participants = {};  // the other Macs that have taken each folder
    PeerDiagStatusMap peerReports = {};  // each Mac's own report over the LAN
    QList<Project> projects = {};
    QSet<QString> nodeDeviceIDs = {};       // registered always-on nodes
    QMap<QString, bool> volumeOnline = {};  // local path -> its volume is mounted
};

} // namespace tw

#pragma once

// A sync on the view-test rig as its page shows it: this Mac, a teammate
// ("Bob", paired and connected unless told), the always-on node, and
// folders each with an engine folder that holds some bytes.

#include "controllers/DeviceController.h"
#include "controllers/EngineController.h"
#include "controllers/FolderController.h"
#include "projects/ProjectController.h"

#include "AwaitTask.h"
#include <QDir>
#include "ViewTestEnv.h"

namespace tw {

class SyncPageRig : public ViewTestEnv
{
protected:
    static inline const QString kPeer = QStringLiteral("PEERBOB-AAAAAAA-BBBBBBB-CCCCCCC-DDDDDDD-EEEEEEE-FFFFFFF-GGGGGGG");
    static inline const QString kNode = QStringLiteral("NODEXXX-AAAAAAA-BBBBBBB-CCCCCCC-DDDDDDD-EEEEEEE-FFFFFFF-GGGGGGG");

    QString local() const { return engine.state.localDeviceID; }

    // The sync the next makeSync() makes and the views show.
    QString syncID = QStringLiteral("S");
    // The name the next makeSync() gives the node.
    QString nodeName = QStringLiteral("Attic");

    // Its path exists, so its volume counts as online.
    ProjectFolder folder(const QString &id, std::optional<QString> engineID) const
    {
        QDir(dir.path()).mkpath(id);
        ProjectFolder made{.id = id, .label = id, .localPath = dir.filePath(id)};
        made.syncthingFolderID = std::move(engineID);
        return made;
    }

    // The sync "S" with these folders; members this Mac (in `role`), Bob and
    // the node as asked. Each folder with an engine ID is listed, shared and
    // synced in the engine with 1.5 MB.
    Project makeSync(QList<ProjectFolder> folders, MemberRole role = MemberRole::Editor, bool withNode = false)
    {
        Project project{.id = syncID, .name = QStringLiteral("Studio")};
        project.members = {{.deviceID = local(), .displayName = QStringLiteral("Mine"), .role = role,
                            .isOwnDevice = true},
                           {.deviceID = kPeer, .displayName = QStringLiteral("Bob")}};
        if (withNode)
            project.members.append(
                {.deviceID = kNode, .displayName = nodeName, .isAlwaysOnNode = true});
        project.folders = std::move(folders);
        engine.state.running = true;
        engine.state.deviceName = QStringLiteral("Mine");
        for (const ProjectFolder &made : project.folders) {
            if (!made.syncthingFolderID)
                continue;
            SyncFolder listed{.id = *made.syncthingFolderID, .label = made.label, .path = made.localPath};
            listed.sharedDeviceIDs = {local(), kPeer};
            engine.state.folders.append(listed);
            engine.state.folderStatuses.insert(*made.syncthingFolderID,
                                               {.id = *made.syncthingFolderID, .state = FolderState::Idle,
                                                .globalBytes = 1'500'000});
        }
        engine.state.devices = {{.id = local(), .name = QStringLiteral("Mine"), .isThisDevice = true},
                                {.id = kPeer, .name = QStringLiteral("Bob")}};
        app().projects().add(project);
        return project;
    }

    static DeviceConnection link(const QString &id, QString type)
    {
        DeviceConnection conn;
        conn.id = id;
        conn.connected = true;
        conn.address = QStringLiteral("127.0.0.1:22001");
        conn.connectionType = std::move(type);
        return conn;
    }

    void connectPeer(QString type = QStringLiteral("tcp-client")) { engine.state.connections = {link(kPeer, type)}; }

    // The controllers take the engine's picture.
    void load()
    {
        awaitTask(app().engineState().refreshStatus());
        awaitTask(app().devices().refresh());
        awaitTask(app().folders().refresh());
    }
};

} // namespace tw

#include "app/AppEnvironment.h"

#include "engine/SyncEngine.h"
#include "projects/ProjectController.h"

namespace tw {

QCoro::Task<void> AppEnvironment::healStuckSendonly()
{
    // Every sync folder is two-way; send-only is only ever a purge's
    // temporary state, and a purge cut short leaves it behind.
    QStringList folderIDs;
    for (const Project &project : m_projects->projects())
        for (const ProjectFolder &folder : project.folders)
            if (folder.syncthingFolderID && !m_purgeInFlightFolders.contains(*folder.syncthingFolderID))
                folderIDs.append(*folder.syncthingFolderID);
    for (const QString &id : folderIDs) {
        try {
            const QString mode = co_await m_engine.folderType(id);
            QString twoWay = QStringLiteral("sendreceive");
            if (mode == QLatin1String("sendonly"))
                co_await m_engine.setFolderType(id, std::move(twoWay));
        } catch (...) {
        }
    }
}

QCoro::Task<DiagServer::PurgeAnswer> AppEnvironment::executeIncomingPurge(QString, QByteArray)
{
    co_return DiagServer::PurgeAnswer{QStringLiteral("503 Service Unavailable"), QByteArrayLiteral("{\"ok\":false}")};
}

} // namespace tw

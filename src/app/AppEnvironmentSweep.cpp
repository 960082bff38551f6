#include "app/AppEnvironment.h"

#include "app/VolumeState.h"
#include "controllers/EngineController.h"
#include "controllers/DirectoryTimeKeeper.h"
#include "controllers/EventController.h"
#include "controllers/FolderController.h"
#include "engine/SyncEngine.h"
#include "platform/HeapTrim.h"
#include "platform/MountWatcher.h"
#include "projects/ProjectController.h"
#include "utilities/AssignIfChanged.h"

#include <QDir>
#include <utility>
#include <QtConcurrent/QtConcurrentRun>
#include <qcoro/qcorofuture.h>

namespace tw {
namespace {

QSet<QString> localPaths(const QList<Project> &projects)
{
    QSet<QString> paths;
    for (const Project &project : projects)
        for (const ProjectFolder &folder : project.folders)
            paths.insert(folder.localPath);
    return paths;
}

// Paths probed both times whose presence differs; a path that only joined or
// left the syncs meanwhile is the change of paths' own business.
QSet<QString> presenceChanged(const QMap<QString, bool> &before, const QMap<QString, bool> &after)
{
    QSet<QString> changed;
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        const auto was = before.constFind(it.key());
        if (was != before.cend() && *was != *it)
            changed.insert(it.key());
    }
    return changed;
}

QStringList engineFolderIDsAt(const QList<Project> &projects, const QSet<QString> &paths)
{
    QStringList ids;
    for (const Project &project : projects)
        for (const ProjectFolder &folder : project.folders)
            if (folder.syncthingFolderID && paths.contains(folder.localPath)
                && !ids.contains(*folder.syncthingFolderID))
                ids.append(*folder.syncthingFolderID);
    return ids;
}

} // namespace

void AppEnvironment::startSweep()
{
    step("startSweep");
    sweepLoop(QPointer<AppEnvironment>(this), ++m_sweepGeneration, m_services.sleeper);
}

// A replaced or stopped sweep ends before its next cycle.
QCoro::Task<void> AppEnvironment::sweepLoop(QPointer<AppEnvironment> self, quint64 generation, Sleeper sleeper)
{
    try {
        while (true) {
            try {
                co_await sleeper(sweepPause);
            } catch (...) {
                // A cut-short wait only brings the cycle forward.
            }
            if (!self || self->m_sweepGeneration != generation)
                co_return;
            co_await self->sweepCycle();
        }
    } catch (...) {
        // Each step keeps its failures in its controller; the process must
        // not go down for one that slips through.
    }
}

QCoro::Task<void> AppEnvironment::sweepCycle()
{
    step("sweep");
    if (!m_engineState->status().isRunning)
        co_return;
    // While everything is paused nothing is scanned, but the pass still
    // runs: it pauses whatever it finds running against the choice.
    if (m_engineState->isAllPaused()) {
        if (m_projects->hasWork())
            co_await m_projects->reconcileAll();
        co_return;
    }
    const QPointer<AppEnvironment> self(this);
    // One request scans them all (a folder that cannot be scanned does not
    // stop the others); one per folder cost 25 requests a minute at 50
    // folders, for nothing a single one does not do.
    if (!m_folders->folders().isEmpty()) {
        try {
            co_await m_engine.scanAllFolders();
        } catch (...) {
        }
        if (!self)
            co_return;
    }
    // While events are followed the statuses are kept by them, and the scans
    // just asked for report through them too; the light reload reads only
    // what they leave open, or everything when the live state's own backstop
    // is due, instead of every folder's status every sweep.
    co_await m_folders->syncFolderList();
    if (!self)
        co_return;
    reconcileDirectoryMtimes();
    if (m_projects->hasWork())
        co_await m_projects->reconcileAll();
    // Free space shrinks and grows with what is written, not only when
    // drives come and go.
    if (!self)
        co_return;
    co_await refreshVolumeStatus();
    HeapTrim::request();
}

// Every directory of every folder is decided again, off this thread; a
// folder whose drive did not answer is left alone.
void AppEnvironment::reconcileDirectoryMtimes()
{
    step("reconcileDirectoryMtimes");
    QStringList ids;
    for (const SyncFolder &folder : m_folders->folders())
        if (folderOnline(folder.path))
            ids.append(folder.id);
    m_directoryTimes->sweep(ids);
}

bool AppEnvironment::folderOnline(const QString &path) const
{
    const QString clean = QDir::cleanPath(path);
    for (auto it = m_volumeOnline.cbegin(); it != m_volumeOnline.cend(); ++it)
        if (QDir::cleanPath(it.key()) == clean)
            return *it;
    return false;
}

QCoro::Task<void> AppEnvironment::refreshVolumeStatus()
{
    step("refreshVolumeStatus");
    m_probedPaths = localPaths(m_projects->projects());
    const quint64 probe = ++m_volumeProbesStarted;
    const QStringList paths(m_probedPaths.cbegin(), m_probedPaths.cend());
    QHash<QString, PathPresence> answers;
    if (!paths.isEmpty()) {
        const QPointer<AppEnvironment> self(this);
        answers = co_await m_pathLookUps->ask(paths);
        if (!self)
            co_return;
    }
    if (probe < m_volumeProbeAssigned)
        co_return;
    m_volumeProbeAssigned = probe;
    VolumeState state = VolumeState::of(paths, answers);
    assignIfChanged(m_volumeOnline, std::move(state.online), this, &AppEnvironment::volumeOnlineChanged);
    assignIfChanged(m_volumeFreeBytes, std::move(state.freeBytes), this, &AppEnvironment::volumeFreeBytesChanged);
}

// A folder shown offline because its look-up hung (a network mount that
// stopped answering) shows what the disk says once it does.
void AppEnvironment::noteLateAnswer(const QString &path, const PathPresence &presence)
{
    if (!m_probedPaths.contains(path))
        return;
    insertIfChanged(m_volumeOnline, path, presence.exists, this, &AppEnvironment::volumeOnlineChanged);
    if (presence.freeBytes)
        insertIfChanged(m_volumeFreeBytes, path, *presence.freeBytes, this, &AppEnvironment::volumeFreeBytesChanged);
    else if (m_volumeFreeBytes.remove(path) > 0)
        emit volumeFreeBytesChanged();
}

// A burst of changes costs one probe more at most.
void AppEnvironment::noteProjectsChanged()
{
    if (localPaths(m_projects->projects()) == m_probedPaths)
        return;
    if (m_volumeRefreshBusy) {
        m_volumeRefreshAgain = true;
        return;
    }
    m_volumeRefreshBusy = true;
    refreshVolumesCoalesced(QPointer<AppEnvironment>(this));
}

QCoro::Task<void> AppEnvironment::refreshVolumesCoalesced(QPointer<AppEnvironment> self)
{
    try {
        do {
            self->m_volumeRefreshAgain = false;
            co_await self->refreshVolumeStatus();
        } while (self && self->m_volumeRefreshAgain);
    } catch (...) {
        // Never fatal, and the next change of paths must probe again.
    }
    if (self)
        self->m_volumeRefreshBusy = false;
}

void AppEnvironment::startVolumeMonitoring()
{
    step("startVolumeMonitoring");
    disconnect(m_mountConnection);
    MountEventSource *source = m_services.mountEvents;
    if (!source) {
        if (!m_mountWatcher)
            m_mountWatcher = std::make_unique<MountWatcher>();
        source = m_mountWatcher.get();
    }
    m_mountConnection = connect(source, &MountEventSource::mountsChanged, this, &AppEnvironment::noteMountChange);
}

// The mount table changes with every container, snap and desktop mount, not
// only with drives; a pass that starts after a change reads the state it left,
// so the changes that came in while one ran cost one more pass, not one each.
void AppEnvironment::noteMountChange()
{
    ++m_mountChangesWaiting;
    if (m_mountHandlerBusy)
        return;
    m_mountHandlerBusy = true;
    handleMountChanges(QPointer<AppEnvironment>(this));
}

QCoro::Task<void> AppEnvironment::handleMountChanges(QPointer<AppEnvironment> self)
{
    try {
        while (self && self->m_mountChangesWaiting > 0) {
            self->m_mountChangesWaiting = 0;
            co_await self->handleMountChange();
        }
    } catch (...) {
        // As in the sweep: kept in the controllers, never fatal.
    }
    if (self)
        self->m_mountHandlerBusy = false;
}

// Only a sync folder that came or went concerns the engine: its status is
// read, and the syncs are reconciled (a folder back may need its engine
// folder made). Nothing else is read again.
QCoro::Task<void> AppEnvironment::handleMountChange()
{
    step("mountsChanged");
    emit iconCacheStale();
    const QPointer<AppEnvironment> self(this);
    const QMap<QString, bool> before = m_volumeOnline;
    co_await refreshVolumeStatus();
    if (!self || !m_engineState->status().isRunning)
        co_return;
    const QSet<QString> moved = presenceChanged(before, m_volumeOnline);
    if (moved.isEmpty())
        co_return;
    co_await m_folders->refreshStatusesOf(engineFolderIDsAt(m_projects->projects(), moved));
    if (self && !m_projects->projects().isEmpty())
        co_await m_projects->reconcileAll();
}

void AppEnvironment::stopMaintenance()
{
    ++m_sweepGeneration;
    disconnect(m_mountConnection);
    m_mountChangesWaiting = 0;
}

} // namespace tw

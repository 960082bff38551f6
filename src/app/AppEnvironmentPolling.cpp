#include "app/AppEnvironment.h"

#include "app/AppPreferences.h"
#include "controllers/DeviceController.h"
#include "controllers/EngineController.h"
#include "controllers/EventController.h"
#include "controllers/FolderController.h"
#include "creationdates/CreationDateController.h"
#include "engine/ScanQuietly.h"
#include "engine/SyncEngine.h"
#include "projects/ProjectController.h"

#include <QtGlobal>
#include <algorithm>
#include <exception>

namespace tw {

void AppEnvironment::startPolling()
{
    if (m_quitting)
        return;
    ++m_pollGeneration;
    pollLoop(QPointer<AppEnvironment>(this), m_pollGeneration, m_services.sleeper);
    startSweep();
    startVolumeMonitoring();
}

void AppEnvironment::stopLoops()
{
    ++m_pollGeneration;
    stopMaintenance();
}

void AppEnvironment::beginQuit()
{
    m_quitting = true;
    stopLoops();
    // The event long poll too: nothing may ask the engine while it stops.
    m_events->stop();
}

QCoro::Task<void> AppEnvironment::pollLoop(QPointer<AppEnvironment> self, quint64 generation, Sleeper sleeper)
{
    // A replaced loop ends before its next cycle, so two cycles never run at
    // once; the pause is measured from the end of the previous cycle.
    while (true) {
        try {
            co_await sleeper(cyclePause);
        } catch (...) {
            // A cut-short pause only brings the cycle forward.
        }
        if (!self || self->m_pollGeneration != generation)
            co_return;
        // The steps keep their failures in their controllers. One that slips
        // through costs the rest of its cycle, never the loop: without it the
        // window would show a frozen state for the rest of the session.
        try {
            co_await self->pollCycle();
        } catch (const std::exception &error) {
            qWarning("Polling cycle failed: %s", error.what());
        } catch (...) {
            qWarning("Polling cycle failed");
        }
    }
}

QCoro::Task<void> AppEnvironment::pollCycle()
{
    co_await m_engineState->refreshStatus();
    if (!m_engineState->status().isRunning) {
        co_await runWatchdog();
        co_return;
    }
    setWatchdog(0, std::nullopt);
    // The byte totals come with the connections: both are read at the
    // device controller's pace (every cycle only while a transfer is
    // possible), and one answer serves both asks of a cycle.
    if (m_devices->connectionsDue())
        co_await m_engineState->sampleThroughput();
    BandwidthSchedule schedule = m_preferences->bandwidthSchedule();
    QDateTime now = m_services.clock();
    co_await m_engineState->applyBandwidthSchedule(std::move(schedule), std::move(now));
    co_await m_folders->syncFolderList();
    co_await m_devices->refresh();
    if (m_preferences->lanDiagnostics())
        co_await readPeers();
    co_await refreshPeerCompletion();
    if (m_preferences->clusterSyncEnabled() && m_teamRecordDue) {
        step("syncCluster");
        co_await syncCluster();
    }
    co_await sampleTransfers();
    if (m_pendingDue) {
        m_pendingDue = false;
        co_await m_projects->refreshPending();
    }
    co_await evaluateNotifications();
    m_creationDates->watch(syncedFolderPaths());
}

QCoro::Task<void> AppEnvironment::runWatchdog()
{
    if (!m_engineState->binaryAvailable())
        co_return;
    const std::chrono::milliseconds now = m_services.monotonic();
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::duration<double>(m_watchdogBackoff));
    if (m_lastWatchdogAttempt && now - *m_lastWatchdogAttempt < wait)
        co_return;
    const double next = m_watchdogBackoff == 0 ? firstRestartWait
                                               : std::min(m_watchdogBackoff * restartWaitGrowth, restartWaitCap);
    // A cycle that began before the quit must not start the engine being stopped.
    if (m_quitting)
        co_return;
    setWatchdog(next, now);
    step("restartEngine");
    co_await m_engineState->start();
    if (!m_engineState->status().isRunning)
        co_return;
    setWatchdog(0, std::nullopt);
    co_await m_devices->refresh();
    // An engine that ended during a pass (the start-up one included) has
    // folders still to make or to bring in line: at once, not at the sweep.
    m_projects->recheckIgnoreLines();
    if (m_projects->hasWork())
        co_await m_projects->reconcileAll();
    co_await m_folders->syncFolderList();
    co_await onEngineUp();
}

void AppEnvironment::setWatchdog(double backoff, std::optional<std::chrono::milliseconds> attempt)
{
    if (m_watchdogBackoff == backoff && m_lastWatchdogAttempt == attempt)
        return;
    m_watchdogBackoff = backoff;
    m_lastWatchdogAttempt = attempt;
    emit watchdogChanged();
}

// A creation date written to a file is a change of it that the engine's own
// watcher indexes only after its delay; a teammate's edit of the file arriving
// in between would find it unindexed, take it for a concurrent edit and keep
// the file twice. The engine is asked to index it now. Dates written while a
// scan runs may have come after that scan read the file: they cost one more.
void AppEnvironment::noteDatesWritten(const QString &folderPath)
{
    for (const Project &project : m_projects->projects())
        for (const ProjectFolder &folder : project.folders)
            if (folder.localPath == folderPath && folder.syncthingFolderID
                && !m_datedFolders.contains(*folder.syncthingFolderID))
                m_datedFolders.append(*folder.syncthingFolderID);
    if (m_datedScanBusy || m_datedFolders.isEmpty())
        return;
    m_datedScanBusy = true;
    scanDatedFolders(QPointer<AppEnvironment>(this));
}

QCoro::Task<void> AppEnvironment::scanDatedFolders(QPointer<AppEnvironment> self)
{
    while (self && !self->m_quitting && !self->m_datedFolders.isEmpty()) {
        const QString folderID = self->m_datedFolders.takeFirst();
        // The engine's own watcher indexes the change later if this fails.
        co_await scanQuietly(&self->m_engine, folderID);
    }
    if (self)
        self->m_datedScanBusy = false;
}

} // namespace tw

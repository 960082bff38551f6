#include "controllers/FolderController.h"

#include "controllers/CurrentErrorText.h"
#include "engine/PlatformError.h"
#include "engine/SyncEngine.h"
#include "utilities/AssignIfChanged.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>
#include <qcoro/qcorofuture.h>
#include <exception>

namespace tw {
namespace {

QList<SyncFolder> withoutHidden(QList<SyncFolder> folders)
{
    folders.removeIf([](const SyncFolder &folder) { return FolderController::isHidden(folder.id); });
    return folders;
}

// Removes the archive at `location`. A symbolic link in its place is removed
// itself: following it would empty whatever directory it points to.
void removeArchive(const QString &location)
{
    const QFileInfo info(location);
    if (info.isSymLink() || !info.isDir())
        QFile::remove(location);
    else
        QDir(location).removeRecursively();
}

} // namespace

FolderController::FolderController(SyncEngine &engine, Clock clock, QObject *parent)
    : QObject(parent), m_engine(engine), m_clock(std::move(clock))
{
}

bool FolderController::isHidden(const QString &folderID)
{
    return folderID.startsWith(hiddenFolderPrefix, Qt::CaseSensitive);
}

FolderStatus FolderController::status(const QString &folderID) const
{
    auto it = m_statuses.constFind(folderID);
    if (it != m_statuses.constEnd())
        return *it;
    FolderStatus unknown;
    unknown.id = folderID;
    unknown.state = FolderState::Unknown;
    return unknown;
}

QCoro::Task<void> FolderController::refresh()
{
    setLoading(true);
    try {
        setListedFolders(co_await m_engine.folders());
    } catch (...) {
        setLastErrorMessage(currentErrorText());
        setLoading(false);
        co_return;
    }
    co_await refreshStatuses();
    setLoading(false);
}

QCoro::Task<void> FolderController::syncFolderList()
{
    if (m_followsEvents && !fullReadDue())
        co_await eventDrivenReload();
    else
        co_await fullReload();
}

bool FolderController::fullReadDue() const
{
    const qint64 interval = std::max<qint64>(std::chrono::seconds(fullReadInterval).count(),
                                             m_folders.size() * perFolderReadInterval.count());
    return m_fullReadDue || !m_lastFullRead || m_lastFullRead->secsTo(m_clock()) >= interval;
}

QCoro::Task<void> FolderController::fullReload()
{
    if (m_followsEvents) {
        // Cleared before the reads: an event that arrives meanwhile opens
        // again what it needs.
        m_fullReadDue = false;
        m_listStale = false;
        m_statusReading.unite(m_statusOpen);
        m_statusOpen.clear();
        m_awaitingIdle.clear();
        m_lastFullRead = m_clock();
    }
    try {
        setListedFolders(co_await m_engine.folders());
    } catch (...) {
        // The polling loop tries again in two seconds; the statuses of the
        // folders already known are still refreshed.
        m_fullReadDue = true;
    }
    // Following events, the cluster needs come from the completions read
    // right after: the engine's own would read each of them a second time.
    co_await refreshStatusParts(!m_followsEvents);
    m_statusReading.clear();
    if (m_followsEvents)
        emit fullReadFinished();
}

// Summaries and state changes arrive as events; what they leave open is a
// folder without a status, one just paused, one back to idle after a resume,
// and one entering or leaving an error (Syncthing sends no summary for those).
QCoro::Task<void> FolderController::eventDrivenReload()
{
    if (m_listStale) {
        m_listStale = false;
        try {
            setListedFolders(co_await m_engine.folders());
        } catch (...) {
            m_listStale = true;
        }
    }
    QStringList open;
    for (const SyncFolder &folder : std::as_const(m_folders)) {
        const bool opened = m_statusOpen.remove(folder.id);
        if (opened)
            m_statusReading.insert(folder.id);
        if (opened || !m_statuses.contains(folder.id))
            open.append(folder.id);
    }
    co_await readStatuses(open);
    // Until the read has landed, the status held is still the one from before.
    m_statusReading.subtract(QSet<QString>(open.cbegin(), open.cend()));
    // Syncthing names the items it failed only on request; asked again when
    // their number changes.
    if (itemErrorCounts() != m_itemErrorCounts)
        co_await readItemErrors();
    folderErrorsFromStatuses();
    co_await refreshTransferring();
}

QCoro::Task<void> FolderController::refreshStatuses()
{
    // Following events, the cluster needs are worked out from the completions
    // held; the engine's own would read every completion again.
    co_await refreshStatusParts(!m_followsEvents);
}

QCoro::Task<void> FolderController::refreshStatusesOf(QStringList folderIDs)
{
    folderIDs.removeIf([this](const QString &id) { return !isListed(id); });
    if (folderIDs.isEmpty())
        co_return;
    co_await readStatuses(folderIDs);
    if (m_followsEvents)
        folderErrorsFromStatuses();
    else
        co_await refreshFolderErrors();
}

QCoro::Task<void> FolderController::refreshStatusParts(bool readClusterNeeds)
{
    QStringList ids;
    for (const SyncFolder &folder : std::as_const(m_folders))
        ids.append(folder.id);
    co_await readStatuses(ids);

    co_await refreshFolderErrors();

    if (readClusterNeeds) {
        try {
            setClusterNeeds(co_await m_engine.clusterNeeds());
        } catch (...) {
            setClusterNeeds({});
        }
    }

    co_await refreshTransferring();
}

QCoro::Task<void> FolderController::readStatuses(QStringList folderIDs)
{
    FolderStatusMap read;
    QMap<QString, quint64> askedAt;
    for (const QString &id : std::as_const(folderIDs)) {
        askedAt.insert(id, m_eventSerial);
        try {
            read.insert(id, co_await m_engine.folderStatus(id));
        } catch (...) {
            // The previous status, if any, stays until the next pass.
            if (m_followsEvents)
                m_statusOpen.insert(id);
        }
    }
    FolderStatusMap statuses = m_statuses;
    for (auto it = read.cbegin(); it != read.cend(); ++it) {
        if (m_touchedAt.value(it.key()) <= askedAt.value(it.key()))
            statuses.insert(it.key(), *it);
    }
    statuses.removeIf([this](auto it) { return !isListed(it.key()); });
    setStatuses(std::move(statuses));
}

void FolderController::followEvents()
{
    m_followsEvents = true;
}

void FolderController::touch(const QString &folderID)
{
    m_touchedAt.insert(folderID, ++m_eventSerial);
}

void FolderController::applySummary(const FolderStatus &status)
{
    if (!isListed(status.id))
        return;
    touch(status.id);
    m_statusOpen.remove(status.id);
    FolderStatusMap statuses = m_statuses;
    statuses.insert(status.id, status);
    setStatuses(std::move(statuses));
    folderErrorsFromStatuses();
}

void FolderController::notePeerIndexMoved(const QString &folderID)
{
    const auto stored = m_statuses.constFind(folderID);
    if (stored != m_statuses.cend() && stored->globalBytes == 0)
        m_statusOpen.insert(folderID);
}

void FolderController::applyState(const QString &folderID, FolderState from, FolderState to, const QString &toWord)
{
    if (!isListed(folderID))
        return;
    if (from == FolderState::Error || to == FolderState::Error)
        m_statusOpen.insert(folderID);
    if (to == FolderState::Idle && m_awaitingIdle.remove(folderID))
        m_statusOpen.insert(folderID);
    const auto stored = m_statuses.constFind(folderID);
    if (stored == m_statuses.constEnd())
        return;
    // What a scan found is counted only by the summary after it: a folder
    // counted empty reads as scanning until it is read again, so that
    // nobody, here or in this Mac's report, takes "idle" beside the count
    // from before the scan.
    if (from == FolderState::Scanning && to == FolderState::Idle && stored->globalBytes == 0) {
        m_statusOpen.insert(folderID);
        return;
    }
    touch(folderID);
    FolderStatusMap statuses = m_statuses;
    statuses[folderID].state = to;
    statuses[folderID].stateWord = toWord;
    setStatuses(std::move(statuses));
}

void FolderController::applyPaused(const QString &folderID, bool paused)
{
    if (paused)
        m_statusOpen.insert(folderID);
    else
        m_awaitingIdle.insert(folderID);
}

void FolderController::noteConfigSaved()
{
    m_listStale = true;
}

void FolderController::noteStreamGap()
{
    m_fullReadDue = true;
}

void FolderController::applyClusterNeeds(ClusterNeedMap needs)
{
    setClusterNeeds(std::move(needs));
}

// While events are followed, each status carries its folder's error text:
// no extra reads of every folder's status. The items a running folder failed
// keep the text last read for them.
void FolderController::folderErrorsFromStatuses()
{
    FolderTextMap errors;
    bool anyErrors = false;
    for (const FolderStatus &status : std::as_const(m_statuses)) {
        anyErrors |= status.hasErrors();
        if (!status.error.isEmpty())
            errors.insert(status.id, status.error);
        else if (status.errorCount > 0 && m_itemErrors.contains(status.id))
            errors.insert(status.id, m_itemErrors.value(status.id));
    }
    setFolderErrors(anyErrors ? errors : FolderTextMap());
}

QMap<QString, qint64> FolderController::itemErrorCounts() const
{
    QMap<QString, qint64> counts;
    for (const FolderStatus &status : std::as_const(m_statuses))
        if (status.state != FolderState::Error && status.errorCount > 0)
            counts.insert(status.id, status.errorCount);
    return counts;
}

QCoro::Task<FolderTextMap> FolderController::readEngineErrors()
{
    FolderTextMap errors;
    try {
        errors = co_await m_engine.recentFolderErrors();
    } catch (...) {
        // Documented never to fail; an engine that does shows no texts.
    }
    errors.removeIf([this](auto it) { return !isListed(it.key()); });
    co_return errors;
}

void FolderController::keepItemErrors(const QMap<QString, qint64> &counts, FolderTextMap errors)
{
    m_itemErrorCounts = counts;
    errors.removeIf([&counts](auto it) { return !counts.contains(it.key()); });
    m_itemErrors = std::move(errors);
}

QCoro::Task<void> FolderController::readItemErrors()
{
    const QMap<QString, qint64> counts = itemErrorCounts();
    FolderTextMap errors;
    if (!counts.isEmpty())
        errors = co_await readEngineErrors();
    keepItemErrors(counts, std::move(errors));
}

QCoro::Task<void> FolderController::refreshFolderErrors()
{
    const bool anyErrors = std::any_of(m_statuses.cbegin(), m_statuses.cend(),
                                       [](const FolderStatus &status) { return status.hasErrors(); });
    if (!anyErrors) {
        keepItemErrors({}, {});
        setFolderErrors({});
        co_return;
    }
    const QMap<QString, qint64> counts = itemErrorCounts();
    FolderTextMap errors = co_await readEngineErrors();
    keepItemErrors(counts, errors);
    setFolderErrors(std::move(errors));
}

QCoro::Task<void> FolderController::refreshTransferring()
{
    FolderTextMap transferring;
    const QList<SyncFolder> listed = m_folders;
    for (const SyncFolder &folder : listed) {
        auto status = m_statuses.constFind(folder.id);
        if (status == m_statuses.constEnd() || status->state != FolderState::Syncing)
            continue;
        try {
            if (std::optional<QString> name = co_await m_engine.currentTransferName(folder.id))
                transferring.insert(folder.id, *name);
        } catch (...) {
            // No name for this folder on this pass.
        }
    }
    assignIfChanged(m_transferring, std::move(transferring), this, &FolderController::transferringChanged);
}

QCoro::Task<void> FolderController::emptyArchive(QString folderID)
{
    auto folder = std::find_if(m_folders.cbegin(), m_folders.cend(),
                               [&folderID](const SyncFolder &candidate) { return candidate.id == folderID; });
    if (folder == m_folders.cend())
        co_return;
    // A folder without an absolute path would resolve against the working
    // directory: that archive is not this folder's.
    if (!QDir::isAbsolutePath(folder->path))
        co_return;
    const QString location = QDir(folder->path).filePath(QStringLiteral(".stversions"));
    co_await QtConcurrent::run(removeArchive, location);
}

QCoro::Task<void> FolderController::restoreArchived(QString folderID, QString path, QString versionTime)
{
    std::function<QCoro::Task<void>()> restore = [this, folderID, path, versionTime] {
        return m_engine.restoreArchived(folderID, path, versionTime);
    };
    co_await runRetracting(QStringLiteral("restore:") + folderID, std::move(restore));
}

QCoro::Task<void> FolderController::restoreArchivedBatch(QString folderID, QMap<QString, QString> mapping)
{
    std::function<QCoro::Task<void>()> restore = [this, folderID, mapping] {
        return m_engine.restoreArchivedBatch(folderID, mapping);
    };
    co_await runRetracting(QStringLiteral("restore:") + folderID, std::move(restore));
}

QCoro::Task<bool> FolderController::runRetracting(QString operation, std::function<QCoro::Task<void>()> run)
{
    // The failure told before this run began: this one's success takes it
    // back. One that ends meanwhile stays for a success of its own.
    const auto found = m_operationFailures.constFind(operation);
    const std::optional<int> earlier =
        found == m_operationFailures.cend() ? std::nullopt : std::optional<int>(found.value());
    // The controller may go while the run is under way (a quit).
    const QPointer<FolderController> self(this);
    std::exception_ptr failure;
    try {
        co_await run();
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        co_return false;
    if (failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception &error) {
            m_operationFailures.insert(operation, setError(error));
        } catch (...) {
        }
        co_return false;
    }
    if (!earlier)
        co_return true;
    withdrawError(*earlier);
    if (m_operationFailures.value(operation) == *earlier)
        m_operationFailures.remove(operation);
    co_return true;
}

int FolderController::setError(const std::exception &error)
{
    ++m_operationErrors;
    const QString message = describeError(error);
    m_operationErrorText = message;
    const bool repeated = m_lastErrorMessage == message;
    setLastErrorMessage(message);
    // The same words again are still a new failure for whoever shows them.
    if (repeated)
        emit lastErrorMessageChanged();
    return m_operationErrors;
}

void FolderController::withdrawError(int failure)
{
    if (failure == m_operationErrors && m_lastErrorMessage == m_operationErrorText)
        setLastErrorMessage(std::nullopt);
}

bool FolderController::isListed(const QString &folderID) const
{
    return std::any_of(m_folders.cbegin(), m_folders.cend(),
                       [&folderID](const SyncFolder &folder) { return folder.id == folderID; });
}

void FolderController::setListedFolders(QList<SyncFolder> folders)
{
    m_engineFolders = folders;
    setFolders(withoutHidden(std::move(folders)));
}

void FolderController::setStatuses(FolderStatusMap statuses)
{
    assignIfChanged(m_statuses, std::move(statuses), this, &FolderController::statusesChanged);
}

void FolderController::setFolders(QList<SyncFolder> folders)
{
    assignIfChanged(m_folders, std::move(folders), this, &FolderController::foldersChanged);
}

void FolderController::setClusterNeeds(ClusterNeedMap needs)
{
    assignIfChanged(m_clusterNeeds, std::move(needs), this, &FolderController::clusterNeedsChanged);
}

void FolderController::setFolderErrors(FolderTextMap errors)
{
    assignIfChanged(m_folderErrors, std::move(errors), this, &FolderController::folderErrorsChanged);
}

void FolderController::setLastErrorMessage(std::optional<QString> message)
{
    assignIfChanged(m_lastErrorMessage, std::move(message), this, &FolderController::lastErrorMessageChanged);
}

void FolderController::setLoading(bool loading)
{
    assignIfChanged(m_isLoading, loading, this, &FolderController::isLoadingChanged);
}

} // namespace tw

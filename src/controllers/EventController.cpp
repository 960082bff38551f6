#include "controllers/EventController.h"

#include "controllers/DirectoryTimes.h"
#include "creationdates/FolderItem.h"
#include "engine/SyncEngine.h"
#include "utilities/AssignIfChanged.h"

#include <QDir>
#include <QtConcurrent/QtConcurrentRun>
#include <qcoro/qcorofuture.h>

namespace tw {
namespace {

const QString folderCompletionEvent = QStringLiteral("FolderCompletion");
const QString itemFinishedEvent = QStringLiteral("ItemFinished");
const QString deviceConnectedEvent = QStringLiteral("DeviceConnected");
const QString deviceDisconnectedEvent = QStringLiteral("DeviceDisconnected");
const QString pendingDevicesEvent = QStringLiteral("PendingDevicesChanged");
const QString pendingFoldersEvent = QStringLiteral("PendingFoldersChanged");
const QString folderSummaryEvent = QStringLiteral("FolderSummary");
const QString stateChangedEvent = QStringLiteral("StateChanged");
const QString folderPausedEvent = QStringLiteral("FolderPaused");
const QString folderResumedEvent = QStringLiteral("FolderResumed");
const QString configSavedEvent = QStringLiteral("ConfigSaved");
const QString devicePausedEvent = QStringLiteral("DevicePaused");
const QString deviceResumedEvent = QStringLiteral("DeviceResumed");
const QString downloadProgressEvent = QStringLiteral("DownloadProgress");
const QString remoteDownloadProgressEvent = QStringLiteral("RemoteDownloadProgress");
const QString remoteIndexUpdatedEvent = QStringLiteral("RemoteIndexUpdated");
const QString localChangeEvent = QStringLiteral("LocalChangeDetected");

QString parentOf(const QString &item)
{
    const qsizetype slash = item.lastIndexOf(QLatin1Char('/'));
    return slash > 0 ? item.left(slash) : QString();
}

QList<DirectoryTimes::Entry> recordedTimes(const QHash<QString, qint64> &recorded, const QSet<QString> &paths)
{
    QList<DirectoryTimes::Entry> entries;
    for (const QString &path : paths) {
        const auto time = recorded.constFind(path);
        if (time != recorded.cend())
            entries.append(DirectoryTimes::Entry{path, *time});
    }
    return entries;
}

// A directory that carries no time yet stays due: until its maker's time
// comes, a change reported here is the pull's, never one to stamp.
QStringList carryTimes(const QString &root, const QStringList &paths)
{
    DirectoryTimes::carry(root, paths);
    return DirectoryTimes::settled(root, paths);
}

} // namespace

// One folder's stamps: what a pull took away from this computer's stamps,
// what a local change moved, what a save made while a restore was due moves
// on, and what may be new here.
EventController::StampPass EventController::stampTimes(const QString &root, const QStringList &changed,
                                                       const QStringList &maybeNew,
                                                       const QHash<QString, QString> &savedInto,
                                                       const QHash<QString, qint64> &stripped)
{
    StampPass pass;
    const QStringList putBack = DirectoryTimes::restamp(root, stripped);
    pass.putBack = QSet<QString>(putBack.cbegin(), putBack.cend());
    for (auto it = stripped.cbegin(); it != stripped.cend(); ++it) {
        if (pass.putBack.contains(it.key())) {
            pass.written.insert(it.key(), it.value());
            continue;
        }
        const std::optional<qint64> carried = DirectoryTimes::carried(root, it.key());
        if (carried && *carried != it.value())
            pass.superseded.insert(it.key());
    }
    const QStringList stamped = DirectoryTimes::stamp(root, changed + DirectoryTimes::bringForward(root, savedInto))
                              + DirectoryTimes::stampNew(root, maybeNew);
    for (const QString &path : stamped)
        if (const std::optional<qint64> time = DirectoryTimes::carried(root, path))
            pass.written.insert(path, *time);
    return pass;
}

namespace {

void call(const EventController::Callback &callback)
{
    if (callback)
        callback();
}

} // namespace

EventController::EventController(SyncEngine &engine, Sleeper sleeper, QObject *parent)
    : QObject(parent), m_engine(engine), m_sleeper(std::move(sleeper))
{
}

void EventController::setCompletion(const QString &folderID, const QString &deviceID, double percent,
                                    Freshness freshness)
{
    if (freshness == Freshness::Current)
        m_completionWrittenAt.insert({folderID, deviceID}, ++m_completionSerial);
    else
        m_completionWrittenAt.remove({folderID, deviceID});
    insertIfChanged(m_completion[folderID], deviceID, percent, this, &EventController::completionChanged);
}

bool EventController::completionCurrent(const QString &folderID, const QString &deviceID) const
{
    const auto written = m_completionWrittenAt.constFind({folderID, deviceID});
    return written != m_completionWrittenAt.cend() && *written > m_connectedAt.value(deviceID, 0);
}

void EventController::setRemoteNeed(const QString &folderID, const QString &deviceID, qint64 needBytes)
{
    insertIfChanged(m_remoteNeedBytes[folderID], deviceID, needBytes, this, &EventController::remoteNeedBytesChanged);
}

void EventController::setTakesPart(const QString &folderID, const QString &deviceID, bool takesPart,
                                   qint64 indexSequence)
{
    // Before the change is told, so that nobody reads the new index beside
    // a count of the folder that may predate it.
    if (takesPart && indexSequence > m_participants.value(folderID).value(deviceID, 0))
        emit peerIndexMoved(folderID);
    if (takesPart)
        insertIfChanged(m_participants[folderID], deviceID, indexSequence, this, &EventController::completionChanged);
    else if (m_participants[folderID].remove(deviceID) > 0)
        emit completionChanged();
}

EventController::~EventController()
{
    stop();
}

void EventController::start()
{
    stop();
    m_lastID = 0;
    noteGap();
    pollLoop(QPointer<EventController>(this), m_generation, &m_engine, m_sleeper);
}

void EventController::stop()
{
    // A new generation ends the old loop at its next resumption, and any
    // batch it still receives is dropped. Ending the poll at once keeps the
    // old loop from holding a request open for seconds after a restart.
    ++m_generation;
    m_engine.cancelEvents();
}

// Runs detached. Between passes it holds the controller only weakly and ends
// once the controller is gone or stop() (also by start()) has ended it.
// Syncthing computes folder summaries only while some client has asked for
// events within the last minute: this loop, asking again at least every 10 s,
// is what keeps the summaries the live state is built from coming.
QCoro::Task<void> EventController::pollLoop(QPointer<EventController> self, quint64 generation, SyncEngine *engine,
                                            Sleeper sleeper)
{
    while (self && self->isCurrent(generation)) {
        QList<SyncEvent> events;
        bool failed = false;
        try {
            events = co_await engine->events(self->m_lastID);
        } catch (...) {
            // A failed poll counts as a quiet one, but what happened meanwhile
            // may never be told.
            failed = true;
        }
        if (!self || !self->isCurrent(generation))
            co_return;
        if (failed)
            self->noteGap();
        if (!events.isEmpty()) {
            // The long poll itself waits for news: ask again at once.
            self->handleBatch(events);
            continue;
        }
        try {
            co_await sleeper(idlePause);
        } catch (...) {
            // An interrupted pause only shortens the wait.
        }
    }
}

void EventController::handleBatch(const QList<SyncEvent> &events)
{
    bool gap = false;
    for (const SyncEvent &event : events) {
        // Syncthing numbers the events of one subscriber without holes; a
        // hole is an event it dropped for a poller that fell behind.
        gap |= (m_lastID > 0 && event.id != m_lastID + 1) || event.undecodable;
        // IDs that go backwards (a restarted engine) are handled all the
        // same but never lower the point the next poll starts from.
        m_lastID = std::max(m_lastID, event.id);
        handle(event);
    }
    if (gap)
        noteGap();
    readNotedTimes();
    m_pending.save();
    startStamping();
}

void EventController::startStamping()
{
    if (!m_stamping && stampsDue()) {
        m_stamping = true;
        stampNotedDirectories(QPointer<EventController>(this), &m_engine);
    }
}

// A save made into a directory while its restore was due is newer than
// the time the restore put back: once no restore is due there, the
// directory moves on to it.
void EventController::forwardSaves(const QString &folderID)
{
    QHash<QString, QString> &waiting = m_savedWhileDue[folderID];
    for (auto it = waiting.begin(); it != waiting.end();) {
        if (restoreDue(folderID, it.key())) {
            ++it;
            continue;
        }
        m_savesForward[folderID].insert(it.key(), it.value());
        it = waiting.erase(it);
    }
    if (waiting.isEmpty())
        m_savedWhileDue.remove(folderID);
    startStamping();
}

// Which folders are pulling is no longer known: none is waited for.
void EventController::noteGap()
{
    m_pulling.clear();
    emit streamGap();
}

void EventController::handle(const SyncEvent &event)
{
    if (event.type == folderCompletionEvent) {
        if (!event.folder || !event.device)
            return;
        setCompletion(*event.folder, *event.device, event.completion.value_or(0.0));
        if (event.needBytes)
            setRemoteNeed(*event.folder, *event.device, *event.needBytes);
        if (event.takesPart)
            setTakesPart(*event.folder, *event.device, *event.takesPart, event.indexSequence.value_or(0));
    } else if (event.type == itemFinishedEvent) {
        if (event.folder && event.item)
            handleItemFinished(event);
    } else if (event.type == localChangeEvent) {
        if (event.folder && event.item)
            handleLocalChange(event);
    } else if (event.type == remoteIndexUpdatedEvent) {
        if (event.folder)
            noteIndexMoved(*event.folder);
    } else if (event.type == pendingDevicesEvent || event.type == pendingFoldersEvent) {
        call(m_onPending);
    } else if (event.type == downloadProgressEvent || event.type == remoteDownloadProgressEvent) {
        emit transferProgress();
    } else {
        handleFolderEvent(event);
        handleDeviceEvent(event);
    }
}

void EventController::handleFolderEvent(const SyncEvent &event)
{
    if (event.type == folderSummaryEvent && event.summary) {
        emit summaryArrived(*event.summary);
    } else if (event.type == stateChangedEvent && event.folder && event.fromState && event.toState) {
        if (*event.toState == FolderState::Syncing && !m_pulling.contains(*event.folder) && event.loggedAtMs)
            m_pullStarted.insert(*event.folder, *event.loggedAtMs);
        if (*event.toState == FolderState::Syncing)
            m_pulling.insert(*event.folder);
        else
            m_pulling.remove(*event.folder);
        emit folderStateArrived(*event.folder, *event.fromState, *event.toState, event.toStateWord);
    } else if ((event.type == folderPausedEvent || event.type == folderResumedEvent) && event.folder) {
        emit folderPauseArrived(*event.folder, event.type == folderPausedEvent);
    } else if (event.type == configSavedEvent && !event.undecodable) {
        emit configSaved();
    }
}

void EventController::handleDeviceEvent(const SyncEvent &event)
{
    if (event.type == deviceConnectedEvent) {
        if (event.device)
            m_connectedAt.insert(*event.device, ++m_completionSerial);
        call(m_onDeviceChange);
        if (event.device)
            emit deviceConnected(*event.device);
    } else if (event.type == deviceDisconnectedEvent) {
        if (event.device)
            removeDevice(*event.device);
        call(m_onDeviceChange);
    } else if (event.type != devicePausedEvent && event.type != deviceResumedEvent) {
        return;
    }
    emit devicesChanged();
}

void EventController::removeDevice(const QString &deviceID)
{
    bool changed = false;
    for (auto folder = m_completion.begin(); folder != m_completion.end(); ++folder)
        changed |= folder->remove(deviceID) > 0;
    for (auto folder = m_participants.begin(); folder != m_participants.end(); ++folder)
        changed |= folder->remove(deviceID) > 0;
    m_completionWrittenAt.removeIf(
        [&deviceID](QHash<std::pair<QString, QString>, quint64>::iterator entry) {
            return entry.key().second == deviceID;
        });
    if (changed)
        emit completionChanged();
    // A disconnected device needs nothing from us until it is back.
    bool needChanged = false;
    for (auto folder = m_remoteNeedBytes.begin(); folder != m_remoteNeedBytes.end(); ++folder)
        needChanged |= folder->remove(deviceID) > 0;
    if (needChanged)
        emit remoteNeedBytesChanged();
}

// Syncthing leaves a directory it makes with the time it made it, and every
// item it places, replaces or removes moves its directory's time again; the
// records still hold the times the directories had on the computer that
// changed them. Those are put back once the folder's pull is over, when no
// item will land any more, and they are read while the pull runs: the folder
// cannot scan before its pull ends, and once it has, the scan that Syncthing
// makes of every directory whose inode changed after it was recorded (as
// placing an item in it does, when extended attributes sync) would record
// this computer's times instead, and send them to everyone. A first sync
// updates thousands of directories: each folder's are put back together, from
// one read of the engine per batch of events.
//
// Syncthing also sends a directory it has made and filled, once, as its own
// change: its record of a directory holds the inode change time read when the
// directory was made, and every item placed in it afterwards moves that time.
// When its scan runs before the times are put back (a scan asked for while
// the pull ran runs as soon as it ends), that version carries this
// computer's moment. On the computer that made the directory, such a version
// changes nothing on disk; Syncthing leaves a directory's time alone unless it
// makes the directory or places or removes something in it. So only a
// directory whose time moved since the pull began is given the record: one
// that did not keeps the time it has, the maker's.
void EventController::handleItemFinished(const SyncEvent &event)
{
    const QString &folderID = *event.folder;
    const QString &item = *event.item;
    if (!m_folderMode || m_folderMode(folderID) != FolderSyncMode::SendReceive || !m_folderPath)
        return;
    const std::optional<QString> root = m_folderPath(folderID);
    if (!root || !itemLocation(*root, item))
        return;
    // A directory deleted and made again is no longer the one stamped here.
    if (event.action == QStringLiteral("delete"))
        forgetStamp(folderID, item);
    const bool updatedDirectory = event.itemType == QStringLiteral("dir") && event.action == QStringLiteral("update");
    const QString parent = parentOf(item);
    if (!updatedDirectory && parent.isEmpty())
        return;  // the folder's root has no record to put back
    DueRestore &due = m_dueRestores[folderID];
    due.root = *root;
    due.carried = carriesTimes(folderID);
    if (due.carried) {
        // Kept until restored: a process that ends first restores them at
        // its next start.
        if (updatedDirectory)
            m_pending.add(folderID, item);
        if (!parent.isEmpty())
            m_pending.add(folderID, parent);
    }
    if (event.itemType != QStringLiteral("dir"))
        due.placed.insert(item);
    if (const std::optional<qint64> since = pullStart(event))
        due.movedSinceMs = std::min(*since, due.movedSinceMs.value_or(*since));
    // A record is read once, unless a peer's index may have changed it since:
    // a pull updates thousands of directories, over as many batches.
    if (updatedDirectory) {
        due.paths.insert(item);
        due.readAgain |= !due.carried && (due.indexMoved || !due.recorded.contains(item));
    }
    if (!parent.isEmpty()) {
        due.paths.insert(parent);
        due.readAgain |= !due.carried && !due.recorded.contains(parent);
    }
    ++m_restoresNoted;
    if (!m_restoring) {
        m_restoring = true;
        restoreAfterBursts(QPointer<EventController>(this), m_sleeper);
    }
}

std::optional<qint64> EventController::pullStart(const SyncEvent &event) const
{
    const auto started = m_pullStarted.constFind(*event.folder);
    if (m_pulling.contains(*event.folder) && started != m_pullStarted.cend())
        return *started - fileClockLag.count();
    if (event.loggedAtMs)
        return *event.loggedAtMs - madeBeforeReport.count();
    return std::nullopt;
}

void EventController::noteIndexMoved(const QString &folderID)
{
    const auto due = m_dueRestores.find(folderID);
    if (due != m_dueRestores.end())
        due->indexMoved = true;
}

void EventController::readNotedTimes()
{
    for (auto due = m_dueRestores.begin(); due != m_dueRestores.end(); ++due) {
        if (due->readAgain && !due->reading) {
            due->reading = true;
            readRecordedTimes(QPointer<EventController>(this), &m_engine, due.key());
        }
    }
}

// One read at a time per folder; what was noted meanwhile gets one more.
QCoro::Task<void> EventController::readRecordedTimes(QPointer<EventController> self, SyncEngine *engine,
                                                     QString folderID)
{
    while (self) {
        const auto noted = self->m_dueRestores.find(folderID);
        if (noted == self->m_dueRestores.end())
            co_return;
        if (!noted->readAgain) {
            noted->reading = false;
            co_return;
        }
        noted->readAgain = false;
        noted->indexMoved = false;
        QHash<QString, qint64> recorded;
        try {
            recorded = co_await engine->directoryTimes(folderID);
        } catch (...) {
            // Documented never to fail; an engine that does restores nothing.
        }
        if (!self)
            co_return;
        const auto due = self->m_dueRestores.find(folderID);
        if (due == self->m_dueRestores.end())
            co_return;
        for (const QString &path : std::as_const(due->paths)) {
            const auto time = recorded.constFind(path);
            if (time != recorded.cend())
                due->recorded.insert(path, *time);
        }
    }
}

bool EventController::restoreReady(const QString &folderID) const
{
    const auto due = m_dueRestores.constFind(folderID);
    return due != m_dueRestores.cend() && !due->reading && !due->readAgain && !m_pulling.contains(folderID);
}

// Runs detached while restores are due; one folder at a time, so a folder
// never has more than one restore running and one waiting.
QCoro::Task<void> EventController::restoreAfterBursts(QPointer<EventController> self, Sleeper sleeper)
{
    while (self && !self->m_dueRestores.isEmpty()) {
        for (int waits = 0; waits < restoreMaxWaits; ++waits) {
            const quint64 noted = self->m_restoresNoted;
            try {
                co_await sleeper(restoreQuiet);
            } catch (...) {
                // An interrupted pause only shortens the wait.
            }
            if (!self)
                co_return;
            if (self->m_restoresNoted == noted)
                break;
        }
        const QStringList folders = self->m_dueRestores.keys();
        for (const QString &folderID : folders) {
            if (!self->restoreReady(folderID))
                continue;
            const DueRestore due = self->m_dueRestores.take(folderID);
            const QStringList settled = co_await restoreDirectoryTimes(due);
            if (!self)
                co_return;
            self->m_pending.remove(folderID, QSet<QString>(settled.cbegin(), settled.cend()));
            self->m_pending.save();
            self->noteRestored(folderID, due);
            self->forwardSaves(folderID);
            emit self->directoryTimesRestored(folderID);
        }
    }
    if (self)
        self->m_restoring = false;
}

std::optional<QString> EventController::itemLocation(const QString &root, const QString &item)
{
    if (!QDir::isAbsolutePath(root) || item.startsWith(QLatin1Char('/')))
        return std::nullopt;
    if (item.split(QLatin1Char('/')).contains(QStringLiteral("..")))
        return std::nullopt;
    QString base = root;
    while (base.size() > 1 && base.endsWith(QLatin1Char('/')))
        base.chop(1);
    if (item.isEmpty())
        return base;
    return base.endsWith(QLatin1Char('/')) ? base + item : base + QLatin1Char('/') + item;
}

// Only a directory reached from the folder's root without passing a symbolic
// link gets its time (DirectoryTimes::apply): a synced link may lead anywhere
// on this machine.
// A folder whose directories carry their times gives each the time it
// carries. Elsewhere the record holds the time a directory had when it was
// first sent and never moves on: only a directory the pull made here takes it.
QCoro::Task<QStringList> EventController::restoreDirectoryTimes(DueRestore due)
{
    const QStringList paths(due.paths.cbegin(), due.paths.cend());
    if (due.carried)
        co_return co_await QtConcurrent::run(&carryTimes, due.root, paths);
    const QList<DirectoryTimes::Entry> entries = recordedTimes(due.recorded, due.paths);
    if (!entries.isEmpty())
        co_await QtConcurrent::run(&DirectoryTimes::apply, due.root, entries, due.movedSinceMs);
    co_return paths;
}

QCoro::Task<void> EventController::retryPendingRestores(QString folderID)
{
    const QSet<QString> paths = m_pending.folders().value(folderID);
    const std::optional<QString> root = m_folderPath ? m_folderPath(folderID) : std::nullopt;
    if (paths.isEmpty() || !root)
        co_return;
    // A folder that no longer carries times, or no longer takes pulls, has
    // nothing to put back; one whose pull still runs is restored after it.
    if (!carriesTimes(folderID) || !m_folderMode || m_folderMode(folderID) != FolderSyncMode::SendReceive) {
        m_pending.remove(folderID, paths);
        m_pending.save();
        co_return;
    }
    if (m_pulling.contains(folderID) || m_dueRestores.contains(folderID))
        co_return;
    const QPointer<EventController> self(this);
    const QStringList settled = co_await QtConcurrent::run(&carryTimes, *root, QStringList(paths.cbegin(), paths.cend()));
    if (!self)
        co_return;
    m_pending.remove(folderID, QSet<QString>(settled.cbegin(), settled.cend()));
    m_pending.save();
    forwardSaves(folderID);
    emit directoryTimesRestored(folderID);
}

bool EventController::stampsDue() const
{
    return !(m_stampsDue.isEmpty() && m_newDirectoriesDue.isEmpty() && m_savesForward.isEmpty()
             && m_restampsDue.isEmpty());
}

void EventController::rememberStamps(const QString &folderID, const QHash<QString, qint64> &times)
{
    QHash<QString, qint64> &stamped = m_stampedHere[folderID];
    if (stamped.size() > maxRestoresRemembered)
        stamped.clear();
    stamped.insert(times);
}

void EventController::noteRestored(const QString &folderID, const DueRestore &due)
{
    // A version without the carried time that won over this computer's
    // stamp (its sender announced the directory before the time reached
    // it) took the time away here too: it is put back and sent again.
    const QHash<QString, qint64> &stamped = m_stampedHere.value(folderID);
    for (const QString &path : due.paths)
        if (const auto time = stamped.constFind(path); time != stamped.cend())
            m_restampsDue[folderID].insert(path, *time);
    QHash<QString, std::optional<qint64>> &dirs = m_restoredDirs[folderID];
    QSet<QString> &placed = m_placedFiles[folderID];
    // Bounded: past it, a save's race with a restore is left to the next save.
    if (dirs.size() + placed.size() > maxRestoresRemembered) {
        dirs.clear();
        placed.clear();
    }
    for (const QString &path : due.paths)
        dirs.insert(path, due.movedSinceMs);
    placed.unite(due.placed);
}

// A directory whose time was put back needs no restore any more, and saves
// made into it meanwhile move on from that time. One that now carries a
// teammate's other time is theirs to put back, no longer this computer's.
void EventController::settleRestamps(const QString &folderID, const StampPass &pass)
{
    for (const QString &path : pass.superseded)
        forgetStamp(folderID, path);
    if (pass.putBack.isEmpty())
        return;
    m_pending.remove(folderID, pass.putBack);
    m_pending.save();
    forwardSaves(folderID);
}

void EventController::forgetStamp(const QString &folderID, const QString &path)
{
    if (const auto stamped = m_stampedHere.find(folderID); stamped != m_stampedHere.end())
        stamped->remove(path);
}

bool EventController::placedByPull(const QString &folderID, const QString &item)
{
    return m_placedFiles[folderID].remove(item) || m_dueRestores.value(folderID).placed.contains(item);
}

bool EventController::bornSince(const QString &root, const QString &item, std::optional<qint64> pullBegan)
{
    // Unknown, it can't tell a save from a file the maker had there before.
    if (!pullBegan)
        return false;
    const std::optional<FolderItem> file = FolderItem::open(root, item);
    const std::optional<qint64> born = file ? file->bornMs() : std::nullopt;
    return born && *born >= *pullBegan;
}

// The pull still due there, or else the one whose restore found nothing to
// put back and left the directory pending.
std::optional<qint64> EventController::pullBeganFor(const QString &folderID, const QString &directory) const
{
    const auto noted = m_dueRestores.constFind(folderID);
    if (noted != m_dueRestores.cend() && noted->paths.contains(directory))
        return noted->movedSinceMs;
    return m_restoredDirs.value(folderID).value(directory);
}

bool EventController::restoreDue(const QString &folderID, const QString &path) const
{
    const auto due = m_dueRestores.constFind(folderID);
    return (due != m_dueRestores.cend() && due->paths.contains(path)) || m_pending.contains(folderID, path);
}

// Only Syncthing's scanner reports a local change (what a pull placed is a
// remote one): a file added, removed or changed here moved its directory's
// time. Syncthing 1.29 reports a directory new here and one whose inode
// merely moved (a pull that filled it, a restore, an attribute) alike, as
// "modified": one that carries no time yet and came by no pull is new here,
// and it and the directory it was made in are stamped; one that carries a
// time is left alone. A directory whose time is still to be restored holds
// a pull's moment, not a change made here.
void EventController::handleLocalChange(const SyncEvent &event)
{
    const QString &folderID = *event.folder;
    const QString &item = *event.item;
    const std::optional<FolderSyncMode> mode = m_folderMode ? m_folderMode(folderID) : std::nullopt;
    if (!carriesTimes(folderID) || !m_folderPath || !mode || *mode == FolderSyncMode::ReceiveOnly)
        return;
    const std::optional<QString> root = m_folderPath(folderID);
    if (!root || !itemLocation(*root, item) || item.isEmpty())
        return;
    if (event.itemType == QStringLiteral("dir") && event.action != QStringLiteral("deleted")) {
        if (!restoreDue(folderID, item))
            m_newDirectoriesDue[folderID].insert(item);
        return;
    }
    const QString parent = parentOf(item);
    const bool deleted = event.action == QStringLiteral("deleted");
    if (deleted)
        forgetStamp(folderID, item);
    if (parent.isEmpty())
        return;
    const bool due = restoreDue(folderID, parent);
    if (!due)
        m_stampsDue[folderID].insert(parent);
    if (deleted)
        return;
    if (due) {
        if (!placedByPull(folderID, item) && bornSince(*root, item, pullBeganFor(folderID, parent)))
            m_savedWhileDue[folderID].insert(parent, item);
        return;
    }
    QHash<QString, std::optional<qint64>> &restored = m_restoredDirs[folderID];
    const auto since = restored.constFind(parent);
    // A file the pull placed leaves the directory's turn to a save.
    if (since == restored.cend() || placedByPull(folderID, item))
        return;
    const std::optional<qint64> pullBegan = *since;
    restored.erase(since);
    if (bornSince(*root, item, pullBegan))
        m_savesForward[folderID].insert(parent, item);
}

// Runs detached while stamps are due, one folder at a time; the engine scans
// what was written at once, so the times travel within seconds rather than
// at the watcher's next look.
QCoro::Task<void> EventController::stampNotedDirectories(QPointer<EventController> self, SyncEngine *engine)
{
    while (self && self->stampsDue()) {
        const QString folderID = !self->m_stampsDue.isEmpty()         ? self->m_stampsDue.begin().key()
                               : !self->m_newDirectoriesDue.isEmpty() ? self->m_newDirectoriesDue.begin().key()
                               : !self->m_savesForward.isEmpty()      ? self->m_savesForward.begin().key()
                                                                      : self->m_restampsDue.begin().key();
        const QSet<QString> changed = self->m_stampsDue.take(folderID);
        const QSet<QString> maybeNew = self->m_newDirectoriesDue.take(folderID);
        const QHash<QString, QString> savedInto = self->m_savesForward.take(folderID);
        const QHash<QString, qint64> stripped = self->m_restampsDue.take(folderID);
        const std::optional<QString> root = self->m_folderPath ? self->m_folderPath(folderID) : std::nullopt;
        if (!root)
            continue;
        const StampPass pass =
            co_await QtConcurrent::run(&stampTimes, *root, QStringList(changed.cbegin(), changed.cend()),
                                       QStringList(maybeNew.cbegin(), maybeNew.cend()), savedInto, stripped);
        if (!self)
            co_return;
        self->settleRestamps(folderID, pass);
        const QHash<QString, qint64> &times = pass.written;
        if (times.isEmpty())
            continue;
        self->rememberStamps(folderID, times);
        const QStringList written = times.keys();
        emit self->directoryTimesStamped(folderID, written);
        try {
            co_await engine->scanPaths(folderID, written);
        } catch (...) {
            // The watcher finds them all the same, only later.
        }
    }
    if (self)
        self->m_stamping = false;
}

} // namespace tw

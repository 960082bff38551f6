#include "controllers/EventController.h"

#include "engine/SyncEngine.h"
#include "utilities/AssignIfChanged.h"

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
    m_lastDiskID = 0;
    noteGap();
    emit diskStreamGap();
    pollLoop(QPointer<EventController>(this), m_generation, &m_engine, m_sleeper);
    // On a timer of its own: the owner's pauses are counted cycle by cycle.
    diskLoop(QPointer<EventController>(this), m_generation, &m_engine, realSleeper());
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

QCoro::Task<void> EventController::diskLoop(QPointer<EventController> self, quint64 generation, SyncEngine *engine,
                                            Sleeper sleeper)
{
    while (self && self->isCurrent(generation)) {
        QList<SyncEvent> events;
        bool failed = false;
        try {
            events = co_await engine->diskEvents(self->m_lastDiskID, diskPollSeconds);
        } catch (...) {
            failed = true;
        }
        if (!self || !self->isCurrent(generation))
            co_return;
        if (failed)
            emit self->diskStreamGap();
        if (!events.isEmpty()) {
            self->handleDiskBatch(events);
            continue;
        }
        try {
            co_await sleeper(idlePause);
        } catch (...) {
            // An interrupted pause only shortens the wait.
        }
    }
}

QCoro::Task<void> EventController::catchUpDisk()
{
    const QPointer<EventController> self(this);
    const quint64 generation = m_generation;
    QList<SyncEvent> events;
    try {
        events = co_await m_engine.diskEvents(m_lastDiskID, 0);
    } catch (...) {
        // The loop's own poll finds them, or tells of the gap.
        co_return;
    }
    if (self && self->isCurrent(generation))
        self->handleDiskBatch(events);
}

// The loop and a catch-up may both be answered with the same events: each
// is handled once.
void EventController::handleDiskBatch(const QList<SyncEvent> &events)
{
    bool gap = false;
    for (const SyncEvent &event : events) {
        if (event.id <= m_lastDiskID)
            continue;
        gap |= event.id != m_lastDiskID + 1;
        m_lastDiskID = event.id;
        if (!event.folder || !event.item)
            continue;
        const bool directory = event.itemType == QLatin1String("dir");
        const bool deleted = event.action == QLatin1String("deleted");
        // A pull's changes come in this stream too, in their order with the
        // scanner's: a directory it found before a pull brought it is its own.
        if (event.type == QLatin1String("LocalChangeDetected"))
            emit localChangeFound(*event.folder, *event.item, directory, deleted, event.loggedAtMs);
        else if (event.type == QLatin1String("RemoteChangeDetected"))
            emit itemPulled(*event.folder, *event.item, directory, deleted, event.loggedAtMs);
    }
    if (gap)
        emit diskStreamGap();
}

void EventController::handleBatch(const QList<SyncEvent> &events)
{
    bool gap = false;
    for (const SyncEvent &event : events) {
        // Syncthing numbers the events of one subscriber from 1 without
        // holes; a hole is an event it dropped for a poller that fell behind
        // (or, at the first poll, before it).
        gap |= event.id != m_lastID + 1 || event.undecodable;
        // IDs that go backwards (a restarted engine) are handled all the
        // same but never lower the point the next poll starts from.
        m_lastID = std::max(m_lastID, event.id);
        handle(event);
    }
    if (gap)
        noteGap();
}

void EventController::noteGap()
{
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

// Every item a pull places, replaces or removes moves its directory's time,
// and a directory it makes has the moment it made it.
void EventController::handleItemFinished(const SyncEvent &event)
{
    emit itemPulled(*event.folder, *event.item, event.itemType == QLatin1String("dir"),
                    event.action == QLatin1String("delete"), event.loggedAtMs);
}

} // namespace tw

#include "engine/syncthing/SyncthingEngine.h"

#include "engine/syncthing/rest/LooseJson.h"
#include "utilities/JsonDecodeError.h"
#include "utilities/StrictJson.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QRegularExpression>

namespace tw {
namespace {

// Seconds Syncthing holds the long poll open while no event is waiting.
constexpr int kLongPollSeconds = 10;

const QString kDeviceConnected = QStringLiteral("DeviceConnected");
const QString kDeviceDisconnected = QStringLiteral("DeviceDisconnected");
const QString kRemoteDownloadProgress = QStringLiteral("RemoteDownloadProgress");

std::optional<bool> connectedFlag(const QString &type)
{
    if (type == kDeviceConnected)
        return true;
    if (type == kDeviceDisconnected)
        return false;
    return std::nullopt;
}

// The items a remote device is pulling, in the order the payload lists them.
std::optional<QStringList> remoteFiles(const QString &type, const QJsonObject &data)
{
    const QJsonValue state = data.value(QStringLiteral("state"));
    if (type != kRemoteDownloadProgress || !state.isObject())
        return std::nullopt;
    return state.toObject().keys();
}

// Events the live state is built from are read strictly: a payload without
// what they carry throws, and the caller marks the event undecodable.
using StrictReader = void (*)(SyncEvent &, const StrictJson &);

void readSummary(SyncEvent &event, const StrictJson &data)
{
    event.folder = data.string(QStringLiteral("folder"));
    event.summary = SyncthingEngine::mapStatus(*event.folder, STFolderStatus::fromJson(data.object(QStringLiteral("summary"))));
}

void readCompletion(SyncEvent &event, const StrictJson &data)
{
    event.folder = data.string(QStringLiteral("folder"));
    event.device = data.string(QStringLiteral("device"));
    event.completion = data.number(QStringLiteral("completion"));
    event.needBytes = data.integer(QStringLiteral("needBytes"));
    // Older Syncthings send no remote state: that says nothing of it.
    if (const std::optional<QString> state = data.optionalString(QStringLiteral("remoteState")))
        event.takesPart = SyncthingEngine::takesPart(state);
    event.indexSequence = data.optionalInteger(QStringLiteral("sequence"));
}

void readStateChange(SyncEvent &event, const StrictJson &data)
{
    event.folder = data.string(QStringLiteral("folder"));
    event.fromState = SyncthingEngine::mapState(data.string(QStringLiteral("from")));
    event.toStateWord = data.string(QStringLiteral("to"));
    event.toState = SyncthingEngine::mapState(event.toStateWord);
}

// Syncthing names the device of a connection event "id", of a pause "device".
void readConnection(SyncEvent &event, const StrictJson &data) { event.device = data.string(QStringLiteral("id")); }
void readDevicePause(SyncEvent &event, const StrictJson &data) { event.device = data.string(QStringLiteral("device")); }
void readFolderPause(SyncEvent &event, const StrictJson &data) { event.folder = data.string(QStringLiteral("id")); }
void readNothing(SyncEvent &, const StrictJson &) {}

std::optional<StrictReader> strictReader(const QString &type)
{
    static const QMap<QString, StrictReader> readers{
        {QStringLiteral("FolderSummary"), readSummary},
        {QStringLiteral("FolderCompletion"), readCompletion},
        {QStringLiteral("StateChanged"), readStateChange},
        {kDeviceConnected, readConnection},
        {kDeviceDisconnected, readConnection},
        {QStringLiteral("DevicePaused"), readDevicePause},
        {QStringLiteral("DeviceResumed"), readDevicePause},
        {QStringLiteral("FolderPaused"), readFolderPause},
        {QStringLiteral("FolderResumed"), readFolderPause},
        {QStringLiteral("ConfigSaved"), readNothing},
    };
    const auto it = readers.constFind(type);
    return it == readers.constEnd() ? std::nullopt : std::optional<StrictReader>(*it);
}

// Syncthing writes nanoseconds; Qt reads at most milliseconds.
std::optional<qint64> loggedAt(const QJsonValue &value)
{
    static const QRegularExpression beyondMilliseconds(QStringLiteral("(\\.\\d{3})\\d+"));
    QString text = LooseJson::string(value).value_or(QString());
    text.replace(beyondMilliseconds, QStringLiteral("\\1"));
    const QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
    return time.isValid() ? std::optional(time.toMSecsSinceEpoch()) : std::nullopt;
}

bool changesConnections(const SyncEvent &event)
{
    return event.connected || event.type == QLatin1String("DevicePaused")
           || event.type == QLatin1String("DeviceResumed");
}

SyncEvent eventFrom(const QJsonObject &raw)
{
    const QJsonValue dataValue = raw.value(QStringLiteral("data"));
    const QJsonObject data = dataValue.toObject();
    SyncEvent event;
    event.id = LooseJson::exactInteger(raw.value(QStringLiteral("id"))).value_or(0);
    event.type = LooseJson::string(raw.value(QStringLiteral("type"))).value_or(QString());
    event.loggedAtMs = loggedAt(raw.value(QStringLiteral("time")));
    if (const std::optional<StrictReader> reader = strictReader(event.type)) {
        try {
            (*reader)(event, StrictJson(StrictJson::toObject(dataValue, QStringLiteral("data"))));
        } catch (const JsonDecodeError &) {
            event.undecodable = true;
        }
        event.connected = connectedFlag(event.type);
        return event;
    }
    event.folder = LooseJson::string(data.value(QStringLiteral("folder")));
    event.device = LooseJson::string(data.value(QStringLiteral("device")));
    // A change found on disk names its item "path".
    event.item = LooseJson::string(data.value(QStringLiteral("item")));
    if (!event.item)
        event.item = LooseJson::string(data.value(QStringLiteral("path")));
    event.itemType = LooseJson::string(data.value(QStringLiteral("type")));
    event.action = LooseJson::string(data.value(QStringLiteral("action")));
    event.remoteFiles = remoteFiles(event.type, data);
    return event;
}

} // namespace

QCoro::Task<QList<SyncEvent>> SyncthingEngine::events(qint64 since)
{
    const SyncthingAPI api = requireAPI();
    // A detached poller's answer may come after this engine is gone.
    const QPointer<SyncthingEngine> self(this);
    // No "limit": with one, Syncthing answers only the newest events of a
    // burst and the older ones are lost to the poller for good. No list of
    // types either: Syncthing opens a subscription for a list at its first
    // poll, which then holds nothing from before (the first scan's changes,
    // a pull begun at start), while its default one holds every event since
    // it started.
    const QByteArray body = co_await api.eventsRaw(since, kLongPollSeconds, std::nullopt, m_eventsScope.get());
    QList<SyncEvent> events = parseEvents(body);
    if (!self)
        throw SyncEngineError::notRunning();
    if (std::any_of(events.cbegin(), events.cend(), changesConnections))
        forgetConnections();
    for (SyncEvent &event : events) {
        // A pull that starts or ends may fail other items than the last.
        if (event.type == QLatin1String("StateChanged") && event.folder)
            m_readFailures.remove(*event.folder);
        if (!event.summary)
            continue;
        event.summary = co_await withoutWaitingItems(api, *event.summary);
        if (!self)
            throw SyncEngineError::notRunning();
    }
    co_return events;
}

// Syncthing keeps what its scanner finds apart from the default events,
// in a subscription that also holds them since it started.
QCoro::Task<QList<SyncEvent>> SyncthingEngine::diskEvents(qint64 since, int waitSeconds)
{
    const SyncthingAPI api = requireAPI();
    const QPointer<SyncthingEngine> self(this);
    const QString types;
    const QString stream = QStringLiteral("/disk");
    const QByteArray body =
        co_await api.eventsRaw(since, waitSeconds, std::nullopt, m_eventsScope.get(), types, stream);
    if (!self)
        throw SyncEngineError::notRunning();
    co_return parseEvents(body);
}

void SyncthingEngine::cancelEvents()
{
    m_eventsScope = std::make_unique<QObject>();
}

// An answer that is not a list of events fails like a failed poll: the
// events it stood for are lost, and the poller must know that.
QList<SyncEvent> SyncthingEngine::parseEvents(const QByteArray &body)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        throw SyncEngineError::invalidResponse();
    const QJsonArray array = document.array();
    QList<SyncEvent> events;
    events.reserve(array.size());
    for (const QJsonValue &element : array) {
        if (!element.isObject())
            throw SyncEngineError::invalidResponse();
        events.append(eventFrom(element.toObject()));
    }
    return events;
}

} // namespace tw

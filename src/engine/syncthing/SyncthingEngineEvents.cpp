#include "engine/syncthing/SyncthingEngine.h"

#include "engine/syncthing/rest/LooseJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace tw {
namespace {

// Seconds Syncthing holds the long poll open while no event is waiting.
constexpr int kLongPollSeconds = 10;

const QString kDeviceConnected = QStringLiteral("DeviceConnected");
const QString kDeviceDisconnected = QStringLiteral("DeviceDisconnected");
const QString kRemoteDownloadProgress = QStringLiteral("RemoteDownloadProgress");

// Syncthing names the device of a connection event "id"; other events call
// it "device".
std::optional<QString> eventDevice(const QString &type, const QJsonObject &data)
{
    if (type == kDeviceConnected || type == kDeviceDisconnected) {
        if (auto id = LooseJson::string(data.value(QStringLiteral("id"))))
            return id;
    }
    return LooseJson::string(data.value(QStringLiteral("device")));
}

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

SyncEvent eventFrom(const QJsonObject &raw)
{
    const QJsonObject data = raw.value(QStringLiteral("data")).toObject();
    SyncEvent event;
    event.id = LooseJson::exactInteger(raw.value(QStringLiteral("id"))).value_or(0);
    event.type = LooseJson::string(raw.value(QStringLiteral("type"))).value_or(QString());
    event.folder = LooseJson::string(data.value(QStringLiteral("folder")));
    event.device = eventDevice(event.type, data);
    event.completion = LooseJson::number(data.value(QStringLiteral("completion")));
    event.needBytes = LooseJson::truncatedInteger(data.value(QStringLiteral("needBytes")));
    event.stateTo = LooseJson::string(data.value(QStringLiteral("to")));
    event.item = LooseJson::string(data.value(QStringLiteral("item")));
    event.itemType = LooseJson::string(data.value(QStringLiteral("type")));
    event.action = LooseJson::string(data.value(QStringLiteral("action")));
    event.connected = connectedFlag(event.type);
    event.remoteFiles = remoteFiles(event.type, data);
    return event;
}

} // namespace

QCoro::Task<QList<SyncEvent>> SyncthingEngine::events(qint64 since)
{
    const SyncthingAPI api = requireAPI();
    // No "limit": with one, Syncthing answers only the newest events of a
    // burst and the older ones are lost to the poller for good.
    const QByteArray body = co_await api.eventsRaw(since, kLongPollSeconds, std::nullopt, m_eventsScope.get());
    co_return parseEvents(body);
}

void SyncthingEngine::cancelEvents()
{
    m_eventsScope = std::make_unique<QObject>();
}

QList<SyncEvent> SyncthingEngine::parseEvents(const QByteArray &body)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return {};
    const QJsonArray array = document.array();
    QList<SyncEvent> events;
    events.reserve(array.size());
    for (const QJsonValue &element : array) {
        if (!element.isObject())
            return {};
        events.append(eventFrom(element.toObject()));
    }
    return events;
}

} // namespace tw

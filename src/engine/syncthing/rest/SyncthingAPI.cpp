#include "engine/syncthing/rest/SyncthingAPI.h"

#include "utilities/StrictJson.h"

#include "engine/SyncEngineError.h"
#include "engine/syncthing/rest/STIgnores.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtConcurrent/QtConcurrentRun>
#include <qcoro/qcorofuture.h>
#include <algorithm>
#include <climits>
#include <exception>

namespace tw {
namespace {

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QJsonObject objectOrEmpty(const QByteArray &body)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return {};
    return document.object();
}

// The "error" text of an answer to an ignore update or read, when there is
// a non-empty one; an answer that cannot be read reports none.
std::optional<QString> ignoreUpdateError(const QByteArray &body)
{
    const QJsonValue error = QJsonDocument::fromJson(body).object().value(QStringLiteral("error"));
    if (!error.isString() || error.toString().isEmpty())
        return std::nullopt;
    return error.toString();
}

// A folder whose file Syncthing could not read (a line too long for it) is
// stopped and answers no lines, with its error. Read as no lines, the next
// edit of them would write an empty list over the folder's own.
QStringList ignoreLinesOrEmpty(const QByteArray &body)
{
    std::optional<QStringList> lines;
    try {
        lines = STIgnores::fromJsonBody(body).ignore;
    } catch (const JsonDecodeError &) {
    }
    const std::optional<QString> error = lines ? std::nullopt : ignoreUpdateError(body);
    if (error)
        throw SyncEngineError::refused(QStringLiteral("Syncthing can\u2019t read the folder\u2019s ignore patterns: ") +
                                       *error);
    return lines.value_or(QStringList());
}

QString textOrEmpty(const QJsonValue &value) { return value.isString() ? value.toString() : QString(); }

// All or nothing: one entry that is not an object voids the whole list.
QStringList logLines(const QByteArray &body)
{
    const QJsonValue messages = objectOrEmpty(body).value(QStringLiteral("messages"));
    if (!messages.isArray())
        return {};
    const QJsonArray entries = messages.toArray();
    if (!std::all_of(entries.begin(), entries.end(), [](const QJsonValue &entry) { return entry.isObject(); }))
        return {};
    QStringList lines;
    for (const QJsonValue &entry : entries) {
        const QString when = textOrEmpty(entry[QStringLiteral("when")]);
        const QString message = textOrEmpty(entry[QStringLiteral("message")]);
        if (message.isEmpty())
            continue;
        lines.append(when.isEmpty() ? message : when + QStringLiteral("  ") + message);
    }
    return lines;
}

using VersionMap = QMap<QString, QList<STVersion>>;

// The listing, or what decoding it threw: an exception thrown on a pool
// thread reaches the awaiting side only wrapped.
struct DecodedVersions
{
    VersionMap versions;
    std::exception_ptr failure;
};

DecodedVersions decodeVersions(const QByteArray &body)
{
    try {
        return {RestTransport::decode(QStringLiteral("Dictionary<String, Array<STVersion>>"), body,
                                      &STVersion::mapFromJson),
                nullptr};
    } catch (...) {
        return {{}, std::current_exception()};
    }
}

QString pathWithID(const char *prefix, const QString &id) { return QLatin1String(prefix) + id; }

// A restore answer: path to error text, null for a restored path. Another
// shape is a decoding failure, so a restore is never taken as done unread.
QMap<QString, QString> restoreFailures(const QByteArray &body)
{
    QMap<QString, QString> failures;
    const QJsonObject object = StrictJson::parseObject(body);
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        if (!it.value().isNull())
            failures.insert(it.key(), StrictJson::toString(it.value(), it.key()));
    }
    return failures;
}

} // namespace

QCoro::Task<> SyncthingAPI::ping() const
{
    return perform("GET", QStringLiteral("/rest/system/ping"));
}

QCoro::Task<STSystemStatus> SyncthingAPI::systemStatus() const
{
    return getDecoded<STSystemStatus>(QStringLiteral("/rest/system/status"), {},
                                      {QStringLiteral("STSystemStatus"), &STSystemStatus::fromJsonBody});
}

QCoro::Task<QList<STFolderRead>> SyncthingAPI::getFolders() const
{
    return getDecoded<QList<STFolderRead>>(QStringLiteral("/rest/config/folders"), {},
                                           {QStringLiteral("Array<STFolderRead>"), &STFolderRead::listFromJson});
}

QCoro::Task<> SyncthingAPI::putFolder(STFolderWrite folder) const
{
    return perform("PUT", pathWithID("/rest/config/folders/", folder.id), {}, compact(folder.toJson()));
}

QCoro::Task<> SyncthingAPI::patchFolder(QString id, QJsonObject json) const
{
    return perform("PATCH", pathWithID("/rest/config/folders/", id), {}, compact(json));
}

QCoro::Task<> SyncthingAPI::deleteFolder(QString id) const
{
    return perform("DELETE", pathWithID("/rest/config/folders/", id));
}

QCoro::Task<QList<STDeviceRead>> SyncthingAPI::getDevices() const
{
    return getDecoded<QList<STDeviceRead>>(QStringLiteral("/rest/config/devices"), {},
                                           {QStringLiteral("Array<STDeviceRead>"), &STDeviceRead::listFromJson});
}

QCoro::Task<> SyncthingAPI::putDevice(STDeviceWrite device) const
{
    return perform("PUT", pathWithID("/rest/config/devices/", device.deviceID), {}, compact(device.toJson()));
}

QCoro::Task<> SyncthingAPI::patchDevice(QString id, QJsonObject json) const
{
    return perform("PATCH", pathWithID("/rest/config/devices/", id), {}, compact(json));
}

QCoro::Task<STOptions> SyncthingAPI::getOptions() const
{
    return getDecoded<STOptions>(QStringLiteral("/rest/config/options"), {},
                                 {QStringLiteral("STOptions"), &STOptions::fromJsonBody});
}

QCoro::Task<> SyncthingAPI::patchOptions(QJsonObject json) const
{
    return perform("PATCH", QStringLiteral("/rest/config/options"), {}, compact(json));
}

QCoro::Task<> SyncthingAPI::scan(QString folder, QStringList paths) const
{
    QueryItems query;
    if (!folder.isEmpty())
        query.append({QStringLiteral("folder"), folder});
    for (const QString &path : paths)
        query.append({QStringLiteral("sub"), path});
    PreparedRequest request = prepare("POST", QStringLiteral("/rest/db/scan"), query);
    // Syncthing answers a scan only once it has finished, which for a large
    // folder takes longer than an ordinary request may.
    request.request.setTransferTimeout(kScanTimeoutMs);
    co_await send(request);
}

QCoro::Task<STFolderStatus> SyncthingAPI::folderStatus(QString id) const
{
    return getDecoded<STFolderStatus>(QStringLiteral("/rest/db/status"), {{QStringLiteral("folder"), id}},
                                      {QStringLiteral("STFolderStatus"), &STFolderStatus::fromJsonBody});
}

QCoro::Task<STCompletion> SyncthingAPI::completion(QString folder, QString device) const
{
    return getDecoded<STCompletion>(QStringLiteral("/rest/db/completion"),
                                    {{QStringLiteral("folder"), folder}, {QStringLiteral("device"), device}},
                                    {QStringLiteral("STCompletion"), &STCompletion::fromJsonBody});
}

QCoro::Task<STNeedResponse> SyncthingAPI::need(QString folder) const
{
    return getDecoded<STNeedResponse>(
        QStringLiteral("/rest/db/need"),
        {{QStringLiteral("folder"), folder}, {QStringLiteral("perpage"), QStringLiteral("5")}},
        {QStringLiteral("STNeedResponse"), &STNeedResponse::fromJsonBody});
}

QCoro::Task<QList<STBrowseEntry>> SyncthingAPI::browse(QString folder, QString prefix) const
{
    QueryItems query{{QStringLiteral("folder"), folder}, {QStringLiteral("levels"), QStringLiteral("0")}};
    if (!prefix.isEmpty())
        query.append({QStringLiteral("prefix"), prefix});
    return getDecoded<QList<STBrowseEntry>>(QStringLiteral("/rest/db/browse"), query,
                                            {QStringLiteral("Array<STBrowseEntry>"), &STBrowseEntry::listFromJson});
}

QCoro::Task<QStringList> SyncthingAPI::getIgnores(QString folder) const
{
    return getDecoded<QStringList>(QStringLiteral("/rest/db/ignores"), {{QStringLiteral("folder"), folder}},
                                   {QStringLiteral("STIgnores"), &ignoreLinesOrEmpty});
}

QCoro::Task<std::optional<QString>> SyncthingAPI::setIgnores(QString folder, QStringList patterns) const
{
    const QJsonObject json{{QStringLiteral("ignore"), QJsonArray::fromStringList(patterns)}};
    const PreparedRequest request = prepare("POST", QStringLiteral("/rest/db/ignores"), {{QStringLiteral("folder"), folder}}, compact(json));
    const QByteArray body = co_await send(request);
    co_return ignoreUpdateError(body);
}

QCoro::Task<STConnectionsResponse> SyncthingAPI::connections() const
{
    return getDecoded<STConnectionsResponse>(
        QStringLiteral("/rest/system/connections"), {},
        {QStringLiteral("STConnectionsResponse"), &STConnectionsResponse::fromJsonBody});
}

QCoro::Task<QByteArray> SyncthingAPI::eventsRaw(qint64 since, int timeout, std::optional<int> limit,
                                                QPointer<QObject> cancelScope, QString types,
                                                QString stream) const
{
    QueryItems query{{QStringLiteral("since"), QString::number(since)}, {QStringLiteral("timeout"), QString::number(timeout)}};
    if (!types.isEmpty())
        query.append({QStringLiteral("events"), types});
    if (limit)
        query.append({QStringLiteral("limit"), QString::number(*limit)});
    PreparedRequest prepared = prepare("GET", QStringLiteral("/rest/events") + stream, query);
    // The server holds the poll open for `timeout` seconds; wait beyond that.
    const qint64 longPollMs = qint64(std::max(timeout, 0)) * 1000 + kLongPollMarginMs;
    prepared.request.setTransferTimeout(int(std::clamp<qint64>(longPollMs, kTransferTimeoutMs, INT_MAX)));
    prepared.cancelScope = cancelScope;
    co_return co_await send(std::move(prepared));
}

QCoro::Task<QMap<QString, STPendingDevice>> SyncthingAPI::pendingDevices() const
{
    return getDecoded<QMap<QString, STPendingDevice>>(
        QStringLiteral("/rest/cluster/pending/devices"), {},
        {QStringLiteral("Dictionary<String, STPendingDevice>"), &STPendingDevice::mapFromJson});
}

QCoro::Task<QMap<QString, STPendingFolder>> SyncthingAPI::pendingFolders() const
{
    return getDecoded<QMap<QString, STPendingFolder>>(
        QStringLiteral("/rest/cluster/pending/folders"), {},
        {QStringLiteral("Dictionary<String, STPendingFolder>"), &STPendingFolder::mapFromJson});
}

QCoro::Task<> SyncthingAPI::dismissPendingDevice(QString id) const
{
    return perform("DELETE", QStringLiteral("/rest/cluster/pending/devices"), {{QStringLiteral("device"), id}});
}

QCoro::Task<> SyncthingAPI::dismissPendingFolder(QString folderID, QString device) const
{
    return perform("DELETE", QStringLiteral("/rest/cluster/pending/folders"),
                   {{QStringLiteral("folder"), folderID}, {QStringLiteral("device"), device}});
}

// Decoded on a pool thread: an archive of 50,000 copies is megabytes of
// JSON, a tenth of a second and more, read at every opening of the archive
// and before every restore.
QCoro::Task<QMap<QString, QList<STVersion>>> SyncthingAPI::folderVersions(QString folder) const
{
    QueryItems query;
    query.append({QStringLiteral("folder"), folder});
    const PreparedRequest request = prepare("GET", QStringLiteral("/rest/folder/versions"), query);
    const QByteArray body = co_await send(request);
    DecodedVersions decoded = co_await QtConcurrent::run(&decodeVersions, body);
    if (decoded.failure)
        std::rethrow_exception(decoded.failure);
    co_return std::move(decoded.versions);
}

QCoro::Task<QMap<QString, QString>> SyncthingAPI::restoreVersions(QString folder, QMap<QString, QString> mapping) const
{
    QJsonObject json;
    for (auto it = mapping.constBegin(); it != mapping.constEnd(); ++it)
        json.insert(it.key(), it.value());
    const PreparedRequest request = prepare("POST", QStringLiteral("/rest/folder/versions"), {{QStringLiteral("folder"), folder}}, compact(json));
    const QByteArray body = co_await send(request);
    co_return decode(QStringLiteral("Dictionary<String, String>"), body, &restoreFailures);
}

QCoro::Task<QJsonObject> SyncthingAPI::rawDict(QString path, QueryItems query) const
{
    return getDecoded<QJsonObject>(path, query, {QStringLiteral("JSON object"), &objectOrEmpty});
}

QCoro::Task<QStringList> SyncthingAPI::systemLogLines() const
{
    return getDecoded<QStringList>(QStringLiteral("/rest/system/log"), {}, {QStringLiteral("log"), &logLines});
}

} // namespace tw

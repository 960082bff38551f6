#include "engine/syncthing/SyncthingAPI.h"

#include "utilities/StrictJson.h"

#include "engine/SyncEngineError.h"
#include "engine/syncthing/STIgnores.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QStringDecoder>
#include <qcoro/qcoronetworkreply.h>
#include <algorithm>
#include <climits>

namespace tw {
namespace {

struct DeleteLater
{
    void operator()(QObject *object) const { object->deleteLater(); }
};

// Errors by which Qt reports that no complete response arrived. Every other
// error that comes with a status is Qt's reading of that status (a 400 or 418
// even shows up as a "protocol" error), and the status decides.
bool exchangeFailed(QNetworkReply::NetworkError error)
{
    const int code = error;
    const bool connection = code >= 1 && code <= 99;
    const bool proxy = code >= 101 && code <= 199 && error != QNetworkReply::ProxyAuthenticationRequiredError;
    return connection || proxy || error == QNetworkReply::ProtocolFailure;
}

// The whole body as text; bytes that are not UTF-8 (also a sequence cut off at
// the end) give empty text rather than a guess.
QString utf8OrEmpty(const QByteArray &body)
{
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder(body);
    return decoder.hasError() ? QString() : text;
}

QByteArray answerOf(QNetworkReply &reply)
{
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && !exchangeFailed(reply.error())) {
        const int code = status.toInt();
        QByteArray body = reply.readAll();
        if (code >= 200 && code <= 299)
            return body;
        throw SyncEngineError::http(code, utf8OrEmpty(body));
    }
    if (reply.error() != QNetworkReply::NoError)
        throw SyncEngineError::backend(reply.errorString());
    throw SyncEngineError::invalidResponse();
}

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

QStringList ignoreLinesOrEmpty(const QByteArray &body)
{
    try {
        return STIgnores::fromJsonBody(body).ignore.value_or(QStringList());
    } catch (const JsonDecodeError &) {
        return {};
    }
}

QString textOrEmpty(const QJsonValue &value) { return value.isString() ? value.toString() : QString(); }

// All or nothing: one entry that is not an object voids the whole list.
QStringList logLines(const QJsonObject &log)
{
    const QJsonValue messages = log.value(QStringLiteral("messages"));
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

// Qt removes "." and ".." segments from every URL it sends (also when they
// are written %2E), so an identifier made of dots would silently address
// another endpoint: "/rest/config/folders/.." becomes "/rest/config", whose
// PUT replaces the whole configuration. Such a path is refused instead.
void requireNoDotSegments(const QString &path)
{
    const QStringList segments = path.split(QLatin1Char('/'));
    const bool dotted = std::any_of(segments.begin(), segments.end(), [](const QString &segment) {
        return segment == QLatin1String(".") || segment == QLatin1String("..");
    });
    if (dotted)
        throw SyncEngineError::backend(QStringLiteral("Cannot send a request for the path \"%1\": "
                                                      "\".\" and \"..\" cannot be used as names.").arg(path));
}

QString pathWithID(const char *prefix, const QString &id) { return QLatin1String(prefix) + id; }

// The "error" text of an answer to an ignore update, when there is a
// non-empty one; an answer that cannot be read reports none.
std::optional<QString> ignoreUpdateError(const QByteArray &body)
{
    const QJsonValue error = QJsonDocument::fromJson(body).object().value(QStringLiteral("error"));
    if (!error.isString() || error.toString().isEmpty())
        return std::nullopt;
    return error.toString();
}

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

std::shared_ptr<QNetworkAccessManager> SyncthingAPI::makeSession()
{
    // Deleted later, not at once: the last copy may be released by a task that
    // resumes inside one of the manager's own reply signals.
    std::shared_ptr<QNetworkAccessManager> session(new QNetworkAccessManager, DeleteLater());
    session->setProxy(QNetworkProxy::NoProxy);
    // The API key must never be carried to another host.
    session->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    session->setStrictTransportSecurityEnabled(false);
    session->setTransferTimeout(kTransferTimeoutMs);
    return session;
}

SyncthingAPI::SyncthingAPI(QUrl baseURL, QString apiKey, std::shared_ptr<QNetworkAccessManager> session)
    : m_baseURL(std::move(baseURL)), m_apiKey(std::move(apiKey)), m_session(std::move(session))
{
}

QByteArray SyncthingAPI::percentEncode(const QString &text, bool keepSlash)
{
    return text.toUtf8().toPercentEncoding(keepSlash ? QByteArrayLiteral("/") : QByteArray());
}

void SyncthingAPI::throwDecodeError(const QString &typeName, const QString &detail)
{
    throw SyncEngineError::backend(QStringLiteral("Failed to decode %1: %2").arg(typeName, detail));
}

SyncthingAPI::PreparedRequest SyncthingAPI::prepare(QByteArray method, const QString &path, const QueryItems &query,
                                                    std::optional<QByteArray> body) const
{
    requireNoDotSegments(path);
    QByteArray encoded = m_baseURL.toEncoded(QUrl::FullyEncoded);
    while (encoded.endsWith('/'))
        encoded.chop(1);
    encoded += percentEncode(path, true);
    for (qsizetype i = 0; i < query.size(); ++i) {
        encoded += i == 0 ? '?' : '&';
        encoded += percentEncode(query[i].first, false) + '=' + percentEncode(query[i].second, false);
    }

    // Strict parsing keeps every escape as formed above, so "%2B" and "%2F"
    // reach the server as they are.
    QNetworkRequest request(QUrl::fromEncoded(encoded, QUrl::StrictMode));
    request.setTransferTimeout(kTransferTimeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::AuthenticationReuseAttribute, QNetworkRequest::Manual);
    // The peer is our own child on loopback; large, well-compressed answers
    // (long version lists) must not trip Qt's decompression-bomb check.
    request.setDecompressedSafetyCheckThreshold(-1);
    request.setRawHeader(QByteArrayLiteral("X-API-Key"), m_apiKey.toUtf8());
    if (body)
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    return {request, std::move(method), std::move(body)};
}

QCoro::Task<QByteArray> SyncthingAPI::send(std::shared_ptr<QNetworkAccessManager> session, PreparedRequest prepared)
{
    // Without a body the request goes out as a custom one: post() would add a
    // Content-Type even to an empty body.
    std::unique_ptr<QNetworkReply, DeleteLater> reply(
        prepared.body ? session->sendCustomRequest(prepared.request, prepared.method, *prepared.body)
                      : session->sendCustomRequest(prepared.request, prepared.method));
    // Queued: the abort must not resume the awaiting task inside the
    // destructor of the scope.
    if (prepared.cancelScope)
        QObject::connect(prepared.cancelScope.data(), &QObject::destroyed, reply.get(), &QNetworkReply::abort,
                         Qt::QueuedConnection);
    co_await reply.get();
    co_return answerOf(*reply);
}

QCoro::Task<QByteArray> SyncthingAPI::send(PreparedRequest prepared) const
{
    return send(m_session, std::move(prepared));
}

QCoro::Task<> SyncthingAPI::ping() const
{
    const PreparedRequest request = prepare("GET", QStringLiteral("/rest/system/ping"));
    co_await send(request);
}

QCoro::Task<STSystemStatus> SyncthingAPI::systemStatus() const
{
    const PreparedRequest request = prepare("GET", QStringLiteral("/rest/system/status"));
    const QByteArray body = co_await send(request);
    co_return decode(QStringLiteral("STSystemStatus"), body, &STSystemStatus::fromJsonBody);
}

QCoro::Task<QList<STFolderRead>> SyncthingAPI::getFolders() const
{
    const PreparedRequest request = prepare("GET", QStringLiteral("/rest/config/folders"));
    const QByteArray body = co_await send(request);
    co_return decode(QStringLiteral("Array<STFolderRead>"), body, &STFolderRead::listFromJson);
}

QCoro::Task<> SyncthingAPI::putFolder(STFolderWrite folder) const
{
    const PreparedRequest request = prepare("PUT", pathWithID("/rest/config/folders/", folder.id), {}, compact(folder.toJson()));
    co_await send(request);
}

QCoro::Task<> SyncthingAPI::patchFolder(QString id, QJsonObject json) const
{
    const PreparedRequest request = prepare("PATCH", pathWithID("/rest/config/folders/", id), {}, compact(json));
    co_await send(request);
}

QCoro::Task<> SyncthingAPI::deleteFolder(QString id) const
{
    const PreparedRequest request = prepare("DELETE", pathWithID("/rest/config/folders/", id));
    co_await send(request);
}

QCoro::Task<QList<STDeviceRead>> SyncthingAPI::getDevices() const
{
    const PreparedRequest request = prepare("GET", QStringLiteral("/rest/config/devices"));
    const QByteArray body = co_await send(request);
    co_return decode(QStringLiteral("Array<STDeviceRead>"), body, &STDeviceRead::listFromJson);
}

QCoro::Task<> SyncthingAPI::putDevice(STDeviceWrite device) const
{
    const PreparedRequest request = prepare("PUT", pathWithID("/rest/config/devices/", device.deviceID), {}, compact(device.toJson()));
    co_await send(request);
}

QCoro::Task<> SyncthingAPI::patchDevice(QString id, QJsonObject json) const
{
    const PreparedRequest request = prepare("PATCH", pathWithID("/rest/config/devices/", id), {}, compact(json));
    co_await send(request);
}

QCoro::Task<STOptions> SyncthingAPI::getOptions() const
{
    const PreparedRequest request = prepare("GET", QStringLiteral("/rest/config/options"));
    const QByteArray body = co_await send(request);
    co_return decode(QStringLiteral("STOptions"), body, &STOptions::fromJsonBody);
}

QCoro::Task<> SyncthingAPI::patchOptions(QJsonObject json) const
{
    const PreparedRequest request = prepare("PATCH", QStringLiteral("/rest/config/options"), {}, compact(json));
    co_await send(request);
}

QCoro::Task<> SyncthingAPI::scan(QString folder) const
{
    PreparedRequest request = prepare("POST", QStringLiteral("/rest/db/scan"), {{QStringLiteral("folder"), folder}});
    // Syncthing answers a scan only once it has finished, which for a large
    // folder takes longer than an ordinary request may.
    request.request.setTransferTimeout(kScanTimeoutMs);
    co_await send(request);
}

QCoro::Task<STFolderStatus> SyncthingAPI::folderStatus(QString id) const
{
    const PreparedRequest request = prepare("GET", QStringLiteral("/rest/db/status"), {{QStringLiteral("folder"), id}});
    const QByteArray body = co_await send(request);
    co_return decode(QStringLiteral("STFolderStatus"), body, &STFolderStatus::fromJsonBody);
}

QCoro::Task<STCompletion> SyncthingAPI::completion(QString folder, QString device) const
{
    const PreparedRequest request = prepare(
        "GET", QStringLiteral("/rest/db/completion"),
        {{QStringLiteral("folder"), folder}, {QStringLiteral("device"), device}});
    const QByteArray body = co_await send(request);
    co_return decode(QStringLiteral("STCompletion"), body, &STCompletion::fromJsonBody);
}

QCoro::Task<STNeedResponse> SyncthingAPI::need(QString folder) const
{
    const PreparedRequest request = prepare(
        "GET", QStringLiteral("/rest/db/need"),
        {{QStringLiteral("folder"), folder}, {QStringLiteral("perpage"), QStringLiteral("5")}});
    const QByteArray body = co_await send(request);
    co_return decode(QStringLiteral("STNeedResponse"), body, &STNeedResponse::fromJsonBody);
}

QCoro::Task<QList<STBrowseEntry>> SyncthingAPI::browse(QString folder, QString prefix) const
{
    QueryItems query{{QStringLiteral("folder"), folder}, {QStringLiteral("levels"), QStringLiteral("0")}};
    if (!prefix.isEmpty())
        query.append({QStringLiteral("prefix"), prefix});
    const PreparedRequest request = prepare("GET", QStringLiteral("/rest/db/browse"), query);
    const QByteArray body = co_await send(request);
    co_return decode(QStringLiteral("Array<STBrowseEntry>"), body, &STBrowseEntry::listFromJson);
}

QCoro::Task<QStringList> SyncthingAPI::getIgnores(QString folder) const
{
    const PreparedRequest request = prepare("GET", QStringLiteral("/rest/db/ignores"), {{QStringLiteral("folder"), folder}});
    const QByteArray body = co_await send(request);
    co_return ignoreLinesOrEmpty(body);
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
    const PreparedRequest request = prepare("GET", QStringLiteral("/rest/system/connections"));
    const QByteArray body = co_await send(request);
    co_return decode(QStringLiteral("STConnectionsResponse"), body, &STConnectionsResponse::fromJsonBody);
}

QCoro::Task<QByteArray> SyncthingAPI::eventsRaw(qint64 since, int timeout, std::optional<int> limit,
                                                QPointer<QObject> cancelScope) const
{
    QueryItems query{{QStringLiteral("since"), QString::number(since)}, {QStringLiteral("timeout"), QString::number(timeout)}};
    if (limit)
        query.append({QStringLiteral("limit"), QString::number(*limit)});
    PreparedRequest prepared = prepare("GET", QStringLiteral("/rest/events"), query);
    // The server holds the poll open for `timeout` seconds; wait beyond that.
    const qint64 longPollMs = qint64(std::max(timeout, 0)) * 1000 + kLongPollMarginMs;
    prepared.request.setTransferTimeout(int(std::clamp<qint64>(longPollMs, kTransferTimeoutMs, INT_MAX)));
    prepared.cancelScope = cancelScope;
    co_return co_await send(std::move(prepared));
}

QCoro::Task<QMap<QString, STPendingDevice>> SyncthingAPI::pendingDevices() const
{
    const PreparedRequest request = prepare("GET", QStringLiteral("/rest/cluster/pending/devices"));
    const QByteArray body = co_await send(request);
    co_return decode(QStringLiteral("Dictionary<String, STPendingDevice>"), body, &STPendingDevice::mapFromJson);
}

QCoro::Task<QMap<QString, STPendingFolder>> SyncthingAPI::pendingFolders() const
{
    const PreparedRequest request = prepare("GET", QStringLiteral("/rest/cluster/pending/folders"));
    const QByteArray body = co_await send(request);
    co_return decode(QStringLiteral("Dictionary<String, STPendingFolder>"), body, &STPendingFolder::mapFromJson);
}

QCoro::Task<> SyncthingAPI::dismissPendingDevice(QString id) const
{
    const PreparedRequest request = prepare("DELETE", QStringLiteral("/rest/cluster/pending/devices"), {{QStringLiteral("device"), id}});
    co_await send(request);
}

QCoro::Task<> SyncthingAPI::dismissPendingFolder(QString folderID, QString device) const
{
    const PreparedRequest request = prepare("DELETE", QStringLiteral("/rest/cluster/pending/folders"),
                          {{QStringLiteral("folder"), folderID}, {QStringLiteral("device"), device}});
    co_await send(request);
}

QCoro::Task<QMap<QString, QList<STVersion>>> SyncthingAPI::folderVersions(QString folder) const
{
    const PreparedRequest request = prepare("GET", QStringLiteral("/rest/folder/versions"), {{QStringLiteral("folder"), folder}});
    const QByteArray body = co_await send(request);
    co_return decode(QStringLiteral("Dictionary<String, Array<STVersion>>"), body, &STVersion::mapFromJson);
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
    const PreparedRequest request = prepare("GET", path, query);
    const QByteArray body = co_await send(request);
    co_return objectOrEmpty(body);
}

QCoro::Task<QStringList> SyncthingAPI::systemLogLines() const
{
    const QJsonObject log = co_await rawDict(QStringLiteral("/rest/system/log"), {});
    co_return logLines(log);
}

} // namespace tw

#include "cluster/NodeClient.h"

#include "engine/SyncEngineError.h"
#include "utilities/DeleteLater.h"
#include "utilities/LoopbackOnly.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QUrl>
#include <qcoro/qcoronetworkreply.h>
#include <algorithm>

namespace tw {
namespace {

std::optional<RestTransport::PreparedRequest> prepareRequest(const QString &base, const QString &key,
                                                             const QByteArray &method, const QString &path,
                                                             const NodeClient::QueryItems &query,
                                                             const std::optional<QJsonObject> &body)
{
    const QUrl url(base, QUrl::StrictMode);
    const bool web = url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
    if (!url.isValid() || !web || url.host().isEmpty())
        return std::nullopt;
    // A loopback-only run reaches no node beyond this machine.
    if (loopbackOnlyRun() && !isLoopbackHost(url.host()))
        return std::nullopt;
    std::optional<QByteArray> payload;
    if (body)
        payload = QJsonDocument(*body).toJson(QJsonDocument::Compact);
    try {
        RestTransport::PreparedRequest prepared =
            RestTransport(url, key, nullptr).prepare(method, path, query, payload);
        prepared.request.setTransferTimeout(NodeClient::kTimeoutMs);
        return prepared;
    } catch (const SyncEngineError &) {
        return std::nullopt;
    }
}

NodeClient::Answer judge(QNetworkReply &reply)
{
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (reply.error() != QNetworkReply::NoError || !status.isValid() || status.toInt() != 200)
        return {NodeClient::Outcome::Failed, {}};
    return {NodeClient::Outcome::Accepted, reply.readAll()};
}

std::optional<QJsonDocument> parsed(const NodeClient::Answer &answer)
{
    if (!answer.accepted())
        return std::nullopt;
    QJsonParseError error;
    QJsonDocument document = QJsonDocument::fromJson(answer.body, &error);
    if (error.error != QJsonParseError::NoError)
        return std::nullopt;
    return document;
}

std::optional<QList<QJsonObject>> objectsOf(const std::optional<QJsonDocument> &document)
{
    if (!document || !document->isArray())
        return std::nullopt;
    const QJsonArray array = document->array();
    if (!std::all_of(array.begin(), array.end(), [](const QJsonValue &value) { return value.isObject(); }))
        return std::nullopt;
    QList<QJsonObject> objects;
    for (const QJsonValue &value : array)
        objects.append(value.toObject());
    return objects;
}

QList<QJsonObject> deviceEntriesOf(const QJsonObject &folder)
{
    const QJsonValue devices = folder.value(QStringLiteral("devices"));
    const std::optional<QList<QJsonObject>> entries =
        devices.isArray() ? objectsOf(QJsonDocument(devices.toArray())) : std::nullopt;
    return entries.value_or(QList<QJsonObject>());
}

} // namespace

NodeClient::NodeClient(std::shared_ptr<QNetworkAccessManager> session) : m_session(std::move(session)) {}

QCoro::Task<NodeClient::Answer> NodeClient::send(QString base, QString key, QByteArray method, QString path,
                                                 QueryItems query, std::optional<QJsonObject> body) const
{
    const std::shared_ptr<QNetworkAccessManager> session = m_session;
    const std::optional<RestTransport::PreparedRequest> prepared =
        prepareRequest(base, key, method, path, query, body);
    if (!prepared)
        co_return Answer();
    // Without a body the request goes out as a custom one: post() would add a
    // Content-Type even to an empty body.
    std::unique_ptr<QNetworkReply, DeleteLater> reply(
        prepared->body ? session->sendCustomRequest(prepared->request, prepared->method, *prepared->body)
                       : session->sendCustomRequest(prepared->request, prepared->method));
    co_await reply.get();
    co_return judge(*reply);
}

QCoro::Task<std::optional<QJsonObject>> NodeClient::getObject(QString base, QString key, QString path) const
{
    const Answer answer = co_await send(base, key, "GET", path);
    const std::optional<QJsonDocument> document = parsed(answer);
    if (!document || !document->isObject())
        co_return std::nullopt;
    co_return document->object();
}

QCoro::Task<std::optional<QList<QJsonObject>>> NodeClient::getObjects(QString base, QString key, QString path) const
{
    const Answer answer = co_await send(base, key, "GET", path);
    co_return objectsOf(parsed(answer));
}

QCoro::Task<std::optional<QString>> NodeClient::fetchDeviceID(QString base, QString key) const
{
    const std::optional<QJsonObject> status = co_await getObject(base, key, QStringLiteral("/rest/system/status"));
    const QJsonValue id = status ? status->value(QStringLiteral("myID")) : QJsonValue();
    if (!id.isString() || id.toString().isEmpty())
        co_return std::nullopt;
    co_return id.toString();
}

QCoro::Task<std::optional<NodeClient::FolderDevices>> NodeClient::listFolderDevices(QString base, QString key) const
{
    const std::optional<QList<QJsonObject>> folders =
        co_await getObjects(base, key, QStringLiteral("/rest/config/folders"));
    if (!folders)
        co_return std::nullopt;
    FolderDevices devices;
    for (const QJsonObject &folder : *folders) {
        const QJsonValue id = folder.value(QStringLiteral("id"));
        if (id.isString())
            devices.insert(id.toString(), deviceEntriesOf(folder));
    }
    co_return devices;
}

QCoro::Task<std::optional<QList<QJsonObject>>> NodeClient::listDevices(QString base, QString key) const
{
    return getObjects(base, key, QStringLiteral("/rest/config/devices"));
}

} // namespace tw

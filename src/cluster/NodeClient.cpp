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
#include <memory>

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
        // The transport turns Qt's archive-bomb check off for our own child;
        // a node gets it back at Qt's own setting.
        prepared.request.setDecompressedSafetyCheckThreshold(QNetworkRequest().decompressedSafetyCheckThreshold());
        return prepared;
    } catch (const SyncEngineError &) {
        return std::nullopt;
    }
}

// Qt hands a reply on in pieces as they arrive; they are taken at once, so
// that neither Qt's buffer nor ours grows past the cap.
constexpr qint64 kReplyBufferBytes = 1024 * 1024;

struct Collected
{
    QByteArray body;
    bool tooLarge = false;
};

void collect(QNetworkReply &reply, Collected &collected)
{
    while (!collected.tooLarge && reply.bytesAvailable() > 0) {
        collected.body += reply.read(NodeClient::maxAnswerBytes + 1 - collected.body.size());
        if (collected.body.size() > NodeClient::maxAnswerBytes) {
            collected.tooLarge = true;
            collected.body = QByteArray();
            // Queued: aborting here would finish the reply inside its own signal.
            QMetaObject::invokeMethod(&reply, &QNetworkReply::abort, Qt::QueuedConnection);
        }
    }
}

// Qt's archive-bomb check ends an answer as a content error (in Qt 6.4
// without saying why); with status 200 nothing else does: Qt's other content
// errors stand for error statuses.
bool failedDecompression(const QNetworkReply &reply)
{
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return reply.error() == QNetworkReply::UnknownContentError && status.isValid() && status.toInt() == 200;
}

NodeClient::Answer judge(QNetworkReply &reply, Collected &collected)
{
    collect(reply, collected);
    if (collected.tooLarge || failedDecompression(reply))
        return {NodeClient::Outcome::TooLarge, {}};
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (reply.error() != QNetworkReply::NoError || !status.isValid() || status.toInt() != 200)
        return {NodeClient::Outcome::Failed, {}};
    return {NodeClient::Outcome::Accepted, std::move(collected.body)};
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

// Gave nothing although the request was accepted: an answer of another shape.
NodeClient::Outcome outcomeOf(const NodeClient::Answer &answer, bool gave)
{
    return gave || !answer.accepted() ? answer.outcome : NodeClient::Outcome::Failed;
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
    reply->setReadBufferSize(kReplyBufferBytes);
    const auto collected = std::make_shared<Collected>();
    QNetworkReply *raw = reply.get();
    QObject::connect(raw, &QNetworkReply::readyRead, raw, [raw, collected] { collect(*raw, *collected); });
    co_await reply.get();
    co_return judge(*reply, *collected);
}

QCoro::Task<NodeClient::Read<QJsonObject>> NodeClient::getObject(QString base, QString key, QString path) const
{
    const Answer answer = co_await send(base, key, "GET", path);
    const std::optional<QJsonDocument> document = parsed(answer);
    Read<QJsonObject> read;
    if (document && document->isObject())
        read.value = document->object();
    read.outcome = outcomeOf(answer, read.value.has_value());
    co_return read;
}

QCoro::Task<NodeClient::Read<QList<QJsonObject>>> NodeClient::getObjects(QString base, QString key,
                                                                         QString path) const
{
    const Answer answer = co_await send(base, key, "GET", path);
    Read<QList<QJsonObject>> read;
    read.value = objectsOf(parsed(answer));
    read.outcome = outcomeOf(answer, read.value.has_value());
    co_return read;
}

QCoro::Task<NodeClient::Read<QString>> NodeClient::fetchDeviceID(QString base, QString key) const
{
    const Read<QJsonObject> status = co_await getObject(base, key, QStringLiteral("/rest/system/status"));
    const QJsonValue id = status ? status->value(QStringLiteral("myID")) : QJsonValue();
    Read<QString> read;
    if (id.isString() && !id.toString().isEmpty())
        read.value = id.toString();
    read.outcome = status && !read.value ? Outcome::Failed : status.outcome;
    co_return read;
}

QCoro::Task<NodeClient::Read<NodeClient::FolderDevices>> NodeClient::listFolderDevices(QString base,
                                                                                       QString key) const
{
    const Read<QList<QJsonObject>> folders = co_await listFolders(base, key);
    Read<FolderDevices> read;
    read.outcome = folders.outcome;
    if (!folders)
        co_return read;
    FolderDevices devices;
    for (const QJsonObject &folder : *folders) {
        const QJsonValue id = folder.value(QStringLiteral("id"));
        if (id.isString())
            devices.insert(id.toString(), deviceEntriesOf(folder));
    }
    read.value = std::move(devices);
    co_return read;
}

QCoro::Task<NodeClient::Read<QList<QJsonObject>>> NodeClient::listDevices(QString base, QString key) const
{
    return getObjects(base, key, QStringLiteral("/rest/config/devices"));
}

QCoro::Task<NodeClient::Read<QList<QJsonObject>>> NodeClient::listFolders(QString base, QString key) const
{
    return getObjects(base, key, QStringLiteral("/rest/config/folders"));
}

} // namespace tw

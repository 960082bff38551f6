#pragma once

#include "engine/syncthing/STBrowseEntry.h"
#include "engine/syncthing/STCompletion.h"
#include "engine/syncthing/STConnectionsResponse.h"
#include "engine/syncthing/STDeviceRead.h"
#include "engine/syncthing/STDeviceWrite.h"
#include "engine/syncthing/STFolderRead.h"
#include "engine/syncthing/STFolderStatus.h"
#include "engine/syncthing/STFolderWrite.h"
#include "engine/syncthing/STNeedResponse.h"
#include "engine/syncthing/STOptions.h"
#include "engine/syncthing/STPendingDevice.h"
#include "engine/syncthing/STPendingFolder.h"
#include "engine/syncthing/STSystemStatus.h"
#include "engine/syncthing/STVersion.h"
#include "utilities/JsonDecodeError.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QNetworkRequest>
#include <QPair>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <qcoro/qcorotask.h>
#include <memory>
#include <optional>

class QNetworkAccessManager;

namespace tw {

// The client of Syncthing's REST interface on loopback. An immutable value:
// copies share one network manager, so a task that copied the client keeps the
// manager alive while its reply is pending, whoever drops the original.
//
// Every operation performs exactly one request and never retries. Failures are
// SyncEngineError: a status outside 200..299 is http(status, body), a failed
// exchange is backend(<Qt's description>), an undecodable answer is
// backend("Failed to decode <type>: <detail>").
//
// Members are read only before an operation's first suspension; everything
// the request needs after that travels in the coroutine frame.
class SyncthingAPI
{
public:
    using QueryItems = QList<QPair<QString, QString>>;

    // A request formed by the client's rules, ready for send().
    struct PreparedRequest
    {
        QNetworkRequest request;
        QByteArray method;
        std::optional<QByteArray> body; // absent: no body and no Content-Type
        // When set, the request is aborted (and fails) once this object is
        // destroyed: a way to end a long poll that nobody awaits any more.
        QPointer<QObject> cancelScope = nullptr;
    };

    // Per-request transfer time-out; long polls get their own wait added.
    static constexpr int kTransferTimeoutMs = 60'000;
    static constexpr int kLongPollMarginMs = 15'000;
    static constexpr int kScanTimeoutMs = 30 * 60'000;

    // A manager for one client: no proxy, no redirects, no cache, no cookies.
    static std::shared_ptr<QNetworkAccessManager> makeSession();

    SyncthingAPI(QUrl baseURL, QString apiKey, std::shared_ptr<QNetworkAccessManager> session = makeSession());

    const QUrl &baseURL() const { return m_baseURL; }
    const QString &apiKey() const { return m_apiKey; }
    const std::shared_ptr<QNetworkAccessManager> &session() const { return m_session; }

    QCoro::Task<STSystemStatus> systemStatus() const;

    QCoro::Task<QList<STFolderRead>> getFolders() const;
    QCoro::Task<> putFolder(STFolderWrite folder) const;
    QCoro::Task<> patchFolder(QString id, QJsonObject json) const;
    QCoro::Task<> deleteFolder(QString id) const;

    QCoro::Task<QList<STDeviceRead>> getDevices() const;
    QCoro::Task<> putDevice(STDeviceWrite device) const;
    QCoro::Task<> patchDevice(QString id, QJsonObject json) const;

    QCoro::Task<STOptions> getOptions() const;
    QCoro::Task<> patchOptions(QJsonObject json) const;

    QCoro::Task<> scan(QString folder) const;
    QCoro::Task<STFolderStatus> folderStatus(QString id) const;
    QCoro::Task<STCompletion> completion(QString folder, QString device) const;
    QCoro::Task<STNeedResponse> need(QString folder) const;
    // An empty prefix sends no "prefix" item.
    QCoro::Task<QList<STBrowseEntry>> browse(QString folder, QString prefix) const;
    // Answers an empty list, never a decoding failure, when the body has no
    // readable "ignore" list; HTTP and transport failures still fail.
    QCoro::Task<QStringList> getIgnores(QString folder) const;
    // Syncthing accepts an invalid pattern with a 2xx answer that carries an
    // "error" text (and then stops the folder): that text, when not empty.
    QCoro::Task<std::optional<QString>> setIgnores(QString folder, QStringList patterns) const;

    QCoro::Task<STConnectionsResponse> connections() const;
    // The raw body of the events long poll; "limit" is sent only when given.
    // The poll is aborted once cancelScope (when given) is destroyed.
    QCoro::Task<QByteArray> eventsRaw(qint64 since, int timeout, std::optional<int> limit,
                                      QPointer<QObject> cancelScope = nullptr) const;

    QCoro::Task<QMap<QString, STPendingDevice>> pendingDevices() const;
    QCoro::Task<QMap<QString, STPendingFolder>> pendingFolders() const;
    QCoro::Task<> dismissPendingDevice(QString id) const;
    QCoro::Task<> dismissPendingFolder(QString folderID, QString device) const;

    QCoro::Task<QMap<QString, QList<STVersion>>> folderVersions(QString folder) const;
    // mapping: file path (relative to the folder) to the version time to
    // restore. Syncthing answers 2xx also when it restored nothing: the result
    // maps each path it could not restore to its error text.
    QCoro::Task<QMap<QString, QString>> restoreVersions(QString folder, QMap<QString, QString> mapping) const;

    // GET of any path read loosely: a body that is not a JSON object gives an
    // empty object; HTTP and transport failures still fail.
    QCoro::Task<QJsonObject> rawDict(QString path, QueryItems query) const;
    // "<when>  <message>" per entry of Syncthing's log, in the server's order.
    QCoro::Task<QStringList> systemLogLines() const;

    // The liveness probe: any 2xx answer to GET /rest/system/ping.
    QCoro::Task<> ping() const;

    // Forms a request: path and query values percent-encoded here (a "/" in
    // the path stays a separator), the API key set, and a Content-Type only
    // when there is a body. A path with a "." or ".." segment throws
    // SyncEngineError::backend: Qt would resolve it to another endpoint.
    PreparedRequest prepare(QByteArray method, const QString &path, const QueryItems &query = {},
                            std::optional<QByteArray> body = std::nullopt) const;
    // Performs one request and answers the body of a 2xx response.
    static QCoro::Task<QByteArray> send(std::shared_ptr<QNetworkAccessManager> session, PreparedRequest prepared);
    QCoro::Task<QByteArray> send(PreparedRequest prepared) const;

    // Runs a decoder over a body; JsonDecodeError becomes
    // backend("Failed to decode <typeName>: <detail>").
    template <typename Decoder>
    static auto decode(const QString &typeName, const QByteArray &body, Decoder decoder) -> decltype(decoder(body));

    // Percent-encodes everything but unreserved characters (and "/" when
    // keepSlash), so that no server reads "+" as a space.
    static QByteArray percentEncode(const QString &text, bool keepSlash);

private:
    [[noreturn]] static void throwDecodeError(const QString &typeName, const QString &detail);

    QUrl m_baseURL;
    QString m_apiKey;
    std::shared_ptr<QNetworkAccessManager> m_session;
};

template <typename Decoder>
auto SyncthingAPI::decode(const QString &typeName, const QByteArray &body, Decoder decoder) -> decltype(decoder(body))
{
    try {
        return decoder(body);
    } catch (const JsonDecodeError &error) {
        throwDecodeError(typeName, error.detail());
    }
}

} // namespace tw

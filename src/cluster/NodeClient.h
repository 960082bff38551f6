#pragma once

#include "engine/syncthing/rest/RestTransport.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <qcoro/qcorotask.h>
#include <memory>
#include <optional>

class QNetworkAccessManager;

namespace tw {

// The one way requests reach an always-on node's REST interface. URLs are
// formed by the engine client's rules (every path segment and query value
// percent-encoded, "." and ".." segments refused), with the node's key in
// "X-API-Key". The session follows no proxy and no redirect: the key must
// never travel to another host. Only an HTTP answer with status exactly 200
// is accepted. Nothing here throws.
class NodeClient
{
public:
    using QueryItems = RestTransport::QueryItems;
    // What a request with a body passes for its query: a named value, since
    // a braced `{}` inside `co_await` is what GCC 12 miscompiles.
    static inline const QueryItems noQuery;
    // Folder ID to the folder's device entries, each as the node returned it.
    using FolderDevices = QMap<QString, QList<QJsonObject>>;

    enum class Outcome {
        NotSent,  // no URL could be formed, or a loopback-only run's host is not on loopback
        Failed,   // transport error, no HTTP answer, or a status other than 200
        TooLarge, // beyond maxAnswerBytes, or compressed beyond Qt's limits: left unread
        Accepted, // status 200
    };

    struct Answer
    {
        Outcome outcome = Outcome::NotSent;
        QByteArray body;

        bool accepted() const { return outcome == Outcome::Accepted; }
    };

    // What a read gave, and how the request went when it gave nothing.
    template <typename T>
    struct Read
    {
        std::optional<T> value;
        Outcome outcome = Outcome::NotSent;

        explicit operator bool() const { return value.has_value(); }
        const T &operator*() const { return *value; }
        const T *operator->() const { return &*value; }
        operator std::optional<T>() const { return value; }
    };

    static constexpr int kTimeoutMs = 8'000;
    // A node is a host on the network, not our own child: whatever it sends,
    // decompressed or not, is read up to this size and no further.
    static constexpr qint64 maxAnswerBytes = 8 * 1024 * 1024;
    static inline const QString tooLargeText =
        QStringLiteral("The always-on node sent an answer too large to read (over 8 MiB, or packed beyond safe "
                       "limits), so it wasn't read. Check that its address leads to its Syncthing.");

    explicit NodeClient(std::shared_ptr<QNetworkAccessManager> session = RestTransport::makeSession());

    // One request; a body goes as compact JSON with its Content-Type.
    QCoro::Task<Answer> send(QString base, QString key, QByteArray method, QString path, QueryItems query = {},
                             std::optional<QJsonObject> body = std::nullopt) const;
    // The body of an accepted GET when it is a JSON object.
    QCoro::Task<Read<QJsonObject>> getObject(QString base, QString key, QString path) const;

    // "myID" of the node's system status when it is a non-empty string.
    QCoro::Task<Read<QString>> fetchDeviceID(QString base, QString key) const;
    // Every folder with a string "id"; a later folder of the same ID replaces
    // an earlier one; "devices" that is not an array of objects reads as none.
    QCoro::Task<Read<FolderDevices>> listFolderDevices(QString base, QString key) const;
    QCoro::Task<Read<QList<QJsonObject>>> listDevices(QString base, QString key) const;
    // The node's folder objects as it returned them.
    QCoro::Task<Read<QList<QJsonObject>>> listFolders(QString base, QString key) const;

private:
    // The body of an accepted GET when it is a JSON array of objects only.
    QCoro::Task<Read<QList<QJsonObject>>> getObjects(QString base, QString key, QString path) const;

    std::shared_ptr<QNetworkAccessManager> m_session;
};

} // namespace tw

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
    // Folder ID to the folder's device entries, each as the node returned it.
    using FolderDevices = QMap<QString, QList<QJsonObject>>;

    enum class Outcome {
        NotSent,  // no URL could be formed, or a loopback-only run's host is not on loopback
        Failed,   // transport error, no HTTP answer, or a status other than 200
        Accepted, // status 200
    };

    struct Answer
    {
        Outcome outcome = Outcome::NotSent;
        QByteArray body;

        bool accepted() const { return outcome == Outcome::Accepted; }
    };

    static constexpr int kTimeoutMs = 8'000;

    explicit NodeClient(std::shared_ptr<QNetworkAccessManager> session = RestTransport::makeSession());

    // One request; a body goes as compact JSON with its Content-Type.
    QCoro::Task<Answer> send(QString base, QString key, QByteArray method, QString path, QueryItems query = {},
                             std::optional<QJsonObject> body = std::nullopt) const;
    // The body of an accepted GET when it is a JSON object.
    QCoro::Task<std::optional<QJsonObject>> getObject(QString base, QString key, QString path) const;

    // "myID" of the node's system status when it is a non-empty string.
    QCoro::Task<std::optional<QString>> fetchDeviceID(QString base, QString key) const;
    // Every folder with a string "id"; a later folder of the same ID replaces
    // an earlier one; "devices" that is not an array of objects reads as none.
    QCoro::Task<std::optional<FolderDevices>> listFolderDevices(QString base, QString key) const;
    QCoro::Task<std::optional<QList<QJsonObject>>> listDevices(QString base, QString key) const;

private:
    // The body of an accepted GET when it is a JSON array of objects only.
    QCoro::Task<std::optional<QList<QJsonObject>>> getObjects(QString base, QString key, QString path) const;

    std::shared_ptr<QNetworkAccessManager> m_session;
};

} // namespace tw

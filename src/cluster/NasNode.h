#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

namespace tw {

// One registered always-on node: a Syncthing that this Mac drives over its
// REST interface. Identified by its device ID.
struct NasNode
{
    QString baseURL;  // as normalised at registration: no trailing "/"
    QString deviceID; // as the node reported it
    QString name;

    bool operator==(const NasNode &) const = default;

    QJsonObject toJson() const;
    // All three keys are required strings; throws JsonDecodeError otherwise.
    static NasNode fromJson(const QJsonObject &object);

    // The content of the node list file: a compact array in list order.
    static QByteArray listToFile(const QList<NasNode> &nodes);
    // Throws JsonDecodeError unless the body is an array of nodes.
    static QList<NasNode> listFromFile(const QByteArray &body);
};

} // namespace tw

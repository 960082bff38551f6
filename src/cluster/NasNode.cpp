#include "cluster/NasNode.h"

#include "utilities/StrictJson.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace tw {

QJsonObject NasNode::toJson() const
{
    QJsonObject object;
    object.insert(QStringLiteral("baseURL"), baseURL);
    object.insert(QStringLiteral("deviceID"), deviceID);
    object.insert(QStringLiteral("name"), name);
    return object;
}

NasNode NasNode::fromJson(const QJsonObject &object)
{
    const StrictJson json(object);
    return {json.string(QStringLiteral("baseURL")), json.string(QStringLiteral("deviceID")),
            json.string(QStringLiteral("name"))};
}

QByteArray NasNode::listToFile(const QList<NasNode> &nodes)
{
    QJsonArray array;
    for (const NasNode &node : nodes)
        array.append(node.toJson());
    // The file's other writers escape every solidus; doing the same keeps the
    // file byte for byte what they would write. Outside strings a compact
    // array of these objects holds no "/".
    return QJsonDocument(array).toJson(QJsonDocument::Compact).replace("/", "\\/");
}

QList<NasNode> NasNode::listFromFile(const QByteArray &body)
{
    QList<NasNode> nodes;
    const QJsonArray array = StrictJson::parseArray(body);
    for (const QJsonValue &value : array)
        nodes.append(fromJson(StrictJson::toObject(value, QStringLiteral("node"))));
    return nodes;
}

} // namespace tw

#include "engine/model/FolderDiagStatus.h"

#include "utilities/StrictJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

namespace tw {

QByteArray FolderDiagStatus::encodeList(const QList<FolderDiagStatus> &list)
{
    QJsonArray array;
    for (const FolderDiagStatus &status : list) {
        array.append(QJsonObject{
            {QStringLiteral("folderID"), status.folderID},
            {QStringLiteral("label"), status.label},
            {QStringLiteral("state"), status.state},
            {QStringLiteral("localBytes"), status.localBytes},
            {QStringLiteral("globalBytes"), status.globalBytes},
            {QStringLiteral("needBytes"), status.needBytes},
            {QStringLiteral("needItems"), status.needItems},
        });
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

std::optional<QList<FolderDiagStatus>> FolderDiagStatus::decodeList(const QByteArray &json)
{
    try {
        QList<FolderDiagStatus> list;
        for (const QJsonValue &value : StrictJson::parseArray(json)) {
            const StrictJson object(StrictJson::toObject(value, QStringLiteral("element")));
            // A peer's negative count means nothing the screens could show.
            const auto count = [&object](const char *key) {
                return std::max<qint64>(0, object.integer(QString::fromLatin1(key)));
            };
            list.append({object.string(QStringLiteral("folderID")), object.string(QStringLiteral("label")),
                         object.string(QStringLiteral("state")), count("localBytes"), count("globalBytes"),
                         count("needBytes"), count("needItems")});
        }
        return list;
    } catch (const JsonDecodeError &) {
        return std::nullopt;
    }
}

} // namespace tw

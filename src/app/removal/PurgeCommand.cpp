#include "app/removal/PurgeCommand.h"

#include "utilities/JsonDecodeError.h"
#include "utilities/StrictJson.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace tw {

QByteArray PurgeCommand::encode() const
{
    QJsonObject object;
    object.insert(QStringLiteral("folderID"), folderID);
    object.insert(QStringLiteral("path"), path);
    object.insert(QStringLiteral("nonce"), nonce);
    object.insert(QStringLiteral("timestamp"), timestamp);
    object.insert(QStringLiteral("hmac"), hmac);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<PurgeCommand> PurgeCommand::decode(const QByteArray &body)
{
    try {
        const StrictJson json(StrictJson::parseObject(body));
        PurgeCommand command;
        command.folderID = json.string(QStringLiteral("folderID"));
        command.path = json.string(QStringLiteral("path"));
        command.nonce = json.string(QStringLiteral("nonce"));
        command.timestamp = json.integer(QStringLiteral("timestamp"));
        command.hmac = json.string(QStringLiteral("hmac"));
        return command;
    } catch (const JsonDecodeError &) {
        return std::nullopt;
    }
}

} // namespace tw

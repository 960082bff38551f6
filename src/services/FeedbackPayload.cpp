#include "services/FeedbackPayload.h"

#include "utilities/JsonDecodeError.h"
#include "utilities/StrictJson.h"

namespace tw {
namespace {

const QString textKey = QStringLiteral("text");
const QString userNameKey = QStringLiteral("userName");
const QString appVersionKey = QStringLiteral("appVersion");
const QString osVersionKey = QStringLiteral("osVersion");
const QString appModuleKey = QStringLiteral("appModule");
const QString diagnoseKey = QStringLiteral("diagnose");
const QString emailKey = QStringLiteral("submitterEmail");
const QString screenshotKey = QStringLiteral("screenshotPNG");

std::optional<QByteArray> base64Bytes(const std::optional<QString> &text)
{
    if (!text)
        return std::nullopt;
    QByteArray::FromBase64Result decoded =
        QByteArray::fromBase64Encoding(text->toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        throw JsonDecodeError(QStringLiteral("key \"%1\": expected Base64").arg(screenshotKey));
    return std::move(decoded.decoded);
}

} // namespace

QJsonObject FeedbackPayload::toJson() const
{
    QJsonObject object;
    object.insert(textKey, text);
    object.insert(userNameKey, userName);
    object.insert(appVersionKey, appVersion);
    object.insert(osVersionKey, osVersion);
    object.insert(appModuleKey, appModule);
    object.insert(diagnoseKey, diagnose);
    if (submitterEmail)
        object.insert(emailKey, *submitterEmail);
    if (screenshotPNG)
        object.insert(screenshotKey, QString::fromLatin1(screenshotPNG->toBase64()));
    return object;
}

FeedbackPayload FeedbackPayload::fromJson(const QJsonObject &object)
{
    const StrictJson json(object);
    return {json.string(textKey),
            json.string(userNameKey),
            json.string(appVersionKey),
            json.string(osVersionKey),
            json.string(appModuleKey),
            json.string(diagnoseKey),
            json.optionalString(emailKey),
            base64Bytes(json.optionalString(screenshotKey))};
}

QList<QPair<QString, QString>> FeedbackPayload::uploadFields() const
{
    QList<QPair<QString, QString>> fields = {
        {QStringLiteral("text"), text},
        {QStringLiteral("user_name"), userName},
        {QStringLiteral("app_version"), appVersion},
        {QStringLiteral("os_version"), osVersion},
        {QStringLiteral("app_module"), appModule},
        {QStringLiteral("diagnose"), diagnose},
    };
    if (submitterEmail && !submitterEmail->isEmpty())
        fields.append({QStringLiteral("submitter_email"), *submitterEmail});
    return fields;
}

} // namespace tw

#include "app/PurgeAnswer.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace tw {
namespace {

const QString kBadRequest = QStringLiteral("400 Bad Request");
const QString kForbidden = QStringLiteral("403 Forbidden");
const QString kConflict = QStringLiteral("409 Conflict");
const QString kOk = QStringLiteral("200 OK");

PurgeAnswer answer(const QString &statusLine, bool ok, const QString &key, const QJsonValue &value)
{
    QJsonObject object;
    object.insert(QStringLiteral("ok"), ok);
    object.insert(key, value);
    return {statusLine, QJsonDocument(object).toJson(QJsonDocument::Compact)};
}

PurgeAnswer refusal(const QString &statusLine, const QString &error)
{
    return answer(statusLine, false, QStringLiteral("error"), error);
}

} // namespace

PurgeAnswer PurgeAnswer::badRequest()
{
    return refusal(kBadRequest, QStringLiteral("bad request"));
}

PurgeAnswer PurgeAnswer::noSharedSecret()
{
    return refusal(kForbidden, QStringLiteral("no shared secret"));
}

PurgeAnswer PurgeAnswer::badSignature()
{
    return refusal(kForbidden, QStringLiteral("bad signature"));
}

PurgeAnswer PurgeAnswer::replay()
{
    return answer(kOk, true, QStringLiteral("replay"), true);
}

PurgeAnswer PurgeAnswer::inProgress()
{
    return refusal(kConflict, QStringLiteral("in progress"));
}

PurgeAnswer PurgeAnswer::notSharedFolder()
{
    return refusal(kForbidden, QStringLiteral("not a shared folder"));
}

PurgeAnswer PurgeAnswer::noLocalFolder()
{
    return refusal(QStringLiteral("404 Not Found"), QStringLiteral("no local folder"));
}

PurgeAnswer PurgeAnswer::badPath()
{
    return refusal(kBadRequest, QStringLiteral("bad path"));
}

PurgeAnswer PurgeAnswer::escapesFolder()
{
    return refusal(kBadRequest, QStringLiteral("escapes folder"));
}

PurgeAnswer PurgeAnswer::symlink()
{
    return refusal(kBadRequest, QStringLiteral("symlink"));
}

PurgeAnswer PurgeAnswer::ignoreNotCommitted()
{
    return refusal(kConflict, QStringLiteral("ignore not committed — aborted before delete"));
}

PurgeAnswer PurgeAnswer::deleted(qint64 bytes)
{
    return answer(kOk, true, QStringLiteral("deletedBytes"), bytes);
}

PurgeAnswer PurgeAnswer::deleteFailed()
{
    return refusal(QStringLiteral("500 Internal Server Error"), QStringLiteral("delete failed"));
}

PurgeAnswer PurgeAnswer::unavailable()
{
    return {QStringLiteral("503 Service Unavailable"), QByteArrayLiteral("{\"ok\":false}")};
}

bool PurgeAnswer::isDone(int httpStatus, const QByteArray &body)
{
    const QJsonValue ok = QJsonDocument::fromJson(body).object().value(QStringLiteral("ok"));
    return httpStatus == 200 && ok.isBool() && ok.toBool();
}

} // namespace tw

#include "app/removal/PurgeAnswer.h"

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

const QString kNoSharedSecret = QStringLiteral("no shared secret");
const QString kBadSignature = QStringLiteral("bad signature");
constexpr qsizetype kLongestReason = 80;

// Each refusal of a missing or different key can only be mended by hand.
const QString kNoKeyThere =
    QStringLiteral("it holds no team key \u2014 both Macs need the same team key (Settings \u2192 Team)");
const QString kOtherKeyThere = QStringLiteral(
    "its team key or clock differs \u2014 both Macs need the same team key (Settings \u2192 Team)");

// The peer's own error text, kept to one short line of printable characters.
QString peerReason(const QString &error)
{
    QString line;
    for (const QChar c : error.left(kLongestReason))
        line.append(c.isPrint() ? c : QChar(u' '));
    return line.simplified();
}

QString reasonOf(int httpStatus, const QString &error)
{
    if (error == kNoSharedSecret)
        return kNoKeyThere;
    if (error == kBadSignature)
        return kOtherKeyThere;
    const QString reason = peerReason(error);
    return reason.isEmpty() ? QStringLiteral("answered %1").arg(httpStatus) : reason;
}

} // namespace

PurgeAnswer PurgeAnswer::badRequest()
{
    return refusal(kBadRequest, QStringLiteral("bad request"));
}

PurgeAnswer PurgeAnswer::noSharedSecret()
{
    return refusal(kForbidden, kNoSharedSecret);
}

PurgeAnswer PurgeAnswer::badSignature()
{
    return refusal(kForbidden, kBadSignature);
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

std::optional<PurgeAnswer::Refusal> PurgeAnswer::refusalIn(int httpStatus, const QByteArray &body)
{
    if (isDone(httpStatus, body))
        return std::nullopt;
    if (httpStatus == 0)
        return Refusal{};
    const QJsonValue error = QJsonDocument::fromJson(body).object().value(QStringLiteral("error"));
    // A request refused as such is refused again; a busy or failing Mac may do it later.
    const bool lasting = httpStatus >= 400 && httpStatus < 500 && httpStatus != 409;
    return Refusal{reasonOf(httpStatus, error.toString()), lasting};
}

} // namespace tw

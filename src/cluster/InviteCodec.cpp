#include "cluster/InviteCodec.h"

#include <QUrlQuery>

namespace tw {

namespace {

QString payloadOf(const Invite &invite)
{
    return QString::fromLatin1(
        invite.toJson().toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

} // namespace

QString InviteCodec::code(const Invite &invite)
{
    return codePrefix + payloadOf(invite);
}

std::optional<QUrl> InviteCodec::url(const Invite &invite)
{
    const QUrl link(linkPrefix + payloadOf(invite), QUrl::StrictMode);
    return link.isValid() ? std::optional(link) : std::nullopt;
}

std::optional<QString> InviteCodec::linkPayload(const QUrl &url)
{
    if (!url.isValid())
        return std::nullopt;
    // FullyDecoded: the default form would keep "%2B" and "%26" encoded. A
    // "d" without a value reads as empty text, which holds no invite.
    for (const auto &[name, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
        if (name == QLatin1String("d"))
            return value;
    }
    return std::nullopt;
}

std::optional<Invite> InviteCodec::fromURL(const QUrl &url)
{
    const std::optional<QString> payload = linkPayload(url);
    return payload ? fromBlob(*payload) : std::nullopt;
}

InviteCodec::Payload InviteCodec::payloadIn(const QUrl &url)
{
    const std::optional<QString> payload = linkPayload(url);
    if (!payload)
        return Payload::Absent;
    const std::optional<QByteArray> json = jsonOf(*payload);
    return json && Invite::readJson(*json) ? Payload::Readable : Payload::Unreadable;
}

std::optional<Invite> InviteCodec::decode(const QString &text)
{
    const QString t = text.trimmed();
    // Tested on the raw text: as a URL scheme the prefix would be lower-cased.
    // Link-shaped text that does not parse gives nothing: no later form can
    // hold its ":" and "/".
    if (t.startsWith(QLatin1String("tidewellsync://"), Qt::CaseInsensitive))
        return fromURL(QUrl(t, QUrl::StrictMode));
    if (t.startsWith(codePrefix)) {
        if (std::optional<Invite> invite = fromBlob(t.mid(codePrefix.size())))
            return invite;
    }
    if (std::optional<Invite> invite = fromBlob(t))
        return invite;
    return fromDeviceID(t);
}

std::optional<QByteArray> InviteCodec::jsonOf(const QString &payload)
{
    QByteArray base64 = payload.toUtf8().replace('-', '+').replace('_', '/');
    while (base64.size() % 4 != 0)
        base64.append('=');
    QByteArray::FromBase64Result bytes =
        QByteArray::fromBase64Encoding(base64, QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    return bytes ? std::optional(std::move(bytes.decoded)) : std::nullopt;
}

std::optional<Invite> InviteCodec::fromBlob(const QString &payload)
{
    const std::optional<QByteArray> json = jsonOf(payload);
    return json ? Invite::fromJson(*json) : std::nullopt;
}

std::optional<Invite> InviteCodec::fromDeviceID(const QString &text)
{
    // Counted and classified by code point, so a letter outside the basic
    // plane counts once.
    const QList<uint> characters = QString(text).remove(QLatin1Char('-')).toUcs4();
    if (characters.size() < 50)
        return std::nullopt;
    for (const uint c : characters) {
        if (!QChar::isLetterOrNumber(char32_t(c)))
            return std::nullopt;
    }
    return Invite{.deviceID = text, .name = {}, .project = {}, .tsIP = std::nullopt};
}

} // namespace tw

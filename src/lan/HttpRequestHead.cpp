#include "lan/HttpRequestHead.h"

#include "utilities/ParseDecimal.h"
#include "utilities/TrimSpacesAndTabs.h"

#include <QByteArray>
#include <QStringList>
#include <optional>

namespace tw {
namespace {

const QString crlf = QStringLiteral("\r\n");

// The trimmed text after the line's first colon when the line is the named
// header, matched without regard to case.
std::optional<QString> headerValue(const QString &line, const QString &lowerName)
{
    if (!line.toLower().startsWith(lowerName + u':'))
        return std::nullopt;
    return trimSpacesAndTabs(line.mid(line.indexOf(u':') + 1));
}

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// RFC 3986 percent-decoding; nothing when an escape is malformed or the
// decoded bytes are not UTF-8.
std::optional<QString> percentDecoded(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    QByteArray bytes;
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        if (utf8[i] != '%') {
            bytes.append(utf8[i]);
            continue;
        }
        if (i + 2 >= utf8.size() || !isHexDigit(utf8[i + 1]) || !isHexDigit(utf8[i + 2]))
            return std::nullopt;
        bytes.append(static_cast<char>(QByteArray::fromHex(utf8.mid(i + 1, 2)).at(0)));
        i += 2;
    }
    QString decoded = QString::fromUtf8(bytes);
    if (decoded.toUtf8() != bytes)
        return std::nullopt;
    return decoded;
}

} // namespace

HttpRequestHead HttpRequestHead::parse(const QString &head)
{
    const QStringList lines = head.split(crlf);
    const QStringList requestLine = lines.isEmpty() ? QStringList{} : lines.first().split(u' ', Qt::SkipEmptyParts);
    HttpRequestHead result;
    result.method = requestLine.value(0, QStringLiteral("GET"));
    const QString target = requestLine.value(1, QStringLiteral("/"));

    const QString senderHeader = QStringLiteral("x-tidewell-from");
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (const auto value = headerValue(lines[i], senderHeader))
            result.senderID = *value;
    }

    const QStringList targetParts = target.split(u'?', Qt::SkipEmptyParts);
    result.path = targetParts.value(0, target);
    result.query = targetParts.value(1);
    return result;
}

qint64 HttpRequestHead::contentLength(const QString &head)
{
    const QString name = QStringLiteral("content-length");
    for (const QString &line : head.split(crlf, Qt::SkipEmptyParts)) {
        if (const auto value = headerValue(line, name))
            return parseDecimal(*value).value_or(0);
    }
    return 0;
}

QString HttpRequestHead::queryValue(const QString &key, const QString &query)
{
    for (const QString &piece : query.split(u'&', Qt::SkipEmptyParts)) {
        // Splitting once at "=" while dropping empty pieces skips any leading
        // "=" before the name.
        qsizetype start = 0;
        while (start < piece.size() && piece[start] == u'=')
            ++start;
        const QString pair = piece.mid(start);
        const qsizetype equals = pair.indexOf(u'=');
        const QString name = equals < 0 ? pair : pair.left(equals);
        if (name != key)
            continue;
        const QString value = equals < 0 ? QString() : pair.mid(equals + 1);
        return percentDecoded(value).value_or(value);
    }
    return QString();
}

} // namespace tw

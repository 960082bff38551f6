#pragma once

#include <QString>

namespace tw {

// The parts of an HTTP request head that the LAN status server routes on.
// Parsing is forgiving: a missing request line means GET /, a missing target
// means /, and every header but the sender's is ignored.
struct HttpRequestHead
{
    QString method;
    QString path;
    QString query;     // the text after the first "?", up to a second "?"
    QString senderID;  // the last "X-Tidewell-From" header, trimmed; empty when absent

    bool operator==(const HttpRequestHead &) const = default;

    // `head` is the request up to (not including) its blank line.
    static HttpRequestHead parse(const QString &head);

    // The value of the first Content-Length line, or 0 when there is none or
    // it is not a decimal integer; negative values are passed on as they are.
    static qint64 contentLength(const QString &head);

    // The percent-decoded value of the first `key=value` pair in the query,
    // empty when there is none. A malformed escape leaves the value undecoded;
    // "+" stays "+".
    static QString queryValue(const QString &key, const QString &query);
};

} // namespace tw

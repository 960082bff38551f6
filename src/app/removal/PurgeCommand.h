#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace tw {

// The body of POST /purge: which subfolder of which engine folder to remove,
// with the one-time nonce, the sending time and the signature over them.
struct PurgeCommand
{
    QString folderID;
    QString path;
    QString nonce;
    // Seconds since 1970.
    qint64 timestamp = 0;
    QString hmac;

    bool operator==(const PurgeCommand &) const = default;

    // A compact JSON object; the receiver ignores further keys.
    QByteArray encode() const;
    // Nothing unless the body is an object with the five keys of their exact
    // JSON types (a timestamp with a fraction or in quotes is refused).
    static std::optional<PurgeCommand> decode(const QByteArray &body);
};

} // namespace tw

#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace tw {

// What the receiver of a purge command answers: a status line and a compact
// JSON body that always holds "ok". One constructor per answer, in the order
// the receiver checks a command.
struct PurgeAnswer
{
    QString statusLine;
    QByteArray body;

    static PurgeAnswer badRequest();
    static PurgeAnswer noSharedSecret();
    static PurgeAnswer badSignature();
    // The nonce was taken before: done, nothing done again.
    static PurgeAnswer replay();
    // A command with the same nonce is running now.
    static PurgeAnswer inProgress();
    static PurgeAnswer notSharedFolder();
    static PurgeAnswer noLocalFolder();
    static PurgeAnswer badPath();
    static PurgeAnswer escapesFolder();
    static PurgeAnswer symlink();
    static PurgeAnswer ignoreNotCommitted();
    static PurgeAnswer deleted(qint64 bytes);
    static PurgeAnswer deleteFailed();
    // The environment went away while the command was handled.
    static PurgeAnswer unavailable();

    // The sender counts a Mac as done only on status 200 with a JSON object
    // body whose "ok" is the Boolean true.
    static bool isDone(int httpStatus, const QByteArray &body);

    // Why a Mac did not count as done, as the sender tells the user.
    struct Refusal
    {
        // Empty when there was no answer (status 0).
        QString reason;
        // Set for refusals that running again cannot get past.
        bool lasting = false;

        bool operator==(const Refusal &) const = default;
    };
    // Nothing for an answer that counts as done.
    static std::optional<Refusal> refusalIn(int httpStatus, const QByteArray &body);
};

} // namespace tw

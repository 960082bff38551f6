#pragma once

#include "utilities/AppPaths.h"

#include <QByteArray>
#include <QString>
#include <chrono>
#include <optional>

namespace tw {

// How a second copy hands its link (or "show") to the copy that holds the
// instance lock: one UTF-8 line over a local socket in the runtime
// directory, answered by one line once taken.
class InstanceChannel
{
public:
    static constexpr qsizetype maxLineBytes = 64 * 1024;
    static constexpr std::chrono::milliseconds answerWait{2000};
    static inline const QString showRequest = QStringLiteral("show");
    static inline const QByteArray answer = QByteArrayLiteral("ok\n");

    // The socket's path for this root; one per root, so tests with temporary
    // roots never meet the user's own copy.
    static QString socketPath(const AppPaths &paths);
    static QString socketPath(const AppPaths &paths, const QString &runtimeDirectory);
    // What a copy started with these arguments (program name first) asks of
    // the running one: its link, or "show".
    static QString requestFor(const QStringList &arguments);
    // The line as sent, or nothing when it is too long or not UTF-8.
    static std::optional<QString> decodeLine(const QByteArray &line);
    // How a line fared: taken; nobody listening on the socket within the
    // wait (a holder still starting, or one quitting, which stops listening
    // first); or not taken (no answer in time, another answer, a line that
    // cannot be sent).
    enum class Delivery { Taken, NotListening, NotTaken };
    // Sends the line and waits for the answer. Blocking: the second copy has
    // nothing else to do.
    static Delivery deliver(const QString &socketPath, const QString &line,
                            std::chrono::milliseconds wait = answerWait);
    // Whether deliver() had the line taken.
    static bool forward(const QString &socketPath, const QString &line,
                        std::chrono::milliseconds wait = answerWait);
};

} // namespace tw

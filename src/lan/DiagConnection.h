#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpSocket>
#include <QTimer>
#include <chrono>

namespace tw {

// One connection of the LAN status server: it gathers exactly one request
// within the size limits, hands it on, writes the one answer and closes.
//
// The connection owns its socket and deletes itself once the socket is gone,
// whether the answer was written, a limit was hit, the peer went away, the
// request was not complete by its deadline or the answer stalled for longer
// than the idle time-out (no byte written). Whoever keeps a pointer to it
// holds a QPointer.
class DiagConnection : public QObject
{
    Q_OBJECT
public:
    // A head without its blank line may grow to this many bytes; a request
    // whose body is incomplete may be buffered up to the second limit.
    static constexpr qsizetype headLimit = 65'536;
    static constexpr qsizetype requestLimit = 1'000'000;

    struct Timeouts
    {
        // Head and body must have arrived this long after the connection was
        // taken; bytes that keep trickling in do not extend it.
        std::chrono::milliseconds requestDeadline;
        // While the answer goes out, the longest wait for the peer to take
        // more of it.
        std::chrono::milliseconds answerIdle;
    };

    DiagConnection(QTcpSocket *socket, Timeouts timeouts, QObject *parent = nullptr);

    // The address the request came from, as the socket reports it.
    QString peerAddress() const;

    // Still gathering the request head: nothing has been handed on yet.
    bool awaitingHead() const { return m_receiving && m_headEnd < 0; }

    // Writes the answer, then closes once it has gone out.
    void send(const QString &status, const QString &contentType, const QByteArray &body);
    // Closes at once without an answer.
    void cancel();

    // The bytes of an answer: status line, content type with its charset,
    // length, "Connection: close", blank line, body.
    static QByteArray answer(const QString &status, const QString &contentType, const QByteArray &body);

signals:
    // Emitted once, when a complete request has arrived; `head` is the text
    // before the blank line, `body` exactly Content-Length bytes.
    void requestReceived(const QString &head, const QByteArray &body);

private:
    void onReadyRead();
    // Appends one chunk; false once the connection has stopped receiving.
    bool receive(const QByteArray &chunk);
    void finish();

    QPointer<QTcpSocket> m_socket;
    QTimer m_requestDeadline;
    QTimer m_idleTimer;
    QByteArray m_buffer;
    qsizetype m_headEnd = -1;  // offset of the blank line once found
    QString m_head;
    qint64 m_contentLength = 0;
    bool m_receiving = true;
};

} // namespace tw

#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QTcpServer>
#include <QUrl>
#include <functional>
#include <optional>

class QTcpSocket;

namespace tw {

// A small HTTP/1.1 server on 127.0.0.1 for client tests: it records every
// request exactly as it arrived and answers with canned responses. Each answer
// closes the connection, so a client never depends on keep-alive.
class FakeHttpServer : public QObject
{
    Q_OBJECT
public:
    struct Request
    {
        QByteArray method;
        QByteArray target; // path and query exactly as sent on the request line
        QList<QPair<QByteArray, QByteArray>> headers; // in arrival order, names as sent
        QByteArray body;

        QByteArray path() const;
        // The raw query (without "?"), or nullopt when the target has no "?".
        std::optional<QByteArray> query() const;
        // Case-insensitive; nullopt when the header was not sent.
        std::optional<QByteArray> header(const QByteArray &name) const;
    };

    struct Response
    {
        int status = 200;
        QByteArray reason; // empty: a generic phrase
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray body;
        // Sent verbatim instead of a formed response when set.
        std::optional<QByteArray> raw;
        // Close the connection without sending anything.
        bool closeWithoutAnswer = false;
        // Wait this long before answering (or closing).
        int delayMs = 0;
        // Send the answer one byte at a time, this far apart.
        int dripMs = 0;

        static Response json(QByteArray body, int status = 200);
        static Response text(int status, QByteArray body);
        static Response rawBytes(QByteArray bytes);
        static Response dropConnection();
    };

    using Handler = std::function<Response(const Request &)>;

    explicit FakeHttpServer(QObject *parent = nullptr);
    ~FakeHttpServer() override;

    // Listens on 127.0.0.1 on a free port.
    bool listen();
    quint16 port() const;
    // "http://127.0.0.1:<port>", no trailing slash.
    QUrl baseURL() const;

    // Responses queued here are used first, in order; then the handler, if any;
    // then the default response (200 with an empty body unless changed).
    void enqueue(Response response);
    void setHandler(Handler handler);
    void setDefaultResponse(Response response);

    const QList<Request> &requests() const { return m_requests; }
    void clearRequests() { m_requests.clear(); }

    // A loopback port that nothing listens on (bound briefly, then released).
    static quint16 closedPort();

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const Request &request);
    Response responseFor(const Request &request);

    QTcpServer m_server;
    QList<Request> m_requests;
    QList<Response> m_queue;
    Handler m_handler;
    Response m_default;
};

} // namespace tw

#pragma once

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>
#include <functional>
#include <optional>

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
        QByteArray method = {};
        QByteArray target = {}; // path and query exactly as sent on the request line
        QList<QPair<QByteArray, QByteArray>> headers = {}; // in arrival order, names as sent
        QByteArray body = {};

        QByteArray path() const { return target.split('?').first(); }
        // Case-insensitive; nullopt when the header was not sent.
        std::optional<QByteArray> header(const QByteArray &name) const;
    };

    struct Response
    {
        int status = 200;
        QList<QPair<QByteArray, QByteArray>> headers = {};
        QByteArray body = {};
        // Sent verbatim instead of a formed response when set.
        std::optional<QByteArray> raw = std::nullopt;
        // Wait this long before answering.
        int delayMs = 0;
        // Send the head at once, then the body one byte at a time, this far apart.
        int dripMs = 0;

        static Response json(QByteArray body)
        {
            return {.headers = {{"Content-Type", "application/json"}}, .body = std::move(body)};
        }
        static Response text(int status, QByteArray body)
        {
            return {.status = status, .headers = {{"Content-Type", "text/plain; charset=utf-8"}}, .body = std::move(body)};
        }
    };

    using Handler = std::function<Response(const Request &)>;

    explicit FakeHttpServer(QObject *parent = nullptr);

    // Listens on 127.0.0.1 on a free port.
    bool listen() { return listen(QHostAddress(QHostAddress::LocalHost)); }
    // Listens on another loopback address ("::1") on a free port.
    bool listen(const QHostAddress &loopback) { return loopback.isLoopback() && m_server.listen(loopback, 0); }
    // Stops listening, as a server switched off: new connections are refused.
    void close() { m_server.close(); }
    quint16 port() const { return m_server.serverPort(); }
    // "http://127.0.0.1:<port>", no trailing slash.
    QUrl baseURL() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port())); }

    // Responses queued here are used first, in order; then the handler, if any;
    // then 200 with an empty body.
    void enqueue(Response response) { m_queue.append(std::move(response)); }
    void setHandler(Handler handler) { m_handler = std::move(handler); }
    // While held, requests are recorded but answered only once released;
    // with `which`, only the requests it picks wait, the others are answered.
    void hold(std::function<bool(const Request &)> which = {})
    {
        m_held = true;
        m_holds = std::move(which);
    }
    void release();

    const QList<Request> &requests() const { return m_requests; }

private:
    void onReadyRead(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const Response &response);
    void respond(QTcpSocket *socket, const Request &request);

    QTcpServer m_server;
    QList<Request> m_requests;
    QList<Response> m_queue;
    Handler m_handler;
    bool m_held = false;
    std::function<bool(const Request &)> m_holds;
    QList<QPair<QPointer<QTcpSocket>, Request>> m_waiting;
};

} // namespace tw

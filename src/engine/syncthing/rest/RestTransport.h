#pragma once

#include "utilities/JsonDecodeError.h"

#include <QByteArray>
#include <QList>
#include <QNetworkRequest>
#include <QPair>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <qcoro/qcorotask.h>
#include <memory>
#include <optional>

class QNetworkAccessManager;

namespace tw {

// Requests to Syncthing's REST interface on loopback: forming them, sending
// them and reading their answers. An immutable value: copies share one network
// manager, so a task that copied the transport keeps the manager alive while
// its reply is pending, whoever drops the original.
//
// Every request is sent exactly once, never retried. Failures are
// SyncEngineError: a status outside 200..299 is http(status, body), a failed
// exchange is backend(<Qt's description>), an undecodable answer is
// backend("Failed to decode <type>: <detail>").
//
// Members are read only before an operation's first suspension; everything
// the request needs after that travels in the coroutine frame.
class RestTransport
{
public:
    using QueryItems = QList<QPair<QString, QString>>;

    // A request formed by the transport's rules, ready for send().
    struct PreparedRequest
    {
        QNetworkRequest request;
        QByteArray method;
        std::optional<QByteArray> body; // absent: no body and no Content-Type
        // When set, the request is aborted (and fails) once this object is
        // destroyed: a way to end a long poll that nobody awaits any more.
        QPointer<QObject> cancelScope = nullptr;
    };

    // Per-request transfer time-out; long polls get their own wait added.
    static constexpr int kTransferTimeoutMs = 60'000;
    static constexpr int kLongPollMarginMs = 15'000;
    static constexpr int kScanTimeoutMs = 30 * 60'000;

    // A manager for one client: no proxy, no redirects, no cache, no cookies.
    static std::shared_ptr<QNetworkAccessManager> makeSession();

    RestTransport(QUrl baseURL, QString apiKey, std::shared_ptr<QNetworkAccessManager> session = makeSession());

    const QUrl &baseURL() const { return m_baseURL; }
    const QString &apiKey() const { return m_apiKey; }
    const std::shared_ptr<QNetworkAccessManager> &session() const { return m_session; }

    // Forms a request: path and query values percent-encoded here (a "/" in
    // the path stays a separator), the API key set, and a Content-Type only
    // when there is a body. A path with a "." or ".." segment throws
    // SyncEngineError::backend: Qt would resolve it to another endpoint.
    PreparedRequest prepare(QByteArray method, const QString &path, const QueryItems &query = {},
                            std::optional<QByteArray> body = std::nullopt) const;
    // Performs one request and answers the body of a 2xx response.
    static QCoro::Task<QByteArray> send(std::shared_ptr<QNetworkAccessManager> session, PreparedRequest prepared);
    QCoro::Task<QByteArray> send(PreparedRequest prepared) const;

    // Runs a decoder over a body; JsonDecodeError becomes
    // backend("Failed to decode <typeName>: <detail>").
    template <typename Decoder>
    static auto decode(const QString &typeName, const QByteArray &body, Decoder decoder) -> decltype(decoder(body));

    // Percent-encodes everything but unreserved characters (and "/" when
    // keepSlash), so that no server reads "+" as a space.
    static QByteArray percentEncode(const QString &text, bool keepSlash);

protected:
    // How a body becomes a T, and the type an undecodable body is reported as.
    template <typename T>
    struct BodyDecoder
    {
        QString typeName;
        T (*read)(const QByteArray &body);
    };

    // One GET whose 2xx body goes through decoder.
    template <typename T>
    QCoro::Task<T> getDecoded(QString path, QueryItems query, BodyDecoder<T> decoder) const;
    // One request whose 2xx body is of no interest.
    QCoro::Task<> perform(QByteArray method, QString path, QueryItems query = {},
                          std::optional<QByteArray> body = std::nullopt) const;

private:
    [[noreturn]] static void throwDecodeError(const QString &typeName, const QString &detail);

    QUrl m_baseURL;
    QString m_apiKey;
    std::shared_ptr<QNetworkAccessManager> m_session;
};

template <typename Decoder>
auto RestTransport::decode(const QString &typeName, const QByteArray &body, Decoder decoder) -> decltype(decoder(body))
{
    try {
        return decoder(body);
    } catch (const JsonDecodeError &error) {
        throwDecodeError(typeName, error.detail());
    }
}

template <typename T>
QCoro::Task<T> RestTransport::getDecoded(QString path, QueryItems query, BodyDecoder<T> decoder) const
{
    const PreparedRequest request = prepare("GET", path, query);
    const QByteArray body = co_await send(request);
    co_return decode(decoder.typeName, body, decoder.read);
}

} // namespace tw

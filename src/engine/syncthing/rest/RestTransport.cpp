#include "engine/syncthing/rest/RestTransport.h"

#include "engine/SyncEngineError.h"
#include "utilities/DeleteLater.h"
#include "utilities/Utf8OrEmpty.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QStringList>
#include <qcoro/qcoronetworkreply.h>
#include <algorithm>

namespace tw {
namespace {

// Errors by which Qt reports that no complete response arrived. Every other
// error that comes with a status is Qt's reading of that status (a 400 or 418
// even shows up as a "protocol" error), and the status decides.
bool exchangeFailed(QNetworkReply::NetworkError error)
{
    const int code = error;
    const bool connection = code >= 1 && code <= 99;
    const bool proxy = code >= 101 && code <= 199 && error != QNetworkReply::ProxyAuthenticationRequiredError;
    return connection || proxy || error == QNetworkReply::ProtocolFailure;
}

QByteArray answerOf(QNetworkReply &reply)
{
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && !exchangeFailed(reply.error())) {
        const int code = status.toInt();
        QByteArray body = reply.readAll();
        if (code >= 200 && code <= 299)
            return body;
        throw SyncEngineError::http(code, utf8OrEmpty(body, InitialBom::Keep));
    }
    if (reply.error() != QNetworkReply::NoError)
        throw SyncEngineError::backend(reply.errorString());
    throw SyncEngineError::invalidResponse();
}

// Qt removes "." and ".." segments from every URL it sends (also when they
// are written %2E), so an identifier made of dots would silently address
// another endpoint: "/rest/config/folders/.." becomes "/rest/config", whose
// PUT replaces the whole configuration. Such a path is refused instead.
void requireNoDotSegments(const QString &path)
{
    const QStringList segments = path.split(QLatin1Char('/'));
    const bool dotted = std::any_of(segments.begin(), segments.end(), [](const QString &segment) {
        return segment == QLatin1String(".") || segment == QLatin1String("..");
    });
    if (dotted)
        throw SyncEngineError::backend(QStringLiteral("Cannot send a request for the path \"%1\": "
                                                      "\".\" and \"..\" cannot be used as names.").arg(path));
}

} // namespace

std::shared_ptr<QNetworkAccessManager> RestTransport::makeSession()
{
    // Deleted later, not at once: the last copy may be released by a task that
    // resumes inside one of the manager's own reply signals.
    std::shared_ptr<QNetworkAccessManager> session(new QNetworkAccessManager, DeleteLater());
    session->setProxy(QNetworkProxy::NoProxy);
    // The API key must never be carried to another host.
    session->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    session->setStrictTransportSecurityEnabled(false);
    session->setTransferTimeout(kTransferTimeoutMs);
    return session;
}

RestTransport::RestTransport(QUrl baseURL, QString apiKey, std::shared_ptr<QNetworkAccessManager> session)
    : m_baseURL(std::move(baseURL)), m_apiKey(std::move(apiKey)), m_session(std::move(session))
{
}

QByteArray RestTransport::percentEncode(const QString &text, bool keepSlash)
{
    return text.toUtf8().toPercentEncoding(keepSlash ? QByteArrayLiteral("/") : QByteArray());
}

void RestTransport::throwDecodeError(const QString &typeName, const QString &detail)
{
    throw SyncEngineError::backend(QStringLiteral("Failed to decode %1: %2").arg(typeName, detail));
}

RestTransport::PreparedRequest RestTransport::prepare(QByteArray method, const QString &path, const QueryItems &query,
                                                      std::optional<QByteArray> body) const
{
    requireNoDotSegments(path);
    QByteArray encoded = m_baseURL.toEncoded(QUrl::FullyEncoded);
    while (encoded.endsWith('/'))
        encoded.chop(1);
    encoded += percentEncode(path, true);
    for (qsizetype i = 0; i < query.size(); ++i) {
        encoded += i == 0 ? '?' : '&';
        encoded += percentEncode(query[i].first, false) + '=' + percentEncode(query[i].second, false);
    }

    // Strict parsing keeps every escape as formed above, so "%2B" and "%2F"
    // reach the server as they are.
    QNetworkRequest request(QUrl::fromEncoded(encoded, QUrl::StrictMode));
    request.setTransferTimeout(kTransferTimeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::AuthenticationReuseAttribute, QNetworkRequest::Manual);
    // The peer is our own child on loopback; large, well-compressed answers
    // (long version lists) must not trip Qt's decompression-bomb check.
    request.setDecompressedSafetyCheckThreshold(-1);
    request.setRawHeader(QByteArrayLiteral("X-API-Key"), m_apiKey.toUtf8());
    if (body)
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    return {request, std::move(method), std::move(body)};
}

QCoro::Task<QByteArray> RestTransport::send(std::shared_ptr<QNetworkAccessManager> session, PreparedRequest prepared)
{
    // Without a body the request goes out as a custom one: post() would add a
    // Content-Type even to an empty body.
    std::unique_ptr<QNetworkReply, DeleteLater> reply(
        prepared.body ? session->sendCustomRequest(prepared.request, prepared.method, *prepared.body)
                      : session->sendCustomRequest(prepared.request, prepared.method));
    // Queued: the abort must not resume the awaiting task inside the
    // destructor of the scope.
    if (prepared.cancelScope)
        QObject::connect(prepared.cancelScope.data(), &QObject::destroyed, reply.get(), &QNetworkReply::abort,
                         Qt::QueuedConnection);
    co_await reply.get();
    co_return answerOf(*reply);
}

QCoro::Task<QByteArray> RestTransport::send(PreparedRequest prepared) const
{
    return send(m_session, std::move(prepared));
}

QCoro::Task<> RestTransport::perform(QByteArray method, QString path, QueryItems query,
                                     std::optional<QByteArray> body) const
{
    const PreparedRequest request = prepare(std::move(method), path, query, std::move(body));
    co_await send(request);
}

} // namespace tw

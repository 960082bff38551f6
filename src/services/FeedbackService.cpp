#include "services/FeedbackService.h"

#include "engine/SyncEngineError.h"
#include "engine/syncthing/rest/RestTransport.h"
#include "services/FeedbackError.h"
#include "services/PermanentFeedbackFailure.h"
#include "utilities/JsonDecodeError.h"
#include "utilities/LoopbackOnly.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QSysInfo>
#include <QUrl>
#include <QUuid>

// The build gives these; without them the service knows no host and no
// version.
#ifndef TIDEWELL_FEEDBACK_HOST
#define TIDEWELL_FEEDBACK_HOST ""
#endif
#ifndef TIDEWELL_VERSION
#define TIDEWELL_VERSION ""
#endif
#ifndef TIDEWELL_BUILD_NUMBER
#define TIDEWELL_BUILD_NUMBER ""
#endif

namespace tw {
namespace {

using namespace std::chrono_literals;

const QList<std::chrono::milliseconds> backoffTable = {1s, 5s, 30s, 120s, 600s, 3600s};

// Refusals of the report itself; anything else may pass on another try.
const QList<int> permanentStatuses = {400, 401, 403, 404, 422};

QString orZero(const QString &value)
{
    return value.isEmpty() ? QStringLiteral("0") : value;
}

QUrl endpointURL(const QString &endpoint)
{
    const QUrl url(endpoint, QUrl::StrictMode);
    const bool web = url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http");
    if (!url.isValid() || !web || url.host().isEmpty())
        throw FeedbackError::invalidURL();
    return url;
}

// The transport's reading of the answer, in the service's own errors. A
// failed exchange is thrown on as it is.
[[noreturn]] void rethrowAsFeedbackError(const SyncEngineError &error)
{
    if (error.kind() == SyncEngineError::Kind::Http)
        throw FeedbackError::http(error.statusCode(), error.payload());
    if (error.kind() == SyncEngineError::Kind::InvalidResponse)
        throw FeedbackError::invalidResponse();
    throw error;
}

RestTransport::PreparedRequest uploadRequest(const QString &endpoint, const FeedbackPayload &payload)
{
    QNetworkRequest request(endpointURL(endpoint));
    request.setTransferTimeout(FeedbackService::kTimeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::AuthenticationReuseAttribute, QNetworkRequest::Manual);
    if (payload.screenshotPNG) {
        const QString boundary =
            QStringLiteral("----QJFeedback-") + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
        request.setRawHeader("Content-Type", "multipart/form-data; boundary=" + boundary.toUtf8());
        return {request, "POST", FeedbackService::buildMultipart(payload, *payload.screenshotPNG, boundary)};
    }
    QJsonObject object;
    for (const auto &[name, value] : payload.uploadFields())
        object.insert(name, value);
    request.setRawHeader("Content-Type", "application/json");
    return {request, "POST", QJsonDocument(object).toJson(QJsonDocument::Compact)};
}

QString recordID(const QByteArray &body)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError)
        throw JsonDecodeError(error.errorString());
    const QJsonValue id = document.object().value(QStringLiteral("id"));
    if (!document.isObject() || !id.isString())
        throw FeedbackError::invalidResponse();
    return id.toString();
}

} // namespace

FeedbackService::FeedbackService(QString endpoint, const AppPaths &paths, Sleeper sleeper, QObject *parent)
    : QObject(parent), m_endpoint(std::move(endpoint)),
      m_retryQueue(PersistentRetryQueue<Payload>::create(paths.file(QStringLiteral("feedback_queue.json")),
                                                         backoffTable, kMaxAttempts, std::move(sleeper))),
      m_session(RestTransport::makeSession())
{
}

FeedbackService &FeedbackService::shared()
{
    // Never destroyed: pending reports stay in the file for the next start.
    static FeedbackService *const instance = new FeedbackService(defaultEndpoint(), AppPaths::standard());
    return *instance;
}

QString FeedbackService::defaultEndpoint()
{
    const QString host = QStringLiteral(TIDEWELL_FEEDBACK_HOST);
    if (host.isEmpty())
        return {};
    const QString endpoint = QStringLiteral("https://") + host + QLatin1String(kRecordsPath);
    return loopbackOnlyRun() && !isLoopbackHost(QUrl(endpoint).host()) ? QString() : endpoint;
}

void FeedbackService::startQueue()
{
    if (m_endpoint.isEmpty())
        return;
    const QPointer<FeedbackService> self(this);
    m_retryQueue->setExecutor([self](Payload payload) { return upload(self, std::move(payload)); });
}

void FeedbackService::enqueue(Payload payload)
{
    m_retryQueue->enqueue(std::move(payload));
}

QCoro::Task<void> FeedbackService::upload(QPointer<FeedbackService> self, Payload payload)
{
    if (!self)
        co_return;
    std::exception_ptr failure;
    try {
        co_await self->submit(std::move(payload));
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure)
        std::rethrow_exception(classify(failure));
}

QCoro::Task<QString> FeedbackService::submit(Payload payload) const
{
    const std::shared_ptr<QNetworkAccessManager> session = m_session;
    const RestTransport::PreparedRequest request = uploadRequest(m_endpoint, payload);
    QByteArray body;
    try {
        body = co_await RestTransport::send(session, request);
    } catch (const SyncEngineError &error) {
        rethrowAsFeedbackError(error);
    }
    co_return recordID(body);
}

QByteArray FeedbackService::buildMultipart(const Payload &payload, const QByteArray &screenshot,
                                           const QString &boundary)
{
    const QByteArray delimiter = "--" + boundary.toUtf8() + "\r\n";
    QByteArray body;
    for (const auto &[name, value] : payload.uploadFields()) {
        body += delimiter + "Content-Disposition: form-data; name=\"" + name.toUtf8() + "\"\r\n\r\n";
        body += value.toUtf8() + "\r\n";
    }
    body += delimiter + "Content-Disposition: form-data; name=\"screenshot\"; filename=\"feedback.png\"\r\n";
    body += "Content-Type: image/png\r\n\r\n" + screenshot + "\r\n";
    body += "--" + boundary.toUtf8() + "--\r\n";
    return body;
}

std::exception_ptr FeedbackService::classify(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const FeedbackError &failure) {
        if (failure.kind() == FeedbackError::Kind::Http && permanentStatuses.contains(failure.statusCode()))
            return std::make_exception_ptr(PermanentFeedbackFailure(failure));
    } catch (...) {
    }
    return error;
}

QString FeedbackService::appVersion()
{
    return versionText(QStringLiteral(TIDEWELL_VERSION), QStringLiteral(TIDEWELL_BUILD_NUMBER));
}

QString FeedbackService::versionText(const QString &version, const QString &build)
{
    return orZero(version) + QStringLiteral(" (") + orZero(build) + QLatin1Char(')');
}

QString FeedbackService::osVersion()
{
    return QSysInfo::prettyProductName();
}

} // namespace tw

#pragma once

#include "services/FeedbackPayload.h"
#include "services/PersistentRetryQueue.h"
#include "utilities/AppPaths.h"
#include "utilities/Sleeper.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <qcoro/qcorotask.h>
#include <exception>
#include <memory>

class QNetworkAccessManager;

namespace tw {

// Delivers feedback reports to the maker's feedback records server. Reports
// go into a persistent retry queue ("feedback_queue.json" beside the
// application's other files) and are uploaded one at a time once
// startQueue() has run, so a report survives a missing network, a server
// error or a quit. Nothing of a failed upload reaches the user.
//
// The application uses the one shared() instance; tests build their own with
// a loopback endpoint, a temporary AppPaths and an instant sleeper.
class FeedbackService : public QObject
{
    Q_OBJECT
public:
    using Payload = FeedbackPayload;

    static constexpr const char *kRecordsPath = "/api/collections/feedback/records";
    static constexpr int kTimeoutMs = 60'000;
    static constexpr int kMaxAttempts = 12;

    // Loads any reports left in the queue file; installs no executor and
    // starts no upload. An empty endpoint never uploads.
    FeedbackService(QString endpoint, const AppPaths &paths, Sleeper sleeper = realSleeper(),
                    QObject *parent = nullptr);

    // Created on first use with the built-in endpoint; lives until the
    // process ends.
    static FeedbackService &shared();
    // "https://<host>" and the records path, with the host the build was
    // given; empty without a host, and also when a loopback-only run was asked
    // for and the host is not a loopback address.
    static QString defaultEndpoint();

    // Installs the upload executor, which also resumes draining; with no
    // endpoint it installs nothing, so reports stay in the file instead of
    // being given up. Called once at start-up, before anything else.
    void startQueue();
    // Stores the report (and starts its upload once the queue runs); returns
    // before the upload and cannot fail.
    void enqueue(Payload payload);

    // One upload attempt; answers the id of the created record.
    QCoro::Task<QString> submit(Payload payload) const;
    static QByteArray buildMultipart(const Payload &payload, const QByteArray &screenshot, const QString &boundary);
    // What the queue is to see of a failed upload: a refusal that sending
    // again cannot mend becomes a PermanentFeedbackFailure.
    static std::exception_ptr classify(std::exception_ptr error);

    // "<version> (<build>)", "0" for a value the build does not give.
    static QString appVersion();
    static QString versionText(const QString &version, const QString &build);
    // The running system's name and version.
    static QString osVersion();

    // Whether reports can ever leave this machine; without an endpoint the
    // application offers no way to write one.
    bool hasEndpoint() const { return !m_endpoint.isEmpty(); }

    const PersistentRetryQueue<Payload> &retryQueue() const { return *m_retryQueue; }

private:
    static QCoro::Task<void> upload(QPointer<FeedbackService> self, Payload payload);

    const QString m_endpoint;
    const std::shared_ptr<PersistentRetryQueue<Payload>> m_retryQueue;
    const std::shared_ptr<QNetworkAccessManager> m_session;
};

} // namespace tw

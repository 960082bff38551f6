#include "controllers/PeerDiagController.h"

#include "lan/PeerAddress.h"
#include "utilities/AssignIfChanged.h"

#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>
#include <vector>

#include <qcoro/qcoronetworkreply.h>

namespace tw {
namespace {

// Qt's transfer time-out restarts with every byte, so a peer that trickles
// its answer could hold the polling loop for as long as it likes; the
// deadline counts from the send instead. The body is capped for the same
// reason: it is read whole.
void limitReply(QNetworkReply *reply, std::chrono::milliseconds deadline)
{
    QTimer::singleShot(deadline, reply, &QNetworkReply::abort);
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply] {
        if (reply->bytesAvailable() > PeerDiagController::answerLimit)
            reply->abort();
    });
}

} // namespace

PeerDiagController::PeerDiagController(QObject *parent) : PeerDiagController(Options{}, parent) {}

PeerDiagController::PeerDiagController(Options options, QObject *parent)
    : QObject(parent), m_options(options)
{
    // Peers are asked directly on the local network: a proxy would neither
    // reach them nor keep our device ID to ourselves.
    m_session.setProxy(QNetworkProxy::NoProxy);
}

std::optional<FolderDiagStatus> PeerDiagController::status(const QString &deviceID, const QString &folderID) const
{
    const auto device = m_peerStatus.constFind(deviceID);
    if (device == m_peerStatus.cend())
        return std::nullopt;
    const auto folder = device->constFind(folderID);
    if (folder == device->cend())
        return std::nullopt;
    return *folder;
}

QCoro::Task<void> PeerDiagController::refresh(QList<Peer> peers, QString localID)
{
    // Every fetch starts at once; each applies its own outcome when it ends.
    std::vector<QCoro::Task<void>> fetches;
    fetches.reserve(peers.size());
    for (const Peer &peer : peers)
        fetches.push_back(refreshPeer(QPointer<PeerDiagController>(this), peer, localID));
    for (QCoro::Task<void> &fetch : fetches)
        co_await fetch;
}

QCoro::Task<void> PeerDiagController::refreshPeer(QPointer<PeerDiagController> self, Peer peer, QString localID)
{
    if (!self)
        co_return;
    const Options options = self->m_options;
    std::optional<QList<FolderDiagStatus>> report;
    try {
        report = co_await fetchStatus(peer.host, localID, &self->m_session, options);
    } catch (...) {
        report = std::nullopt;
    }
    if (self)
        self->apply(peer.deviceID, report);
}

void PeerDiagController::apply(const QString &deviceID, const std::optional<QList<FolderDiagStatus>> &report)
{
    if (report) {
        FolderDiagStatusMap folders;
        for (const FolderDiagStatus &record : *report) {
            if (!folders.contains(record.folderID))
                folders.insert(record.folderID, record);
        }
        insertIfChanged(m_peerStatus, deviceID, std::move(folders), this, &PeerDiagController::peerStatusChanged);
    }
    insertIfChanged(m_reachable, deviceID, report.has_value(), this, &PeerDiagController::reachableChanged);
}

QCoro::Task<std::optional<QByteArray>> PeerDiagController::fetchData(QString path, QString host, QString from,
                                                                     QNetworkAccessManager *session, Options options)
{
    if (PeerAddress::isIpAddress(host) && !PeerAddress::isLocalNetworkHost(host))
        co_return std::nullopt;
    const std::optional<QUrl> url = PeerAddress::requestUrl(host, options.port, path);
    if (!url)
        co_return std::nullopt;

    QNetworkRequest request(*url);
    request.setRawHeader("X-Tidewell-From", from.toUtf8());
    // A redirect could lead anywhere; only the peer's own 200 counts.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    const QPointer<QNetworkReply> reply = session->get(request);
    limitReply(reply.data(), options.requestTimeout);
    co_await qCoro(reply.data()).waitForFinished();
    if (!reply)
        co_return std::nullopt;
    reply->deleteLater();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status != 200 || reply->error() != QNetworkReply::NoError || reply->bytesAvailable() > answerLimit)
        co_return std::nullopt;
    co_return reply->readAll();
}

QCoro::Task<std::optional<QList<FolderDiagStatus>>> PeerDiagController::fetchStatus(QString host, QString from,
                                                                                    QNetworkAccessManager *session,
                                                                                    Options options)
{
    const std::optional<QByteArray> body =
        co_await fetchData(QStringLiteral("/status"), host, from, session, options);
    if (!body)
        co_return std::nullopt;
    co_return FolderDiagStatus::decodeList(*body);
}

} // namespace tw

#include "controllers/PeerDiagController.h"

#include "engine/PeerAddress.h"

#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>
#include <vector>

#include <qcoro/qcoronetworkreply.h>

namespace tw {

PeerDiagController::PeerDiagController(QObject *parent) : PeerDiagController(Options{}, parent) {}

PeerDiagController::PeerDiagController(Options options, QObject *parent)
    : QObject(parent), m_options(options)
{
    // Peers are asked directly on the local network: a proxy would neither
    // reach them nor keep our device ID to ourselves.
    m_session.setProxy(QNetworkProxy::NoProxy);
    m_session.setTransferTimeout(static_cast<int>(m_options.requestTimeout.count()));
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
    const quint16 port = self->m_options.port;
    std::optional<QList<FolderDiagStatus>> report;
    try {
        report = co_await fetchStatus(peer.host, localID, &self->m_session, port);
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
        const auto old = m_peerStatus.constFind(deviceID);
        if (old == m_peerStatus.cend() || *old != folders) {
            m_peerStatus.insert(deviceID, folders);
            emit peerStatusChanged();
        }
    }
    const bool reachable = report.has_value();
    const auto old = m_reachable.constFind(deviceID);
    if (old == m_reachable.cend() || *old != reachable) {
        m_reachable.insert(deviceID, reachable);
        emit reachableChanged();
    }
}

QCoro::Task<std::optional<QByteArray>> PeerDiagController::fetchData(QString path, QString host, QString from,
                                                                     QNetworkAccessManager *session, quint16 port)
{
    if (host.isEmpty() || !PeerAddress::isLocalNetworkHost(host))
        co_return std::nullopt;
    const QUrl url(QStringLiteral("http://") + host + u':' + QString::number(port) + path, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        co_return std::nullopt;

    QNetworkRequest request(url);
    request.setRawHeader("X-Tidewell-From", from.toUtf8());
    // A redirect could lead anywhere; only the peer's own 200 counts.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    const QPointer<QNetworkReply> reply = session->get(request);
    co_await qCoro(reply.data()).waitForFinished();
    if (!reply)
        co_return std::nullopt;
    reply->deleteLater();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status != 200 || reply->error() != QNetworkReply::NoError)
        co_return std::nullopt;
    co_return reply->readAll();
}

QCoro::Task<std::optional<QList<FolderDiagStatus>>> PeerDiagController::fetchStatus(QString host, QString from,
                                                                                    QNetworkAccessManager *session,
                                                                                    quint16 port)
{
    const std::optional<QByteArray> body = co_await fetchData(QStringLiteral("/status"), host, from, session, port);
    if (!body)
        co_return std::nullopt;
    co_return FolderDiagStatus::decodeList(*body);
}

} // namespace tw

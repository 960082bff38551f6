#pragma once

#include "lan/DiagServer.h"
#include "engine/model/FolderDiagStatus.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QString>
#include <chrono>
#include <optional>

#include <qcoro/qcorotask.h>

namespace tw {

using FolderDiagStatusMap = QMap<QString, FolderDiagStatus>;  // folder ID -> record
using PeerDiagStatusMap = QMap<QString, FolderDiagStatusMap>;  // device ID -> that Mac's report
using PeerReachabilityMap = QMap<QString, bool>;               // device ID -> last fetch succeeded

// Reads the folder status that each connected paired Mac publishes on its LAN
// status server and keeps each Mac's latest report. A Mac that stops
// answering keeps its last good report, marked unreachable. Main thread only;
// nothing here throws.
class PeerDiagController : public QObject
{
    Q_OBJECT
    Q_PROPERTY(tw::PeerDiagStatusMap peerStatus READ peerStatus NOTIFY peerStatusChanged)
    Q_PROPERTY(tw::PeerReachabilityMap reachable READ reachable NOTIFY reachableChanged)

public:
    struct Peer
    {
        QString deviceID;
        // The address of the Mac's current engine connection without its
        // port: dotted IPv4, IPv6 in brackets (with its zone when
        // link-local), or a host name.
        QString host;
    };

    struct Options
    {
        quint16 port = DiagServer::defaultPort;
        // A request not finished this long after it was sent fails, however
        // steadily its answer trickles in.
        std::chrono::milliseconds requestTimeout = std::chrono::milliseconds(4000);
    };

    // An answer body longer than this fails: the same bound the LAN status
    // server puts on what it reads.
    static constexpr qint64 answerLimit = 1'000'000;

    explicit PeerDiagController(QObject *parent = nullptr);
    explicit PeerDiagController(Options options, QObject *parent = nullptr);

    const PeerDiagStatusMap &peerStatus() const { return m_peerStatus; }
    const PeerReachabilityMap &reachable() const { return m_reachable; }
    std::optional<FolderDiagStatus> status(const QString &deviceID, const QString &folderID) const;

    QNetworkAccessManager *session() { return &m_session; }
    const Options &options() const { return m_options; }

    // Fetches every peer's status in parallel and applies each outcome as it
    // arrives. An empty list changes nothing. `localID` is sent as the sender.
    QCoro::Task<void> refresh(QList<Peer> peers, QString localID);

    // One GET of `path` on the peer's LAN status server with `from` as the
    // sender; the body of a 200 answer, else nothing. An IP address outside
    // the local network is never asked: for a relayed connection the host is
    // the relay's, which must not learn our device ID (a name comes only from
    // a connection the engine calls local). The session must outlive
    // the request. A request past its time-out or answerLimit is aborted.
    static QCoro::Task<std::optional<QByteArray>> fetchData(QString path, QString host, QString from,
                                                            QNetworkAccessManager *session, Options options);
    // fetchData of "/status", decoded; nothing when any record is unreadable.
    static QCoro::Task<std::optional<QList<FolderDiagStatus>>> fetchStatus(QString host, QString from,
                                                                           QNetworkAccessManager *session,
                                                                           Options options);

signals:
    void peerStatusChanged();
    void reachableChanged();

private:
    static QCoro::Task<void> refreshPeer(QPointer<PeerDiagController> self, Peer peer, QString localID);
    void apply(const QString &deviceID, const std::optional<QList<FolderDiagStatus>> &report);

    Options m_options;
    PeerDiagStatusMap m_peerStatus;
    PeerReachabilityMap m_reachable;
    QNetworkAccessManager m_session;
};

} // namespace tw

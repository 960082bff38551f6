#include "app/AppEnvironment.h"

#include "app/AppPreferences.h"
#include "app/StatusPage.h"
#include "app/removal/PurgeAnswer.h"
#include "controllers/DeviceController.h"
#include "controllers/ETAEstimator.h"
#include "controllers/EngineController.h"
#include "controllers/FolderController.h"
#include "engine/SyncEngine.h"
#include "lan/PairedPeerGate.h"
#include "lan/PeerAddress.h"
#include "utilities/IsolatedName.h"
#include "utilities/Utf8OrEmpty.h"

#include <algorithm>

namespace tw {

namespace {

// The server copies its handlers into each request, and a request may still
// be answered after the environment is gone: every handler holds it weakly,
// through one record they share.
struct HandlerContext
{
    QPointer<AppEnvironment> env;
    QPointer<SyncEngine> engine;
    std::shared_ptr<PairedPeerGate> gate;
};
using Context = std::shared_ptr<const HandlerContext>;

QCoro::Task<QString> reportOf(Context context)
{
    if (!context->engine)
        co_return QString();
    co_return co_await context->engine->diagnosticsReport();
}

QCoro::Task<QByteArray> statusOf(Context context)
{
    if (!context->env)
        co_return QByteArrayLiteral("[]");
    co_return FolderDiagStatus::encodeList(context->env->folderDiagStatuses());
}

QCoro::Task<bool> isKnownPeer(Context context, QString deviceID, QString sourceAddress)
{
    if (!context->env || !context->env->preferences().lanDiagnostics())
        co_return false;
    const bool admitted = co_await context->gate->admits(std::move(deviceID), std::move(sourceAddress));
    co_return admitted;
}

QCoro::Task<DiagServer::PurgeAnswer> purgeAnswer(Context context, QString fromDevice, QByteArray body)
{
    if (!context->env)
    {
        const PurgeAnswer gone = PurgeAnswer::unavailable();
        co_return DiagServer::PurgeAnswer{gone.statusLine, gone.body};
    }
    co_return co_await context->env->executeIncomingPurge(std::move(fromDevice), std::move(body));
}

QCoro::Task<QString> dashboardOf(Context context)
{
    co_return context->env ? context->env->dashboardHTML() : noStatusHTML;
}

QCoro::Task<bool> dashboardAuthorized(Context context, QString token)
{
    const AppEnvironment *env = context->env;
    co_return env && env->preferences().remoteStatusEnabled()
        && tokensMatch(token, env->preferences().remoteStatusToken());
}

// The engine's name of the device, else its ID.
QString nameOf(const QList<SyncDevice> &devices, const QString &deviceID)
{
    for (const SyncDevice &device : devices)
        if (device.id == deviceID)
            return device.name;
    return deviceID;
}

// The header of one Mac's section in the combined report.
QString peerHeader(const QString &name, const QString &host)
{
    return QStringLiteral("\n\n================  PEER: ") + isolatedName(name) + QStringLiteral("  (") + host
        + QStringLiteral(")  ================\n");
}

QString notReachableLine(const QString &name)
{
    return QStringLiteral("(not reachable over LAN \u2014 is \u201c") + isolatedName(name)
        + QStringLiteral("\u201d on this version with LAN diagnostics on, same network/Tailscale?)\n");
}

// The peer's answer as text; nothing when it did not answer or the bytes are
// not UTF-8.
std::optional<QString> readableAnswer(const std::optional<QByteArray> &answer)
{
    if (!answer)
        return std::nullopt;
    QString text = utf8OrEmpty(*answer, InitialBom::Keep);
    if (text.isEmpty() && !answer->isEmpty())
        return std::nullopt;
    return text;
}

} // namespace

void AppEnvironment::applyDiagServer()
{
    if (m_quitting)
        return;
    step("applyDiagServer");
    const bool wanted = m_preferences->lanDiagnostics() || m_preferences->remoteStatusEnabled();
    if (!m_engineState->status().isRunning || !wanted) {
        m_diagServer->stop();
        return;
    }
    installDiagHandlers();
    m_diagServer->start();
}

void AppEnvironment::installDiagHandlers()
{
    const Context context = std::make_shared<const HandlerContext>(HandlerContext{this, &m_engine, m_peerGate});
    DiagServer &server = *m_diagServer;
    server.reportProvider = [context] { return reportOf(context); };
    server.statusProvider = [context] { return statusOf(context); };
    server.isKnownPeer = [context](QString deviceID, QString sourceAddress) {
        return isKnownPeer(context, std::move(deviceID), std::move(sourceAddress));
    };
    server.purgeHandler = [context](QString fromDevice, QByteArray body) {
        return purgeAnswer(context, std::move(fromDevice), std::move(body));
    };
    server.dashboardProvider = [context] { return dashboardOf(context); };
    server.dashboardAuthorized = [context](QString token) { return dashboardAuthorized(context, std::move(token)); };
    // From the device controller's connections, which events keep current:
    // the gate's picture is renewed only by requests that already have a
    // slot, so at the cap it would never learn of a Mac it has not seen yet.
    server.isPairedAddress = [self = QPointer<AppEnvironment>(this)](const QString &address) {
        return self && self->isConnectedPeerHost(address);
    };
}

bool AppEnvironment::isConnectedPeerHost(const QString &address) const
{
    const QList<PeerHost> peers = connectedPeerHosts();
    return std::any_of(peers.cbegin(), peers.cend(),
                       [&address](const PeerHost &peer) { return PeerAddress::sameHost(peer.host, address); });
}

QList<FolderDiagStatus> AppEnvironment::folderDiagStatuses() const
{
    QList<FolderDiagStatus> records;
    for (const SyncFolder &folder : m_folders->folders()) {
        const FolderStatus status = m_folders->statuses().value(folder.id);
        records.append({folder.id, folder.label, status.stateWord, status.localBytes, status.globalBytes,
                        status.needBytes, status.needItems});
    }
    return records;
}

QString AppEnvironment::dashboardHTML() const
{
    const QDateTime now = m_services.clock();
    const ETAEstimator *eta = m_eta.get();
    return tw::dashboardHTML(healthInputs(), [eta, now](const QString &deviceID) {
        return eta->eta(QStringLiteral("dev:") + deviceID, now);
    });
}

QCoro::Task<QString> AppEnvironment::fullDiagnostics()
{
    const QPointer<AppEnvironment> self(this);
    QString text = co_await m_engine.diagnosticsReport();
    if (!self)
        co_return text;
    const QList<PeerHost> peers = connectedPeerHosts();
    const QString localID = m_devices->localDeviceID();
    for (const PeerHost &peer : peers) {
        const QString name = nameOf(m_devices->devices(), peer.deviceID);
        text += peerHeader(name, peer.host);
        const std::optional<QByteArray> answer = co_await PeerDiagController::fetchData(
            QStringLiteral("/diag"), peer.host, localID, m_peerDiag->session(), m_peerDiag->options());
        if (!self)
            co_return text;
        text += readableAnswer(answer).value_or(notReachableLine(name));
    }
    co_return text;
}

} // namespace tw

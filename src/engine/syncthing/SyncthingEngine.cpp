#include "engine/syncthing/SyncthingEngine.h"

#include "engine/PlatformError.h"

#include <QJsonObject>
#include <QElapsedTimer>
#include <QPointer>
#include <QSysInfo>

using namespace std::chrono_literals;

namespace tw {
namespace {

constexpr int kStartAttempts = 2;
// Syncthing answers about half a second after its launch: quick probes at
// first catch that moment instead of missing it by up to a slow interval.
constexpr auto kQuickProbeInterval = 50ms;
constexpr auto kQuickProbePhase = 2s;
constexpr auto kProbeInterval = 500ms;
constexpr auto kProbeLimit = 30s;
constexpr auto kAttemptInterval = 800ms;

const QString kNotResponding = QStringLiteral("Syncthing started but is not responding.");
const QString kNameKey = QStringLiteral("name");
const QString kFallbackHostName = QStringLiteral("Mac");

} // namespace

const QString SyncthingEngine::kEngineName = QStringLiteral("Syncthing");

SyncthingEngine::SyncthingEngine(AppPaths paths, QObject *parent)
    : SyncthingEngine(std::make_shared<SyncthingProcess>(std::move(paths), SyncthingProcess::defaultCandidates(),
                                                         SyncthingProcess::optionsFromEnvironment()),
                      realSleeper(), parent)
{
}

SyncthingEngine::SyncthingEngine(std::shared_ptr<SyncthingProcess> process, Sleeper sleeper, QObject *parent)
    : SyncEngine(parent), m_process(std::move(process)), m_sleeper(std::move(sleeper))
{
}

SyncthingEngine::~SyncthingEngine() = default;

SyncthingAPI SyncthingEngine::requireAPI() const
{
    if (!m_api)
        throw SyncEngineError::notRunning();
    return *m_api;
}

QString SyncthingEngine::shortID(const QString &deviceID)
{
    return deviceID.left(7);
}

void SyncthingEngine::requireGeneration(quint64 generation) const
{
    if (generation != m_generation)
        throw SyncEngineError::notRunning();
}

QCoro::Task<void> SyncthingEngine::start()
{
    // A stop() or resetDatabase() while this start waits owns the child from
    // then on: the start ends as notRunning without stopping or relaunching
    // anything, so a stop is never undone by a start that was under way.
    const quint64 generation = m_generation;
    for (int attempt = 1;; ++attempt) {
        std::exception_ptr failure;
        try {
            co_await startAttempt(generation);
            co_return;
        } catch (...) {
            failure = std::current_exception();
        }
        requireGeneration(generation);
        // A failed attempt leaves no child behind, whatever went wrong.
        co_await m_process->stop();
        requireGeneration(generation);
        // While another copy holds the home a second attempt would only
        // be refused again.
        if (attempt >= kStartAttempts || m_process->isLockedOut()) {
            try {
                std::rethrow_exception(failure);
            } catch (const std::exception &error) {
                m_lastError = describeError(error);
            }
            std::rethrow_exception(failure);
        }
        co_await m_sleeper(kAttemptInterval);
        requireGeneration(generation);
    }
}

QCoro::Task<void> SyncthingEngine::startAttempt(quint64 generation)
{
    const SyncthingProcess::Endpoint endpoint = co_await m_process->startIfNeeded();
    requireGeneration(generation);
    SyncthingAPI api(endpoint.baseURL, endpoint.apiKey);
    // The limit is counted in both the time waited between probes and the
    // time that really passed, so an injected sleeper that returns at once
    // still ends the probing, and slow probes still count in real time.
    QElapsedTimer elapsed;
    elapsed.start();
    std::chrono::milliseconds waited{0};
    for (;;) {
        try {
            co_await api.ping();
            break;
        } catch (const SyncEngineError &) {
        }
        const std::chrono::milliseconds spent = std::max(waited, std::chrono::milliseconds(elapsed.elapsed()));
        if (!m_process->isRunning() || spent >= kProbeLimit)
            throw SyncEngineError::backend(kNotResponding);
        const auto interval = spent < kQuickProbePhase ? kQuickProbeInterval : kProbeInterval;
        co_await m_sleeper(interval);
        waited += interval;
        if (!m_process->isRunning())
            throw SyncEngineError::backend(kNotResponding);
    }
    requireGeneration(generation);
    m_api = api;
    forgetConnections();
    m_lastError.reset();
    // No folder is deleted here: "generate" runs without a default folder, and
    // a teammate's share accepted under the ID "default" must survive restarts.
}

QCoro::Task<void> SyncthingEngine::stop()
{
    ++m_generation;
    m_api.reset();
    m_cachedLocalID.reset();
    forgetConnections();
    co_await m_process->stop();
}

QCoro::Task<void> SyncthingEngine::resetDatabase()
{
    const quint64 generation = ++m_generation;
    m_api.reset();
    co_await m_process->resetDatabase();
    // A stop while the database was wiped stands: no start follows it.
    requireGeneration(generation);
    co_await start();
}

QCoro::Task<EngineStatus> SyncthingEngine::status()
{
    EngineStatus status;
    status.isRunning = m_process->isRunning();
    status.localDeviceID = m_cachedLocalID;
    status.lastError = m_lastError;
    status.engineName = kEngineName;
    co_return status;
}

QCoro::Task<QString> SyncthingEngine::localDeviceID()
{
    if (m_cachedLocalID)
        co_return QString(*m_cachedLocalID);  // a copy: QCoro moves a returned lvalue
    const SyncthingAPI api = requireAPI();
    const STSystemStatus system = co_await api.systemStatus();
    m_cachedLocalID = system.myID;
    co_return system.myID;
}

QCoro::Task<QString> SyncthingEngine::localDeviceName()
{
    const QString myID = co_await localDeviceID();
    const SyncthingAPI api = requireAPI();
    const QList<STDeviceRead> devices = co_await api.getDevices();
    for (const STDeviceRead &device : devices) {
        if (device.deviceID == myID) {
            if (!device.name.isEmpty())
                co_return device.name;
            break;
        }
    }
    const QString host = QSysInfo::machineHostName();
    co_return host.isEmpty() ? kFallbackHostName : host;
}

QCoro::Task<void> SyncthingEngine::setLocalDeviceName(QString name)
{
    const QString myID = co_await localDeviceID();
    const SyncthingAPI api = requireAPI();
    QJsonObject patch;
    patch.insert(kNameKey, name);
    co_await api.patchDevice(myID, patch);
}

} // namespace tw

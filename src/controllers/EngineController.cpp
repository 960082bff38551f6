#include "controllers/EngineController.h"

#include "controllers/CurrentErrorText.h"
#include "engine/SyncEngine.h"
#include "utilities/AssignIfChanged.h"
#include "utilities/UserDefaults.h"

#include <QPointer>
#include <cmath>

namespace tw {
namespace {

EngineStatus initialStatus()
{
    EngineStatus status;
    status.engineName = QStringLiteral("Syncthing");
    return status;
}

// Bytes per second between two counter readings; 0 when the counter went
// backwards (the engine restarted) or the result is not a number.
double rate(qint64 now, qint64 before, double seconds)
{
    const double value = double(now - before) / seconds;
    return (std::isnan(value) || value < 0) ? 0.0 : value;
}

// The choice holds for now; the next start reads the one stored before.
QString unstoredChoiceText(bool paused)
{
    return paused ? QStringLiteral("Couldn't store \u201CPause all\u201D \u2014 your folders may run again "
                                   "when TidewellMesh next starts.")
                  : QStringLiteral("Couldn't store \u201CResume\u201D \u2014 your folders may stay paused "
                                   "when TidewellMesh next starts.");
}

} // namespace

EngineController::EngineController(SyncEngine &engine, UserDefaults &defaults, Clock clock,
                                   std::optional<QTimeZone> zone, QObject *parent)
    : QObject(parent),
      m_engine(engine),
      m_defaults(defaults),
      m_clock(std::move(clock)),
      m_zone(std::move(zone)),
      m_status(initialStatus()),
      m_isAllPaused(defaults.boolean(allPausedKey).value_or(false)),
      m_network(NetworkSettings::initial())
{
    m_engine.runPolicy().setAllPaused(m_isAllPaused);
}

void EngineController::setStatus(EngineStatus status)
{
    // Read every cycle: the views follow it only when it says something new.
    assignIfChanged(m_status, std::move(status), this, &EngineController::statusChanged);
}

void EngineController::storeDeviceName(QString name)
{
    assignIfChanged(m_deviceName, std::move(name), this, &EngineController::deviceNameChanged);
}

void EngineController::setLastErrorMessage(std::optional<QString> message)
{
    assignIfChanged(m_lastErrorMessage, std::move(message), this, &EngineController::lastErrorMessageChanged);
}

QCoro::Task<void> EngineController::start()
{
    bool started = false;
    try {
        co_await m_engine.start();
        started = true;
        setLastErrorMessage(std::nullopt);
    } catch (const SyncEngineError &error) {
        setLastErrorMessage(error.errorDescription());
        if (error.kind() == SyncEngineError::Kind::BinaryNotFound)
            assignIfChanged(m_binaryAvailable, false, this, &EngineController::binaryAvailableChanged);
    } catch (...) {
        setLastErrorMessage(currentErrorText());
    }
    co_await refreshStatus();
    if (started)
        emit engineStarted();
}

QCoro::Task<void> EngineController::refreshStatus()
{
    EngineStatus status;
    try {
        status = co_await m_engine.status();
    } catch (...) {
        // Documented never to fail; an engine that does still shows a status.
        status.engineName = m_engine.engineName();
        status.lastError = currentErrorText();
    }
    setStatus(std::move(status));
}

QCoro::Task<void> EngineController::loadNetwork()
{
    NetworkSettings settings;
    try {
        settings = co_await m_engine.networkSettings();
    } catch (...) {
        co_return;
    }
    // The engine may hold the schedule's throttled limits right now; the
    // settings always show the user's own.
    if (const std::optional<LimitPair> manual = manualLimit()) {
        settings.downLimitKbps = manual->first;
        settings.upLimitKbps = manual->second;
    } else {
        storeManualLimit(settings.downLimitKbps, settings.upLimitKbps);
    }
    setNetwork(std::move(settings));
    assignIfChanged(m_networkLoaded, true, this, &EngineController::networkLoadedChanged);
}

QCoro::Task<void> EngineController::applyNetwork(NetworkSettings settings)
{
    try {
        co_await m_engine.applyNetworkSettings(settings);
    } catch (...) {
        setLastErrorMessage(currentErrorText());
        co_return;
    }
    storeManualLimit(settings.downLimitKbps, settings.upLimitKbps);
    setNetwork(std::move(settings));
    assignIfChanged(m_networkLoaded, true, this, &EngineController::networkLoadedChanged);
    // The next schedule call pushes whatever pair fits the schedule now.
    m_lastScheduledThrottled = std::nullopt;
}

QCoro::Task<void> EngineController::sampleThroughput()
{
    CumulativeBytes bytes;
    try {
        bytes = co_await m_engine.cumulativeBytes();
    } catch (...) {
        co_return;
    }
    const QDateTime now = m_clock();
    if (m_lastSampleTime) {
        const qint64 elapsedMs = m_lastSampleTime->msecsTo(now);
        if (elapsedMs > minSampleIntervalMs) {
            const double seconds = double(elapsedMs) / 1000.0;
            setRates(rate(bytes.inBytes, m_lastIn, seconds), rate(bytes.outBytes, m_lastOut, seconds));
        }
    }
    m_lastSampleTime = now;
    m_lastIn = bytes.inBytes;
    m_lastOut = bytes.outBytes;
}

QCoro::Task<void> EngineController::applyBandwidthSchedule(BandwidthSchedule schedule, QDateTime now)
{
    const LimitPair manual = manualLimit().value_or(LimitPair{m_network.downLimitKbps, m_network.upLimitKbps});
    if (schedule.enabled) {
        const bool active = schedule.isActive(now, m_zone.value_or(QTimeZone::systemTimeZone()));
        if (m_lastScheduledThrottled == active)
            co_return;
        const LimitPair limits = active ? LimitPair{schedule.throttledDownKbps, schedule.throttledUpKbps} : manual;
        if (co_await pushLimits(limits))
            m_lastScheduledThrottled = active;
        co_return;
    }
    if (m_lastScheduledThrottled == true) {
        if (co_await pushLimits(manual))
            m_lastScheduledThrottled = std::nullopt;
        co_return;
    }
    m_lastScheduledThrottled = std::nullopt;
}

QCoro::Task<bool> EngineController::pushLimits(LimitPair limits)
{
    try {
        co_await m_engine.setGlobalBandwidth(limits.first, limits.second);
        co_return true;
    } catch (...) {
        setLastErrorMessage(currentErrorText());
        co_return false;
    }
}

QCoro::Task<void> EngineController::resetDatabase()
{
    // A successful reset ends with a fresh start of the engine.
    bool started = false;
    try {
        co_await m_engine.resetDatabase();
        started = true;
        setLastErrorMessage(std::nullopt);
    } catch (...) {
        setLastErrorMessage(currentErrorText());
    }
    co_await refreshStatus();
    if (started)
        emit engineStarted();
}

QCoro::Task<void> EngineController::toggleAllPaused()
{
    // Overlapping calls send the target of the first, which the flag
    // already holds.
    const bool target = m_pauseTogglesRunning > 0 ? m_isAllPaused : !m_isAllPaused;
    ++m_pauseTogglesRunning;
    const QPointer<EngineController> self(this);
    // The choice is recorded before the engine is told, folder by folder: a
    // reconcile pass in between, or after the process ended half-way, must
    // take the folders already paused for the user's doing, not undo them.
    std::optional<QString> problem;
    if (!setAllPausedFlag(target))
        problem = unstoredChoiceText(target);
    bool applied = false;
    try {
        co_await m_engine.setAllPaused(target);
        applied = true;
    } catch (...) {
        if (!self)
            co_return;
        problem = currentErrorText();
    }
    if (!self)
        co_return;
    if (!applied) {
        // The choice stays as it was, and so must every folder the engine
        // changed before it failed: the engine brings them back as the run
        // policy now says. Its own failure is the same one, already shown.
        if (!setAllPausedFlag(!target))
            problem = *problem + QLatin1Char('\n') + unstoredChoiceText(!target);
        try {
            co_await m_engine.setAllPaused(!target);
        } catch (...) {
        }
        if (!self)
            co_return;
    }
    --m_pauseTogglesRunning;
    if (problem)
        setLastErrorMessage(problem);
    setPauseAllProblem(problem);
    emit allPausedApplied(m_isAllPaused, !applied);
}

bool EngineController::setAllPausedFlag(bool paused)
{
    m_engine.runPolicy().setAllPaused(paused);
    const bool stored =
        m_defaults.boolean(allPausedKey).value_or(false) == paused || m_defaults.setBoolean(allPausedKey, paused);
    assignIfChanged(m_isAllPaused, paused, this, &EngineController::isAllPausedChanged);
    return stored;
}

void EngineController::setPauseAllProblem(std::optional<QString> problem)
{
    assignIfChanged(m_pauseAllProblem, std::move(problem), this, &EngineController::pauseAllProblemChanged);
}

QCoro::Task<void> EngineController::setDeviceName(QString name)
{
    try {
        co_await m_engine.setLocalDeviceName(name);
    } catch (...) {
        setLastErrorMessage(currentErrorText());
        co_return;
    }
    storeDeviceName(std::move(name));
}

std::optional<EngineController::LimitPair> EngineController::manualLimit() const
{
    const std::optional<qint64> down = m_defaults.integer(manualDownKey);
    if (!down)
        return std::nullopt;
    return LimitPair{*down, m_defaults.integer(manualUpKey).value_or(0)};
}

void EngineController::storeManualLimit(qint64 downKbps, qint64 upKbps)
{
    m_defaults.setInteger(manualDownKey, downKbps);
    m_defaults.setInteger(manualUpKey, upKbps);
}

void EngineController::setNetwork(NetworkSettings network)
{
    assignIfChanged(m_network, std::move(network), this, &EngineController::networkChanged);
}

void EngineController::setRates(double down, double up)
{
    assignIfChanged(m_downRate, down, this, &EngineController::downRateChanged);
    assignIfChanged(m_upRate, up, this, &EngineController::upRateChanged);
}

} // namespace tw

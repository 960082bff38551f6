#pragma once

#include "controllers/BandwidthSchedule.h"
#include "engine/model/EngineStatus.h"
#include "engine/model/NetworkSettings.h"
#include "utilities/Clock.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimeZone>
#include <exception>
#include <optional>
#include <utility>

#include <qcoro/qcorotask.h>

namespace tw {

class SyncEngine;
class UserDefaults;

// Mirrors the engine's overall state for the views (running status, this
// device's name, network settings with the user's manual limits, throughput,
// the pause-all switch, the last error worth showing) and wraps the
// operations that act on the engine as a whole, so that each failure ends as
// one text in lastErrorMessage. Main thread only; no operation throws.
class EngineController : public QObject
{
    Q_OBJECT
    Q_PROPERTY(tw::EngineStatus status READ status WRITE setStatus NOTIFY statusChanged)
    Q_PROPERTY(bool isAllPaused READ isAllPaused NOTIFY isAllPausedChanged)
    Q_PROPERTY(tw::NetworkSettings network READ network NOTIFY networkChanged)
    Q_PROPERTY(QString deviceName READ deviceName WRITE storeDeviceName NOTIFY deviceNameChanged)
    Q_PROPERTY(std::optional<QString> lastErrorMessage READ lastErrorMessage WRITE setLastErrorMessage NOTIFY
                   lastErrorMessageChanged)
    Q_PROPERTY(std::optional<QString> pauseAllProblem READ pauseAllProblem NOTIFY pauseAllProblemChanged)
    Q_PROPERTY(bool binaryAvailable READ binaryAvailable NOTIFY binaryAvailableChanged)
    Q_PROPERTY(bool networkLoaded READ networkLoaded NOTIFY networkLoadedChanged)
    Q_PROPERTY(double downRate READ downRate NOTIFY downRateChanged)
    Q_PROPERTY(double upRate READ upRate NOTIFY upRateChanged)

public:
    static inline const QString manualDownKey = QStringLiteral("manualDownLimitKbps");
    static inline const QString manualUpKey = QStringLiteral("manualUpLimitKbps");
    // "Pause all" as the user last chose it: it outlives the process, as
    // the engine's paused folders do.
    static inline const QString allPausedKey = QStringLiteral("allFoldersPaused");
    // Byte samples closer than this give no rate of their own.
    static constexpr qint64 minSampleIntervalMs = 100;

    // `zone` gives the bandwidth schedule's hours and weekdays; without one,
    // the system's zone as it is at each call, so that the schedule follows
    // the user's clock after a change of time zone.
    EngineController(SyncEngine &engine, UserDefaults &defaults, Clock clock = systemClock(),
                     std::optional<QTimeZone> zone = std::nullopt, QObject *parent = nullptr);

    const EngineStatus &status() const { return m_status; }
    bool isAllPaused() const { return m_isAllPaused; }
    const NetworkSettings &network() const { return m_network; }
    const QString &deviceName() const { return m_deviceName; }
    const std::optional<QString> &lastErrorMessage() const { return m_lastErrorMessage; }
    // What went wrong with the last "Pause all" or "Resume" (the engine did
    // not take it all, or the choice could not be stored), for the window's
    // banner; none once one goes through.
    const std::optional<QString> &pauseAllProblem() const { return m_pauseAllProblem; }
    bool binaryAvailable() const { return m_binaryAvailable; }
    // Whether network() holds what the engine told or took, rather than the
    // initial settings: only then may an edited copy of it be applied.
    bool networkLoaded() const { return m_networkLoaded; }
    double downRate() const { return m_downRate; }
    double upRate() const { return m_upRate; }

    // Every write notifies, also of an equal status.
    void setStatus(EngineStatus status);
    // The name as read elsewhere (bootstrap, settings); the engine is not asked.
    void storeDeviceName(QString name);
    // Other parts of the application show their own failure texts here.
    void setLastErrorMessage(std::optional<QString> message);

    QCoro::Task<void> start();
    QCoro::Task<void> refreshStatus();
    QCoro::Task<void> loadNetwork();
    QCoro::Task<void> applyNetwork(NetworkSettings settings);
    QCoro::Task<void> sampleThroughput();
    QCoro::Task<void> applyBandwidthSchedule(BandwidthSchedule schedule, QDateTime now);
    QCoro::Task<void> resetDatabase();
    QCoro::Task<void> toggleAllPaused();
    QCoro::Task<void> setDeviceName(QString name);

signals:
    void statusChanged();
    void isAllPausedChanged();
    void networkChanged();
    void deviceNameChanged();
    void lastErrorMessageChanged();
    void pauseAllProblemChanged();
    void binaryAvailableChanged();
    void networkLoadedChanged();
    void downRateChanged();
    void upRateChanged();
    // A start of the engine succeeded, on its own or at the end of a database
    // reset. A restarted engine numbers its events from 1 again, so whoever
    // follows its event stream starts over.
    void engineStarted();
    // A pause or resume of everything ended with `paused` as the choice in
    // force: taken by the engine, or failed part-way and put back (then
    // `failed`), the folders brought back to the choice as far as the
    // engine allowed. Either way a reconcile pass is due but for a pause
    // the engine took whole.
    void allPausedApplied(bool paused, bool failed);

private:
    using LimitPair = std::pair<qint64, qint64>;

    // The user's own limits (down, up) in KB/s, when stored.
    std::optional<LimitPair> manualLimit() const;
    void storeManualLimit(qint64 downKbps, qint64 upKbps);
    QCoro::Task<bool> pushLimits(LimitPair limits);

    void setNetwork(NetworkSettings network);
    void setRates(double down, double up);
    // The choice in memory, in the engine's run policy and in the user
    // defaults; false when it could not be stored.
    bool setAllPausedFlag(bool paused);
    void setPauseAllProblem(std::optional<QString> problem);

    SyncEngine &m_engine;
    UserDefaults &m_defaults;
    Clock m_clock;
    std::optional<QTimeZone> m_zone;

    EngineStatus m_status;
    bool m_isAllPaused = false;
    int m_pauseTogglesRunning = 0;
    NetworkSettings m_network;
    QString m_deviceName;
    std::optional<QString> m_lastErrorMessage;
    std::optional<QString> m_pauseAllProblem;
    bool m_binaryAvailable = true;
    bool m_networkLoaded = false;
    double m_downRate = 0;
    double m_upRate = 0;

    std::optional<QDateTime> m_lastSampleTime;
    qint64 m_lastIn = 0;
    qint64 m_lastOut = 0;
    std::optional<bool> m_lastScheduledThrottled;
};

} // namespace tw

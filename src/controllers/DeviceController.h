#pragma once

#include "engine/model/DeviceConnection.h"
#include "engine/model/SyncDevice.h"
#include "utilities/Clock.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <chrono>
#include <exception>
#include <functional>
#include <optional>

#include <qcoro/qcorotask.h>

namespace tw {

class SyncEngine;

using DeviceConnectionMap = QMap<QString, DeviceConnection>;

// The live mirror of the engine's devices: the configured devices, this
// device's ID, and each device's connection with receive and send rates
// derived from the byte totals of successive samples. Main thread only; no
// operation throws.
class DeviceController : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QList<tw::SyncDevice> devices READ devices NOTIFY devicesChanged)
    Q_PROPERTY(tw::DeviceConnectionMap connections READ connections NOTIFY connectionsChanged)
    Q_PROPERTY(QString localDeviceID READ localDeviceID NOTIFY localDeviceIDChanged)
    Q_PROPERTY(std::optional<QString> lastErrorMessage READ lastErrorMessage NOTIFY lastErrorMessageChanged)

public:
    // Two samples closer than this give no rate of their own.
    static constexpr qint64 minRateIntervalMs = 300;

    explicit DeviceController(SyncEngine &engine, Clock clock = systemClock(), QObject *parent = nullptr);

    const QList<SyncDevice> &devices() const { return m_devices; }
    const DeviceConnectionMap &connections() const { return m_connections; }
    const QString &localDeviceID() const { return m_localDeviceID; }
    const std::optional<QString> &lastErrorMessage() const { return m_lastErrorMessage; }
    // How many failures setError() has reported: a screen that remembers the
    // count it opened with tells a new failure from an old one, also in the same words.
    int operationErrorCount() const { return m_operationErrors; }

    std::optional<DeviceConnection> connection(const QString &deviceID) const;

    // Devices and this device's ID, then the connections (while events are
    // followed, only when connectionsDue()).
    QCoro::Task<void> refresh();
    // One connections sample and its rates. An answer that arrives after
    // the answer of a later call is dropped.
    QCoro::Task<void> refreshConnections();

    // Records the user-facing text of a failure.
    void setError(const std::exception &error);

    // While events are followed, refresh() reads the device list only after
    // the events said it changed, the stream had a gap, or this long passed.
    static constexpr std::chrono::minutes fullReadInterval{5};
    void followEvents() { m_followsEvents = true; }
    void noteDevicesChanged() { m_devicesStale = true; }
    // While events are followed, who is connected comes from the events
    // (each connection change reads the connections at once); refresh()
    // reads them for the rates only while the given check says a transfer
    // is possible, and otherwise at this pace.
    static constexpr std::chrono::seconds idleConnectionsInterval{30};
    void setTransferCheck(std::function<bool()> check) { m_transferPossible = std::move(check); }
    bool connectionsDue() const;

signals:
    void devicesChanged();
    void connectionsChanged();
    void localDeviceIDChanged();
    void lastErrorMessageChanged();

private:
    struct Totals
    {
        qint64 in = 0;
        qint64 out = 0;
    };

    bool devicesDue() const;
    void takeSample(const QList<DeviceConnection> &sample);
    void setLastErrorMessage(std::optional<QString> message);
    void setDevices(QList<SyncDevice> devices);
    void setConnections(DeviceConnectionMap connections);
    void setLocalDeviceID(QString id);

    SyncEngine &m_engine;
    Clock m_clock;
    QList<SyncDevice> m_devices;
    DeviceConnectionMap m_connections;
    QString m_localDeviceID;
    std::optional<QString> m_lastErrorMessage;
    int m_operationErrors = 0;
    QMap<QString, Totals> m_prevTotals;
    std::optional<QDateTime> m_prevSampleAt;
    // Numbers refreshConnections() calls in the order they ask the engine.
    quint64 m_samplesAsked = 0;
    quint64 m_newestSampleTaken = 0;
    bool m_followsEvents = false;
    bool m_devicesStale = true;
    std::optional<QDateTime> m_lastDevicesRead;
    std::function<bool()> m_transferPossible;
    std::optional<QDateTime> m_lastConnectionsRead;
};

} // namespace tw

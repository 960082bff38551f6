#include "controllers/DeviceController.h"

#include "controllers/CurrentErrorText.h"
#include "engine/PlatformError.h"
#include "engine/SyncEngine.h"
#include "utilities/AssignIfChanged.h"

#include <QPointer>

namespace tw {

DeviceController::DeviceController(SyncEngine &engine, Clock clock, QObject *parent)
    : QObject(parent), m_engine(engine), m_clock(std::move(clock))
{
}

std::optional<DeviceConnection> DeviceController::connection(const QString &deviceID) const
{
    auto it = m_connections.constFind(deviceID);
    if (it == m_connections.constEnd())
        return std::nullopt;
    return *it;
}

QCoro::Task<void> DeviceController::refresh()
{
    if (m_followsEvents && !devicesDue()) {
        if (connectionsDue())
            co_await refreshConnections();
        co_return;
    }
    m_devicesStale = false;
    m_lastDevicesRead = m_clock();
    QList<SyncDevice> devices;
    try {
        devices = co_await m_engine.devices();
    } catch (...) {
        m_devicesStale = true;
        setLastErrorMessage(currentErrorText());
        co_return;
    }
    setDevices(std::move(devices));

    QString localID;
    try {
        localID = co_await m_engine.localDeviceID();
    } catch (...) {
        // An unknown ID reads as empty; the old one is not kept.
    }
    setLocalDeviceID(std::move(localID));

    if (!m_followsEvents || connectionsDue())
        co_await refreshConnections();
}

// Rates move only while something can move; read at the idle pace, a quiet
// link still shows 0 B/s, since idling starts only after a sample showed
// nothing moving (the check counts rates above 0 as a transfer).
bool DeviceController::connectionsDue() const
{
    if (!m_followsEvents || !m_lastConnectionsRead || (m_transferPossible && m_transferPossible()))
        return true;
    const qint64 elapsed = m_lastConnectionsRead->secsTo(m_clock());
    return elapsed >= idleConnectionsInterval.count() || elapsed < 0;
}

bool DeviceController::devicesDue() const
{
    return m_devicesStale || !m_lastDevicesRead
           || m_lastDevicesRead->secsTo(m_clock()) >= std::chrono::seconds(fullReadInterval).count();
}

// Also run detached on a device event: the answer may come after this
// controller is gone.
QCoro::Task<void> DeviceController::refreshConnections()
{
    const QPointer<DeviceController> self(this);
    const quint64 sequence = ++m_samplesAsked;
    QList<DeviceConnection> sample;
    try {
        sample = co_await m_engine.connections();
    } catch (...) {
        // The previous sample stays the baseline of the next one.
        co_return;
    }
    if (!self)
        co_return;
    // Overlapping calls may be answered out of order; older totals than the
    // baseline's would show a burst of traffic that never happened.
    if (sequence < m_newestSampleTaken)
        co_return;
    m_newestSampleTaken = sequence;
    m_lastConnectionsRead = m_clock();
    takeSample(sample);
}

// Rates come from the byte totals of two samples more than 0.3 s apart. The
// polling cycle samples twice within moments (once inside refresh() and once
// more right after); that second sample keeps the rates just computed and
// leaves the baseline alone, instead of showing the engine's own rates (which
// Syncthing reports as 0) until the next cycle.
void DeviceController::takeSample(const QList<DeviceConnection> &sample)
{
    const QDateTime now = m_clock();
    const std::optional<qint64> elapsedMs =
        m_prevSampleAt ? std::optional<qint64>(m_prevSampleAt->msecsTo(now)) : std::nullopt;
    const bool computes = elapsedMs && *elapsedMs > minRateIntervalMs;
    const bool keepsRates = elapsedMs && *elapsedMs <= minRateIntervalMs;
    // A clock that went backwards gives no interval to measure: the rates
    // stay, and the new sample starts the timing afresh.
    const bool movesBaseline = !elapsedMs || *elapsedMs > minRateIntervalMs || *elapsedMs < 0;
    const double elapsed = elapsedMs ? double(*elapsedMs) / 1000.0 : 0.0;

    DeviceConnectionMap connections;
    QMap<QString, Totals> totals;
    for (const DeviceConnection &record : sample) {
        totals.insert(record.id, Totals{record.inBytesTotal, record.outBytesTotal});
        DeviceConnection shown = record;
        const auto prev = m_prevTotals.constFind(record.id);
        if (prev != m_prevTotals.constEnd()) {
            if (computes) {
                shown.inBytesPerSecond = std::max(0.0, double(record.inBytesTotal - prev->in) / elapsed);
                shown.outBytesPerSecond = std::max(0.0, double(record.outBytesTotal - prev->out) / elapsed);
            } else if (keepsRates && m_connections.contains(record.id)) {
                const DeviceConnection &previous = m_connections[record.id];
                shown.inBytesPerSecond = previous.inBytesPerSecond;
                shown.outBytesPerSecond = previous.outBytesPerSecond;
            }
        }
        connections.insert(record.id, shown);
    }

    setConnections(std::move(connections));
    if (movesBaseline) {
        m_prevTotals = std::move(totals);
        m_prevSampleAt = now;
    }
}

void DeviceController::setError(const std::exception &error)
{
    ++m_operationErrors;
    const QString message = describeError(error);
    const bool repeated = m_lastErrorMessage == message;
    setLastErrorMessage(message);
    // The same words again are still a new failure for whoever shows them.
    if (repeated)
        emit lastErrorMessageChanged();
}

void DeviceController::setLastErrorMessage(std::optional<QString> message)
{
    assignIfChanged(m_lastErrorMessage, std::move(message), this, &DeviceController::lastErrorMessageChanged);
}

void DeviceController::setDevices(QList<SyncDevice> devices)
{
    assignIfChanged(m_devices, std::move(devices), this, &DeviceController::devicesChanged);
}

void DeviceController::setConnections(DeviceConnectionMap connections)
{
    assignIfChanged(m_connections, std::move(connections), this, &DeviceController::connectionsChanged);
}

void DeviceController::setLocalDeviceID(QString id)
{
    assignIfChanged(m_localDeviceID, std::move(id), this, &DeviceController::localDeviceIDChanged);
}

} // namespace tw

#pragma once

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <optional>

namespace tw {

// Turns successive readings of the bytes still to transfer into a rate and a
// time left, per key, over a sliding window of 20 seconds. Keys are free: a
// folder ID, "down", "up", or "dev:" and a device ID. Main thread only.
class ETAEstimator : public QObject
{
    Q_OBJECT
    Q_PROPERTY(tw::ETAEstimator::History history READ history NOTIFY historyChanged)

public:
    struct Sample
    {
        QDateTime t;          // when the reading was taken
        qint64 remaining = 0; // bytes still to transfer then

        bool operator==(const Sample &) const = default;
    };
    using History = QMap<QString, QList<Sample>>;

    // Seconds of history kept; a sample exactly this old stays.
    static constexpr double window = 20.0;

    using QObject::QObject;

    // Oldest sample first, per key.
    const History &history() const { return m_history; }

    // Records one reading. A reading below one byte ends the key's series.
    void sample(const QString &key, qint64 remaining, const QDateTime &now);
    // Bytes per second over the key's window: needs samples at least 3 s
    // apart and a real decrease. Depends on the stored samples only.
    std::optional<double> bytesPerSecond(const QString &key, const QDateTime &now) const;
    // Seconds until the key's last reading reaches zero at that rate.
    std::optional<double> eta(const QString &key, const QDateTime &now) const;

signals:
    void historyChanged();

private:
    History m_history;
};

} // namespace tw

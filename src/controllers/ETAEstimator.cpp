#include "controllers/ETAEstimator.h"

#include <cmath>

namespace tw {
namespace {

// A rate over a shorter span is mostly noise of the 2-second polling.
constexpr double minimumSpanSeconds = 3.0;

double secondsBetween(const QDateTime &from, const QDateTime &to) { return from.msecsTo(to) / 1000.0; }

} // namespace

void ETAEstimator::sample(const QString &key, qint64 remaining, const QDateTime &now)
{
    if (remaining < 1) {
        if (m_history.remove(key) > 0)
            emit historyChanged();
        return;
    }
    QList<Sample> samples = m_history.value(key);
    samples.append({now, remaining});
    samples.removeIf([&now](const Sample &s) { return secondsBetween(s.t, now) > window; });
    m_history.insert(key, samples);
    emit historyChanged();
}

std::optional<double> ETAEstimator::bytesPerSecond(const QString &key, const QDateTime & /*now*/) const
{
    const QList<Sample> samples = m_history.value(key);
    if (samples.isEmpty())
        return std::nullopt;
    const Sample &first = samples.first();
    const Sample &last = samples.last();
    const double span = secondsBetween(first.t, last.t);
    const qint64 progress = first.remaining - last.remaining;
    if (!(span >= minimumSpanSeconds) || progress < 1)
        return std::nullopt;
    return double(progress) / span;
}

std::optional<double> ETAEstimator::eta(const QString &key, const QDateTime &now) const
{
    const QList<Sample> samples = m_history.value(key);
    if (samples.isEmpty() || samples.last().remaining < 1)
        return std::nullopt;
    const std::optional<double> rate = bytesPerSecond(key, now);
    if (!rate || *rate <= 0)
        return std::nullopt;
    return double(samples.last().remaining) / *rate;
}

} // namespace tw

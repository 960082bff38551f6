#include "app/removal/PurgeNonceRecord.h"

#include "utilities/UserDefaults.h"

#include <QJsonObject>
#include <map>

namespace tw {
namespace {

const QString kKey = QStringLiteral("purgeNonces");

// Seconds by nonce; any value that is not a whole number spoils the record.
std::map<QString, qint64> readRecord(const UserDefaults &defaults)
{
    const QJsonValue stored = defaults.value(kKey).value_or(QJsonValue());
    std::map<QString, qint64> record;
    const QJsonObject object = stored.toObject();
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        const QJsonValue value = it.value();
        const qint64 second = value.toInteger(0);
        if (!value.isDouble() || second != value.toInteger(1))
            return {};
        record.emplace(it.key(), second);
    }
    return record;
}

// An age too large to compute is old enough.
bool aged(qint64 now, qint64 second)
{
    qint64 age = 0;
    return qSubOverflow(now, second, &age) || age >= PurgeNonceRecord::kKeptSeconds;
}

} // namespace

PurgeNonceRecord::PurgeNonceRecord(UserDefaults &defaults, Clock clock) : m_defaults(defaults), m_clock(std::move(clock))
{
}

bool PurgeNonceRecord::seen(const QString &nonce) const
{
    return readRecord(m_defaults).contains(nonce);
}

bool PurgeNonceRecord::record(const QString &nonce)
{
    const qint64 now = m_clock().toSecsSinceEpoch();
    QJsonObject kept;
    for (const auto &[entry, second] : readRecord(m_defaults)) {
        if (!aged(now, second))
            kept.insert(entry, second);
    }
    kept.insert(nonce, now);
    return m_defaults.setValue(kKey, kept);
}

} // namespace tw

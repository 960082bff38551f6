#include "cluster/BounceRecord.h"

#include "utilities/UserDefaults.h"

#include <QJsonArray>
#include <QJsonObject>

namespace tw {
namespace {

const QString kDevice = QStringLiteral("device");
const QString kNode = QStringLiteral("node");

} // namespace

QList<BounceRecord::Entry> BounceRecord::entries() const
{
    QList<Entry> entries;
    for (const QJsonValue &value : m_defaults.value(key).value_or(QJsonValue()).toArray()) {
        const QJsonObject object = value.toObject();
        if (object.value(kDevice).isString() && object.value(kNode).isString())
            entries.append({object.value(kDevice).toString(), object.value(kNode).toString()});
    }
    return entries;
}

void BounceRecord::add(const Entry &entry)
{
    write(entries() << entry);
}

void BounceRecord::remove(const Entry &entry)
{
    QList<Entry> kept = entries();
    if (kept.removeOne(entry))
        write(kept);
}

void BounceRecord::write(const QList<Entry> &entries)
{
    if (entries.isEmpty()) {
        m_defaults.remove(key);
        return;
    }
    QJsonArray array;
    for (const Entry &entry : entries) {
        QJsonObject object;
        object.insert(kDevice, entry.device);
        object.insert(kNode, entry.node);
        array.append(object);
    }
    m_defaults.setValue(key, array);
}

} // namespace tw

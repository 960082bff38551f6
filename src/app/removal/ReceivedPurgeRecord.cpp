#include "app/removal/ReceivedPurgeRecord.h"

#include "utilities/UserDefaults.h"

#include <QStringList>

namespace tw {
namespace {

const QString kKey = QStringLiteral("receivedPurges");

QStringList readPairs(const UserDefaults &defaults)
{
    const QStringList pairs = defaults.stringList(kKey).value_or(QStringList());
    return pairs.size() % 2 == 0 ? pairs : QStringList();
}

qsizetype indexOf(const QStringList &pairs, const QString &folderID, const QString &line)
{
    for (qsizetype at = 0; at + 1 < pairs.size(); at += 2)
        if (pairs[at] == folderID && pairs[at + 1] == line)
            return at;
    return -1;
}

} // namespace

bool ReceivedPurgeRecord::holds(const QString &folderID, const QString &line) const
{
    return indexOf(readPairs(m_defaults), folderID, line) >= 0;
}

bool ReceivedPurgeRecord::add(const QString &folderID, const QString &line)
{
    QStringList pairs = readPairs(m_defaults);
    if (indexOf(pairs, folderID, line) >= 0)
        return true;
    pairs << folderID << line;
    return m_defaults.setStringList(kKey, pairs);
}

void ReceivedPurgeRecord::remove(const QString &folderID, const QString &line)
{
    QStringList pairs = readPairs(m_defaults);
    const qsizetype at = indexOf(pairs, folderID, line);
    if (at < 0)
        return;
    pairs.remove(at, 2);
    if (pairs.isEmpty())
        m_defaults.remove(kKey);
    else
        m_defaults.setStringList(kKey, pairs);
}

} // namespace tw

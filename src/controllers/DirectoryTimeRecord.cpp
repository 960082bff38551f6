#include "controllers/DirectoryTimeRecord.h"

#include <QDataStream>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace tw {
namespace {

// Bumped with any change of the layout; a file of another one is read as none.
constexpr quint32 kMagic = 0x54574454;  // "TWDT"
constexpr quint32 kLayout = 5;
// Earlier layouts, read, never written: without when each entry was
// settled, and before that without placements.
constexpr quint32 kLayoutWithoutSettling = 4;
constexpr quint32 kLayoutWithoutPlacements = 3;

} // namespace

DirectoryTimeRecord::DirectoryTimeRecord(QString file) : m_file(std::move(file)) {}

void DirectoryTimeRecord::load()
{
    if (m_loaded)
        return;
    m_loaded = true;
    QFile file(m_file);
    if (m_file.isEmpty() || !file.open(QIODevice::ReadOnly))
        return;
    QDataStream in(&file);
    quint32 magic = 0, layout = 0;
    in >> magic >> layout;
    if (magic != kMagic || layout < kLayoutWithoutPlacements || layout > kLayout)
        return;
    QHash<QString, qint64> placed;
    if (layout >= kLayoutWithoutSettling)
        in >> placed;
    QHash<QString, Entry> entries;
    // Settled no later than the file was written.
    const qint64 written = QFileInfo(file).lastModified().toSecsSinceEpoch();
    while (!in.atEnd() && in.status() == QDataStream::Ok) {
        QString path;
        bool carries = false, replaces = false;
        qint64 carried = 0, takenAt = 0, replaced = 0, settledAt = 0;
        in >> path >> carries >> carried >> takenAt >> replaces >> replaced;
        if (layout == kLayout)
            in >> settledAt;
        else
            settledAt = written;
        entries.insert(path, {carries ? std::optional(carried) : std::nullopt, takenAt,
                              replaces ? std::optional(replaced) : std::nullopt, settledAt});
    }
    if (in.status() == QDataStream::Ok) {
        m_entries = std::move(entries);
        m_placed = std::move(placed);
    }
}

void DirectoryTimeRecord::save()
{
    const qint64 oldest = QDateTime::currentMSecsSinceEpoch() - placedWindowMs;
    m_changed |= m_placed.removeIf([oldest](const QHash<QString, qint64>::iterator &it) { return *it < oldest; }) > 0;
    if (!m_changed || m_file.isEmpty())
        return;
    QDir().mkpath(QFileInfo(m_file).absolutePath());
    QSaveFile file(m_file);
    if (!file.open(QIODevice::WriteOnly))
        return;
    QDataStream out(&file);
    out << kMagic << kLayout << m_placed;
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it)
        out << it.key() << it->carried.has_value() << it->carried.value_or(0) << it->takenAt
            << it->replaced.has_value() << it->replaced.value_or(0) << it->settledAt;
    if (out.status() == QDataStream::Ok && file.commit())
        m_changed = false;
}

const DirectoryTimeRecord::Entry *DirectoryTimeRecord::find(const QString &path) const
{
    const auto it = m_entries.constFind(path);
    return it == m_entries.cend() ? nullptr : &*it;
}

void DirectoryTimeRecord::notePlaced(const QString &item, qint64 atMs)
{
    if (const auto placed = m_placed.constFind(item);
        placed != m_placed.cend() && *placed >= atMs - placedWindowMs)
        return;
    m_placed.insert(item, atMs);
    m_changed = true;
}

std::optional<qint64> DirectoryTimeRecord::placedAt(const QString &item) const
{
    const auto placed = m_placed.constFind(item);
    return placed == m_placed.cend() ? std::nullopt : std::optional(*placed);
}

void DirectoryTimeRecord::set(const QString &path, Entry entry)
{
    auto it = m_entries.find(path);
    if (it != m_entries.end() && *it == entry)
        return;
    if (!entry.settledAt)
        entry.settledAt = QDateTime::currentSecsSinceEpoch();
    m_entries.insert(path, entry);
    m_changed = true;
}

void DirectoryTimeRecord::forget(const QString &path)
{
    m_changed |= m_entries.remove(path);
}

void DirectoryTimeRecord::keepOnly(const QSet<QString> &kept)
{
    m_changed |= m_entries.removeIf([&](const QHash<QString, Entry>::iterator &it) {
        return !kept.contains(it.key());
    }) > 0;
}

} // namespace tw

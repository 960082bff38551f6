#include "controllers/DirectoryTimePass.h"

#include "controllers/DirectoryTimes.h"
#include "creationdates/FileDates.h"
#include "creationdates/FolderItem.h"

#include <algorithm>

namespace tw {
namespace {

QString parentOf(const QString &item)
{
    const qsizetype slash = item.lastIndexOf(QLatin1Char('/'));
    return slash > 0 ? item.left(slash) : QString();
}

std::optional<FolderItem> directory(const QString &root, const QString &path)
{
    std::optional<FolderItem> item = FolderItem::open(root, path);
    if (!item || item->type() != std::filesystem::file_type::directory)
        return std::nullopt;
    return item;
}

// One pass over one folder; each directory decided at most once.
class Pass
{
public:
    Pass(const DirectoryTimePass::Input &input, DirectoryTimeRecord &record) : m_in(input), m_record(record) {}

    DirectoryTimePass::Output run()
    {
        const QSet<QString> paths = m_in.wholeTree ? walk() : m_in.news.directories();
        for (const QString &path : m_in.news.gone)
            m_record.forget(path);
        for (const QString &path : paths)
            decide(path);
        for (const QString &path : std::as_const(m_parentsChanged))
            if (!m_decided.contains(path))
                if (const std::optional<FolderItem> item = directory(m_in.root, path))
                    stamp(path, *item, item->modifiedSeconds());
        m_out.deferred = m_in.news.only(m_out.ask);
        m_record.save();
        return m_out;
    }

private:
    QSet<QString> walk()
    {
        QSet<QString> paths;
        for (const DirectoryTimes::Entry &entry : DirectoryTimes::list(m_in.root))
            paths.insert(entry.relativePath);
        // A directory no longer there needs no record, nor one that cannot be
        // read (a folder that cannot be listed lists none).
        if (!paths.isEmpty())
            m_record.keepOnly(paths);
        return paths;
    }

    void decide(const QString &path)
    {
        if (m_decided.contains(path))
            return;
        m_decided.insert(path);
        const std::optional<FolderItem> item = directory(m_in.root, path);
        if (!item) {
            m_record.forget(path);
            return;
        }
        const qint64 own = item->modifiedSeconds();
        const std::optional<qint64> carried = m_in.carries ? carriedBy(*item) : std::nullopt;
        const DirectoryTimeRecord::Entry *seen = m_record.find(path);
        const QList<DirectoryNews::Change> changes = m_in.news.changedHere.value(path);
        if (m_in.carries && !changes.isEmpty())
            return changedHere(path, *item, carried, seen, changes);
        // A directory found changed itself that carries nothing may be new
        // here since this computer last looked (the engine had no record of
        // it then).
        if (!seen || (!seen->carried && !seen->taken && m_in.news.reported.contains(path)))
            return firstSeen(path, *item, carried);
        if (!m_in.carries)
            return;
        if (carried && (seen->carried != carried || m_in.news.pulled.contains(path)
                        || (m_in.unexplainedArePulls && own != *carried)))
            return take(path, *item, *carried);
        if (!carried && seen->carried)
            return putBack(path, *item, *seen);
    }

    // A change here moves the directory on to its own time, unless a
    // teammate's later time came meanwhile. Where the directory took a
    // teammate's time here, a file made or removed just before that was put
    // on it moved its time first: the change's own moment counts.
    void changedHere(const QString &path, const FolderItem &item, std::optional<qint64> carried,
                     const DirectoryTimeRecord::Entry *seen, const QList<DirectoryNews::Change> &changes)
    {
        qint64 time = item.modifiedSeconds();
        if (seen && seen->taken && seen->carried)
            for (const DirectoryNews::Change &change : changes)
                time = std::max(time, momentOf(change, *seen->carried));
        if (carried && (!seen || seen->carried != carried) && *carried > time)
            return take(path, item, *carried);
        stamp(path, item, time);
    }

    // When a change found here happened, if after the time taken: a file
    // by its birth, a removal by when it was found.
    qint64 momentOf(const DirectoryNews::Change &change, qint64 taken) const
    {
        std::optional<qint64> ms = change.deleted ? change.foundAtMs : std::nullopt;
        if (!change.deleted)
            if (const std::optional<FolderItem> file = FolderItem::open(m_in.root, change.item))
                ms = file->bornMs();
        const qint64 seconds = ms ? *ms / 1000 : taken;
        return seconds > taken ? seconds : taken;
    }

    void firstSeen(const QString &path, const FolderItem &item, std::optional<qint64> carried)
    {
        const bool reported = m_in.news.reported.contains(path);
        if (carried && (!reported || m_in.news.pulled.contains(path)))
            return take(path, item, *carried);
        const auto origin = m_in.origins.constFind(path);
        if (origin == m_in.origins.cend()) {
            m_out.ask.insert(path);
            return;
        }
        if (madeHere(*origin)) {
            if (const QString parent = parentOf(path); !parent.isEmpty() && m_in.carries)
                m_parentsChanged.insert(parent);
            if (carried)
                return take(path, item, *carried);
            if (m_in.carries)
                return stamp(path, item, item.modifiedSeconds());
            return m_record.set(path, {});
        }
        if (carried)
            return take(path, item, *carried);
        const bool teammates = !origin->lastChangedBy.isEmpty() && origin->lastChangedBy != m_in.ownShortID;
        const bool wrote = teammates && origin->modified && *origin->modified != item.modifiedSeconds()
                        && item.setModificationTime(*origin->modified) == 0;
        m_record.set(path, {std::nullopt, wrote});
    }

    bool madeHere(const ItemOrigin &origin) const
    {
        return !origin.changedBy.isEmpty()
            && std::all_of(origin.changedBy.cbegin(), origin.changedBy.cend(),
                           [this](const QString &id) { return id == m_in.ownShortID; });
    }

    // Taken: whether this computer moved the directory to a teammate's
    // time, over whatever moved it here before.
    void take(const QString &path, const FolderItem &item, qint64 time)
    {
        if (item.setModificationTime(time) == 0)
            m_record.set(path, {time, item.modifiedSeconds() != time});
    }

    void stamp(const QString &path, const FolderItem &item, qint64 time)
    {
        m_decided.insert(path);
        if (item.setModificationTime(time) != 0)
            return;
        if (carriedBy(item) != time) {
            if (item.setDirectoryAttribute(FileDates::modifiedAttributeName, QByteArray::number(time)) != 0)
                return;
            m_out.written.append(path);
        }
        m_record.set(path, {time, false});
    }

    // Sent again, as a version that follows the one without it.
    void putBack(const QString &path, const FolderItem &item, const DirectoryTimeRecord::Entry &seen)
    {
        if (item.setDirectoryAttribute(FileDates::modifiedAttributeName, QByteArray::number(*seen.carried)) == 0)
            m_out.written.append(path);
    }

    static std::optional<qint64> carriedBy(const FolderItem &item)
    {
        const std::optional<QByteArray> text = item.directoryAttribute(FileDates::modifiedAttributeName);
        return text ? FileDates::parseCrtime(*text) : std::nullopt;
    }

    const DirectoryTimePass::Input &m_in;
    DirectoryTimeRecord &m_record;
    DirectoryTimePass::Output m_out;
    QSet<QString> m_decided;
    QSet<QString> m_parentsChanged;
};

} // namespace

DirectoryTimePass::Output DirectoryTimePass::run(const Input &input, DirectoryTimeRecord &record)
{
    return Pass(input, record).run();
}

} // namespace tw

#include "controllers/DirectoryTimePass.h"

#include "controllers/DirectoryTimes.h"
#include "creationdates/FileDates.h"
#include "creationdates/FolderItem.h"

#include <QDateTime>
#include <QLoggingCategory>
#include <algorithm>

namespace tw {
namespace {

// Each time written, and why: "QT_LOGGING_RULES=tw.dirtimes.debug=true".
Q_LOGGING_CATEGORY(lcTimes, "tw.dirtimes", QtWarningMsg)

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
        for (auto placed = m_in.news.placedAtMs.cbegin(); placed != m_in.news.placedAtMs.cend(); ++placed)
            m_record.notePlaced(placed.key(), *placed);
        for (const QString &path : m_in.news.gone)
            m_record.forget(path);
        for (const QString &path : paths)
            decide(path);
        for (const QString &path : std::as_const(m_parentsChanged))
            if (!m_settled.contains(path))
                if (const std::optional<FolderItem> item = directory(m_in.root, path))
                    stamp(path, *item, item->modifiedSeconds());
        m_out.deferred = m_in.news.only(m_out.ask + m_waiting);
        m_out.waiting = !m_waiting.isEmpty();
        // Where no time travels, the record is read again once the wait is
        // over: by then the receivers that carry times sent the maker's.
        for (const QString &path : std::as_const(m_waiting))
            if (const auto origin = m_in.origins.constFind(path); origin != m_in.origins.cend() && m_in.carries)
                m_out.origins.insert(path, *origin);
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
        const std::optional<qint64> carried = m_in.carries ? carriedBy(*item) : carriedInIndex(path);
        const DirectoryTimeRecord::Entry *seen = m_record.find(path);
        const QList<DirectoryNews::Change> changes = madeHere(m_in.news.changedHere.value(path));
        if (m_in.carries && !changes.isEmpty())
            return changedHere(path, *item, carried, seen, changes);
        // A directory found changed itself that carries nothing may be new
        // here since this computer last looked (the engine had no record of
        // it then).
        if (!seen || (seen->takenAt == DirectoryTimeRecord::unknownToEngine && m_in.news.reported.contains(path)))
            return firstSeen(path, *item, carried);
        if (!m_in.carries)
            return followIndex(path, *item, *seen, carried);
        if (carried && seen->carried != carried && !seen->takenAt && seen->replaced == carried)
            return putBackStamp(path, *item, *seen);
        if (carried && seen->carried != carried)
            return take(path, *item, *carried);
        if (carried && own != *carried && m_in.news.pulled.contains(path) && newTimeMayCome(path))
            return wait(path);
        if (!carried && seen->carried)
            return putBack(path, *item, *seen);
        if (!carried || !(m_in.news.pulled.contains(path) || (m_in.unexplainedArePulls && own != *carried)))
            return;
        // No stamp came with a file a teammate saved there: it stamps
        // nothing (a node), and the file's time is its save's, the same on
        // every receiver, which carries it on. A file saved before this
        // computer settled the directory (a tree still arriving) moves
        // nothing.
        if (const std::optional<qint64> saved = latestPlaced(path, std::max(*carried, seen->settledAt)))
            return stamp(path, *item, *saved);
        take(path, *item, *carried);
    }

    // Where the drive keeps no times, the time teammates carry travels in the
    // engine's index: a new one comes with the directory's own version, read
    // at its pull (or asked for, past what the pull's reads take). A file a
    // pull placed moves it on as above, against the time last taken here.
    // Nothing is put back: where metadata syncs nowhere, the index keeps a
    // time from before for a directory since moved, and the pull's moment
    // is nearer.
    void followIndex(const QString &path, const FolderItem &item, const DirectoryTimeRecord::Entry &seen,
                     std::optional<qint64> carried)
    {
        if (!m_in.news.pulled.contains(path))
            return;
        if (carried && seen.carried != carried)
            return take(path, item, *carried);
        if (newTimeMayCome(path))
            return wait(path);
        const std::optional<qint64> taken = carried ? carried : seen.carried;
        const std::optional<qint64> saved = taken ? latestPlaced(path, std::max(*taken, seen.settledAt)) : std::nullopt;
        if (saved && item.setModificationTime(*saved) == 0)
            return m_record.set(path, {taken, 0});
        if (!m_in.origins.contains(path) && placedIn(path).isEmpty())
            m_out.ask.insert(path);
    }

    // A change here moves the directory on to its own time, unless a
    // teammate's later time came meanwhile. A file made here after that
    // time and before this computer put it on the directory (found by a scan
    // after that) moved the directory's time first: its birth counts.
    void changedHere(const QString &path, const FolderItem &item, std::optional<qint64> carried,
                     const DirectoryTimeRecord::Entry *seen, const QList<DirectoryNews::Change> &changes)
    {
        qint64 time = item.modifiedSeconds();
        if (seen && seen->takenAt > 0 && seen->carried)
            for (const DirectoryNews::Change &change : changes)
                time = std::max(time, madeBeforeTaking(change, *seen->carried, seen->takenAt));
        if (carried && (!seen || seen->carried != carried) && *carried > time)
            return take(path, item, *carried);
        stamp(path, item, time);
    }

    qint64 madeBeforeTaking(const DirectoryNews::Change &change, qint64 carried, qint64 takenAt) const
    {
        const std::optional<FolderItem> file = change.deleted ? std::nullopt : FolderItem::open(m_in.root, change.item);
        const qint64 born = file && file->bornMs() ? *file->bornMs() / 1000 : carried;
        return born > carried && born <= takenAt ? born : carried;
    }

    // A directory this computer has no record of is its own if the
    // engine's index says it changed it first: then, found by its scanner,
    // it was made or moved in here and changed the directory it is in.
    // A teammate's takes the time it carries, or else its version's time.
    void firstSeen(const QString &path, const FolderItem &item, std::optional<qint64> carried)
    {
        const bool reported = m_in.news.reported.contains(path);
        // A directory a pull made before the scanner found it is a teammate's,
        // whatever the counters say: the engine keeps each device's last
        // change, so the maker's later change (its stamp) can leave its
        // counter above the one this computer's scanner gave the directory.
        const bool pulledFirst = m_in.news.pulled.contains(path) && !m_in.news.foundFirst.contains(path);
        if (carried && (!reported || pulledFirst))
            return take(path, item, *carried);
        const auto origin = m_in.origins.constFind(path);
        // Where no time travels, the engine's record is asked once the
        // receivers that carry times had the moment to send theirs, unless
        // it was read at the pull as its maker's own version (the others'
        // come with the moment they landed, or the maker's time again).
        if (!m_in.carries && newTimeMayCome(path) && (origin == m_in.origins.cend() || !makersOwn(*origin)))
            return wait(path);
        if (origin == m_in.origins.cend()) {
            m_out.ask.insert(path);
            return;
        }
        if (origin->changedBy.isEmpty() && origin->lastChangedBy.isEmpty())
            return m_record.set(path, {std::nullopt, DirectoryTimeRecord::unknownToEngine});
        const bool first = !pulledFirst && (origin->firstChangedBy.isEmpty() ? m_in.news.foundFirst.contains(path)
                                                                             : origin->firstChangedBy == m_in.ownShortID);
        if (first)
            return madeHereNow(path, item, carried, reported);
        if (carried)
            return take(path, item, *carried);
        const bool teammates = origin->lastChangedBy != m_in.ownShortID;
        qCDebug(lcTimes) << m_in.root << path << "first seen, last changed by" << origin->lastChangedBy
                         << origin->modified.value_or(-1);
        // Where times travel, it goes on carrying it (once the maker's own
        // stamp had time to come): the other receivers' engines may have
        // only this computer's record of the moment it landed here.
        if (teammates && origin->modified && m_in.carries)
            return newTimeMayCome(path) ? wait(path) : stamp(path, item, *origin->modified);
        const bool wrote = teammates && origin->modified && *origin->modified != item.modifiedSeconds()
                        && item.setModificationTime(*origin->modified) == 0;
        m_record.set(path, {std::nullopt, wrote ? QDateTime::currentSecsSinceEpoch() : 0});
    }

    void madeHereNow(const QString &path, const FolderItem &item, std::optional<qint64> carried, bool reported)
    {
        if (const QString parent = DirectoryNews::parentOf(path); reported && !parent.isEmpty() && m_in.carries)
            m_parentsChanged.insert(parent);
        if (carried)
            return take(path, item, *carried);
        if (m_in.carries)
            return stamp(path, item, item.modifiedSeconds());
        m_record.set(path, {});
    }

    // A file a pull placed, untouched since, that the engine's scanner finds
    // again after it was placed (it sends it once more after its attributes
    // were set) is no change made here: not after a restart either.
    QList<DirectoryNews::Change> madeHere(QList<DirectoryNews::Change> changes) const
    {
        changes.removeIf([this](const DirectoryNews::Change &change) {
            const std::optional<qint64> placed = m_record.placedAt(change.item);
            if (change.deleted || !placed || change.foundAtMs.value_or(0) < *placed)
                return false;
            const std::optional<FolderItem> file = FolderItem::open(m_in.root, change.item);
            qCDebug(lcTimes) << m_in.root << change.item << "placed at" << *placed << "found at"
                             << change.foundAtMs.value_or(-1) << "modified" << (file ? file->modifiedMs() : -1);
            return file && file->modifiedMs() <= *placed;
        });
        return changes;
    }

    // The latest time after `after` of the files pulls placed in the
    // directory, this computer's clock at most.
    std::optional<qint64> latestPlaced(const QString &path, qint64 after)
    {
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        std::optional<qint64> latest;
        for (const QString &file : placedIn(path)) {
            const std::optional<FolderItem> item = FolderItem::open(m_in.root, file);
            if (!item || item->type() != std::filesystem::file_type::regular)
                continue;
            if (const qint64 time = std::min(item->modifiedSeconds(), now); time > std::max(after, latest.value_or(0)))
                latest = time;
        }
        return latest;
    }

    QStringList placedIn(const QString &path)
    {
        if (m_placedIn.isEmpty())
            for (auto it = m_in.news.placedAtMs.cbegin(); it != m_in.news.placedAtMs.cend(); ++it)
                m_placedIn[DirectoryNews::parentOf(it.key())].append(it.key());
        return m_placedIn.value(path);
    }

    bool newTimeMayCome(const QString &path) const
    {
        const auto pulled = m_in.news.pulledAtMs.constFind(path);
        return pulled != m_in.news.pulledAtMs.cend()
            && QDateTime::currentMSecsSinceEpoch() - *pulled < DirectoryTimePass::newTimeWaitMs;
    }

    void wait(const QString &path) { m_waiting.insert(path); }

    // Taken when this computer moved the directory to a teammate's time,
    // over whatever moved it here before.
    void take(const QString &path, const FolderItem &item, qint64 time)
    {
        if (item.modifiedSeconds() != time)
            qCDebug(lcTimes) << m_in.root << path << "takes" << time << "over" << item.modifiedSeconds();
        m_settled.insert(path);
        if (item.setModificationTime(time) == 0)
            m_record.set(path, {time, item.modifiedSeconds() != time ? QDateTime::currentSecsSinceEpoch() : 0});
    }

    void stamp(const QString &path, const FolderItem &item, qint64 time)
    {
        m_decided.insert(path);
        m_settled.insert(path);
        qCDebug(lcTimes) << m_in.root << path << "stamped" << time << "was" << item.modifiedSeconds()
                         << carriedBy(item).value_or(-1);
        if (item.setModificationTime(time) != 0)
            return;
        const std::optional<qint64> before = carriedBy(item);
        if (before != time) {
            if (item.setDirectoryAttribute(FileDates::modifiedAttributeName, QByteArray::number(time)) != 0)
                return;
            m_out.written.append(path);
        }
        const DirectoryTimeRecord::Entry *seen = m_record.find(path);
        const std::optional<qint64> replaced = before != time ? before : seen ? seen->replaced : std::nullopt;
        m_record.set(path, {time, 0, replaced});
    }

    // A teammate's version made before it saw this computer's stamp brought
    // back the time the stamp replaced: the stamp goes out again, as a
    // version that follows both.
    void putBackStamp(const QString &path, const FolderItem &item, const DirectoryTimeRecord::Entry &seen)
    {
        qCDebug(lcTimes) << m_in.root << path << "stamps again" << *seen.carried;
        m_settled.insert(path);
        if (item.setModificationTime(*seen.carried) == 0
            && item.setDirectoryAttribute(FileDates::modifiedAttributeName, QByteArray::number(*seen.carried)) == 0)
            m_out.written.append(path);
    }

    // Sent again, as a version that follows the one without it.
    void putBack(const QString &path, const FolderItem &item, const DirectoryTimeRecord::Entry &seen)
    {
        qCDebug(lcTimes) << m_in.root << path << "carries again" << *seen.carried;
        if (item.setDirectoryAttribute(FileDates::modifiedAttributeName, QByteArray::number(*seen.carried)) == 0)
            m_out.written.append(path);
    }

    static bool makersOwn(const ItemOrigin &origin)
    {
        return !origin.lastChangedBy.isEmpty() && origin.firstChangedBy == origin.lastChangedBy;
    }

    std::optional<qint64> carriedInIndex(const QString &path) const
    {
        const auto origin = m_in.origins.constFind(path);
        return origin != m_in.origins.cend() ? DirectoryTimePass::carriedIn(*origin) : std::nullopt;
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
    QSet<QString> m_waiting;
    QSet<QString> m_settled;  // stamped or given a teammate's time by this pass
    QSet<QString> m_parentsChanged;
    QHash<QString, QStringList> m_placedIn;  // the placed files by directory, made at the first need
};

} // namespace

// Syncthing sends a version with the attributes of the one before when its
// folder reads none (a node, metadata off): only a version whose time is the
// one it carries was given it by a computer that carries times.
std::optional<qint64> DirectoryTimePass::carriedIn(const ItemOrigin &origin)
{
    const auto text = origin.attributes.constFind(QLatin1String(FileDates::modifiedAttributeName));
    const std::optional<qint64> time = text != origin.attributes.cend() ? FileDates::parseCrtime(*text) : std::nullopt;
    return time && origin.modified == time ? time : std::nullopt;
}

DirectoryTimePass::Output DirectoryTimePass::run(const Input &input, DirectoryTimeRecord &record)
{
    return Pass(input, record).run();
}

} // namespace tw

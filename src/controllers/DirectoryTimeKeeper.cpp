#include "controllers/DirectoryTimeKeeper.h"

#include "controllers/DirectoryTimePass.h"
#include "controllers/EventController.h"
#include "engine/SyncEngine.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>
#include <qcoro/qcorofuture.h>

namespace tw {
namespace {

// What the events told: "QT_LOGGING_RULES=tw.dirnews.debug=true".
Q_LOGGING_CATEGORY(lcNews, "tw.dirnews", QtWarningMsg)

} // namespace

DirectoryTimeKeeper::DirectoryTimeKeeper(SyncEngine &engine, EventController &events, QString recordsFolder,
                                         Sleeper sleeper, QObject *parent)
    : QObject(parent), m_engine(engine), m_recordsFolder(std::move(recordsFolder)), m_sleeper(std::move(sleeper)),
      m_events(events)
{
    connect(&events, &EventController::localChangeFound, this, &DirectoryTimeKeeper::noteLocalChange);
    connect(&events, &EventController::itemPulled, this, &DirectoryTimeKeeper::notePull);
    connect(&events, &EventController::folderStateArrived, this,
            [this](const QString &folderID, FolderState from, FolderState to) { noteState(folderID, from, to); });
    connect(&events, &EventController::streamGap, this, &DirectoryTimeKeeper::noteGap);
    connect(&events, &EventController::diskStreamGap, this, &DirectoryTimeKeeper::noteGap);
}

// A folder ID is the engine's, and may hold anything: the file is named by
// its hexadecimal form.
QString DirectoryTimeKeeper::recordFileName(const QString &folderID)
{
    return QString::fromLatin1(folderID.toUtf8().toHex()) + QStringLiteral(".dirtimes");
}

void DirectoryTimeKeeper::setFolders(const QStringList &folderIDs)
{
    const QSet<QString> now(folderIDs.cbegin(), folderIDs.cend());
    for (const QString &gone : m_known - now) {
        if (m_work.value(gone).running)
            continue;
        ChangeJournal::drop(journalOf(gone).seal());
        m_work.remove(gone);
        if (!m_recordsFolder.isEmpty())
            QFile::remove(QDir(m_recordsFolder).filePath(recordFileName(gone)));
    }
    m_known = now;
    for (const QString &folderID : now)
        schedule(folderID);
}

void DirectoryTimeKeeper::sweep(const QStringList &folderIDs)
{
    for (const QString &folderID : folderIDs) {
        m_work[folderID].wholeTree = true;
        schedule(folderID);
    }
}

void DirectoryTimeKeeper::noteGap()
{
    m_settled.clear();
}

void DirectoryTimeKeeper::noteLocalChange(const QString &folderID, const QString &item, bool directory,
                                          bool deleted, std::optional<qint64> foundAtMs)
{
    qCDebug(lcNews) << m_recordsFolder << item << "found here" << directory << deleted << foundAtMs.value_or(-1);
    Work &work = m_work[folderID];
    work.news.noteLocalChange(item, directory, deleted, foundAtMs);
    journalOf(folderID).append(item, directory, deleted, foundAtMs);
    journalWritten();
    noted(work);
    schedule(folderID);
}

// One write for the whole batch of events, once it is handled.
void DirectoryTimeKeeper::journalWritten()
{
    if (m_flushDue)
        return;
    m_flushDue = true;
    QTimer::singleShot(0, this, [this] {
        m_flushDue = false;
        for (Work &work : m_work)
            if (work.journal)
                work.journal->flush();
    });
}

void DirectoryTimeKeeper::noted(Work &work)
{
    ++work.noted;
    if (work.news.size() > maxNews)
        work.parts.append(std::exchange(work.news, {}));
}

void DirectoryTimeKeeper::notePull(const QString &folderID, const QString &item, bool directory, bool deleted,
                                   std::optional<qint64> atMs)
{
    qCDebug(lcNews) << m_recordsFolder << item << "pulled" << directory << deleted << atMs.value_or(-1);
    Work &work = m_work[folderID];
    work.news.notePull(item, directory, deleted, atMs);
    // The scanner may find a placed file again, or a pulled directory, even
    // after a restart: the pull's report of it comes before the scanner's,
    // both in the engine's disk events, in order, and the journal keeps it.
    if (!deleted) {
        const qint64 placedAtMs = atMs.value_or(QDateTime::currentMSecsSinceEpoch());
        if (directory) {
            journalOf(folderID).appendPulled(item, placedAtMs);
        } else {
            work.news.notePlaced(item, placedAtMs);
            journalOf(folderID).appendPlaced(item, placedAtMs);
        }
        journalWritten();
    }
    if (directory && !deleted && originAtPullWanted(folderID, item))
        keepOriginAtPull(QPointer<DirectoryTimeKeeper>(this), folderID, item);
    noted(work);
    schedule(folderID);
}

// The engine's record of a directory a pull made, read at once: the
// receivers' scanners soon send the directory again with the moment of the
// pull, and the record then names one of them as its last changer, the time
// of the teammate who made it lost. Where directories carry no times, read
// again at each pull, for the time a later version may carry. A bounded
// number: a large pull (news past one part) leaves them to the pass.
bool DirectoryTimeKeeper::originAtPullWanted(const QString &folderID, const QString &path)
{
    const Work &work = m_work[folderID];
    if (!work.parts.isEmpty() || work.originsDue.size() >= maxOriginsAtPull || work.originsDue.contains(path))
        return false;
    const std::optional<Folder> folder = m_lookup ? m_lookup(folderID) : std::nullopt;
    return folder && !(folder->carries && work.origins.contains(path));
}

// One reader per folder, one record at a time.
QCoro::Task<void> DirectoryTimeKeeper::keepOriginAtPull(QPointer<DirectoryTimeKeeper> self, QString folderID,
                                                        QString path)
{
    Work &first = self->m_work[folderID];
    first.originsDue.append(path);
    if (first.originsDue.size() > 1)
        co_return;
    while (self && !self->m_work[folderID].originsDue.isEmpty()) {
        const QString due = self->m_work[folderID].originsDue.constFirst();
        const std::optional<ItemOrigin> origin = co_await self->m_engine.itemOrigin(folderID, due);
        if (!self)
            co_return;
        Work &work = self->m_work[folderID];
        work.originsDue.removeFirst();
        // The first read is kept over a later one unless that carries a time.
        if (origin && !origin->lastChangedBy.isEmpty()
            && (!work.origins.contains(due) || DirectoryTimePass::carriedIn(*origin)))
            work.origins.insert(due, *origin);
    }
}

void DirectoryTimeKeeper::noteState(const QString &folderID, FolderState from, FolderState to)
{
    if (to == FolderState::Syncing || from == FolderState::Syncing) {
        m_work[folderID].pulling = to == FolderState::Syncing;
        schedule(folderID);
    }
    if (from == FolderState::Scanning && to != FolderState::Scanning && !m_settled.contains(folderID))
        settle(folderID);
}

// The folder's first scan since the engine started (or since events went
// untold) has ended: once what it found here is read, every time that moved
// with nothing told was moved by a pull this process did not see.
QCoro::Task<void> DirectoryTimeKeeper::settle(QString folderID)
{
    m_settled.insert(folderID);
    const QPointer<DirectoryTimeKeeper> self(this);
    co_await m_events.catchUpDisk();
    if (!self)
        co_return;
    Work &work = m_work[folderID];
    work.wholeTree = true;
    work.unexplainedArePulls = true;
    schedule(folderID);
}

void DirectoryTimeKeeper::schedule(const QString &folderID)
{
    const auto work = m_work.find(folderID);
    if (work == m_work.end() || work->running || !hasWork(*work))
        return;
    work->running = true;
    runFolder(QPointer<DirectoryTimeKeeper>(this), folderID);
}

// Runs detached while the folder has news; one pass of a folder at a time.
QCoro::Task<void> DirectoryTimeKeeper::runFolder(QPointer<DirectoryTimeKeeper> self, QString folderID)
{
    bool more = true;
    while (self && more) {
        for (int waits = 0; waits < maxQuietWaits && self->m_work[folderID].parts.isEmpty(); ++waits) {
            const quint64 noted = self->m_work[folderID].noted;
            try {
                co_await self->m_sleeper(quiet);
            } catch (...) {
                // An interrupted pause only shortens the wait.
            }
            if (!self)
                co_return;
            const Work &work = self->m_work[folderID];
            if ((work.noted == noted && !work.pulling) || !work.parts.isEmpty())
                break;
        }
        more = co_await self->passOnce(folderID);
    }
    if (self)
        self->m_work[folderID].running = false;
}

ChangeJournal &DirectoryTimeKeeper::journalOf(const QString &folderID)
{
    Work &work = m_work[folderID];
    if (!work.journal)
        work.journal = std::make_shared<ChangeJournal>(
            m_recordsFolder.isEmpty() ? QString()
                                      : QDir(m_recordsFolder).filePath(recordFileName(folderID) + QStringLiteral(".changes")));
    return *work.journal;
}

std::shared_ptr<DirectoryTimeRecord> DirectoryTimeKeeper::recordOf(const QString &folderID)
{
    Work &work = m_work[folderID];
    if (!work.record)
        work.record = std::make_shared<DirectoryTimeRecord>(
            m_recordsFolder.isEmpty() ? QString() : QDir(m_recordsFolder).filePath(recordFileName(folderID)));
    return work.record;
}

namespace {

void addMissing(QHash<QString, ItemOrigin> &into, const QHash<QString, ItemOrigin> &answers)
{
    for (auto it = answers.cbegin(); it != answers.cend(); ++it)
        if (!into.contains(it.key()))
            into.insert(it.key(), it.value());
}

} // namespace

// The folder's pass, started on a worker with what was gathered for it;
// nothing when the folder is not known or not there yet (the news is kept)
// or takes no pulls (the news is dropped).
std::optional<QFuture<DirectoryTimePass::Output>> DirectoryTimeKeeper::startPass(const QString &folderID)
{
    const std::optional<Folder> folder = m_lookup ? m_lookup(folderID) : std::nullopt;
    if (!folder || !folder->online || !QDir::isAbsolutePath(folder->root))
        return std::nullopt;
    Work &work = m_work[folderID];
    QList<DirectoryNews> parts = std::exchange(work.parts, {});
    parts.prepend(std::exchange(work.deferred, {}));
    parts.append(std::exchange(work.news, {}));
    DirectoryTimePass::Input input{.root = folder->root,
                                   .carries = folder->carries,
                                   .wholeTree = std::exchange(work.wholeTree, false),
                                   .unexplainedArePulls = std::exchange(work.unexplainedArePulls, false),
                                   .origins = std::exchange(work.origins, {}),
                                   .ownShortID = m_ownID ? m_ownID().left(7) : QString()};
    if (!folder->sendReceive) {
        ChangeJournal::drop(journalOf(folderID).seal());
        return std::nullopt;
    }
    const std::shared_ptr<DirectoryTimeRecord> record = recordOf(folderID);
    const QStringList pieces = journalOf(folderID).seal();
    return QtConcurrent::run([input = std::move(input), parts = std::move(parts), record, pieces]() mutable {
        record->load();
        DirectoryNews told;
        for (const DirectoryNews &part : parts)
            told.merge(part);
        input.news = ChangeJournal::read(pieces);
        input.news.mergeAfterJournal(told);
        DirectoryTimePass::Output out = DirectoryTimePass::run(input, *record);
        ChangeJournal::drop(pieces);
        return out;
    });
}

// Answers whether the folder has more to do at once (answers to ask).
// Locals only, and no temporaries in what is awaited: this compiler's
// coroutines destroy such ones twice.
QCoro::Task<bool> DirectoryTimeKeeper::passOnce(QString folderID)
{
    std::optional<QFuture<DirectoryTimePass::Output>> pass = startPass(folderID);
    if (!pass)
        co_return false;
    const QPointer<DirectoryTimeKeeper> self(this);
    DirectoryTimePass::Output out = co_await *pass;
    if (!self)
        co_return false;
    if (!out.written.isEmpty()) {
        try {
            // Past a few hundred, one scan of the folder is cheaper than a
            // request naming each (and within what a request line may hold).
            if (out.written.size() > maxNamedScans)
                co_await m_engine.scanFolder(folderID);
            else
                co_await m_engine.scanPaths(folderID, out.written);
        } catch (...) {
            // The engine's watcher finds them all the same, only later.
        }
        if (!self)
            co_return false;
    }
    emit passEnded(folderID, out.written);
    if (out.ask.isEmpty() && !out.waiting)
        co_return hasWork(m_work[folderID]);
    const QHash<QString, ItemOrigin> origins = co_await askOrigins(folderID, out.ask);
    if (!self)
        co_return false;
    // What was told since comes after the deferred news.
    Work &asked = m_work[folderID];
    asked.deferred = std::move(out.deferred);
    // An answer kept from the pull's moment says more than a later one.
    addMissing(asked.origins, out.origins);
    addMissing(asked.origins, origins);
    co_return true;
}

// The engine holds no record of a directory it has not scanned or that it
// ignores: that answer counts as a teammate's unknown one, and the directory
// is asked about again only once found changed itself.
QCoro::Task<QHash<QString, ItemOrigin>> DirectoryTimeKeeper::askOrigins(QString folderID, QSet<QString> paths)
{
    const QPointer<DirectoryTimeKeeper> self(this);
    QHash<QString, ItemOrigin> origins;
    for (const QString &path : paths) {
        const std::optional<ItemOrigin> origin = co_await m_engine.itemOrigin(folderID, path);
        if (!self)
            co_return origins;
        origins.insert(path, origin.value_or(ItemOrigin{}));
    }
    co_return origins;
}

} // namespace tw

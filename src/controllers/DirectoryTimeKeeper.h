#pragma once

#include "controllers/ChangeJournal.h"
#include "controllers/DirectoryNews.h"
#include "controllers/DirectoryTimePass.h"
#include "controllers/DirectoryTimeRecord.h"
#include "engine/model/FolderState.h"
#include "engine/model/ItemOrigin.h"
#include "utilities/Sleeper.h"

#include <QFuture>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

#include <qcoro/qcorotask.h>

namespace tw {

class EventController;
class SyncEngine;

// Keeps the times of the synced folders' directories (DirectoryTimePass
// says the rule). A pass runs per folder, off the main thread: for the
// directories the events named, once the folder's pull is over; for every
// directory at each sweep, and once a folder's first scan since the engine
// started (or since events went untold) has told every change made here.
// The main thread only gathers the news; each folder's record is read,
// decided on and saved by its pass. Main thread only.
class DirectoryTimeKeeper : public QObject
{
    Q_OBJECT

public:
    struct Folder
    {
        QString root;
        bool sendReceive = true;  // only such a folder takes pulls
        bool carries = true;      // its directories carry their times
        bool online = true;       // known to be there: its disk may be looked at
    };
    using FolderLookup = std::function<std::optional<Folder>(const QString &folderID)>;

    // A pull's news waits this long without another before its pass runs,
    // or this many such waits however busy the folder.
    static constexpr std::chrono::milliseconds quiet{500};
    static constexpr int maxQuietWaits = 30;
    // News of more directories than this starts a pass at once: a first
    // pull of a big tree is settled in parts. What comes while a pass runs
    // is kept in parts of that size, handed to the next pass whole: the main
    // thread never copies, merges or rehashes more than one part.
    static constexpr qsizetype maxNews = 2000;
    // A pass that wrote more directories than this has the engine scan the
    // whole folder rather than each.
    static constexpr qsizetype maxNamedScans = 500;
    // Pulled directories waiting for their engine record to be read, at most.
    static constexpr int maxOriginsAtPull = 64;

    // The records are kept in recordsFolder; none is kept without one.
    DirectoryTimeKeeper(SyncEngine &engine, EventController &events, QString recordsFolder,
                        Sleeper sleeper = realSleeper(), QObject *parent = nullptr);

    void setFolderLookup(FolderLookup lookup) { m_lookup = std::move(lookup); }
    // This computer's device ID, read at each pass (known once the engine runs).
    void setOwnDeviceLookup(std::function<QString()> lookup) { m_ownID = std::move(lookup); }
    // The engine folders there are now: news kept for one not yet known
    // gets its pass, and the record of one that is gone is dropped.
    void setFolders(const QStringList &folderIDs);
    // A pass over every directory of each folder.
    void sweep(const QStringList &folderIDs);
    // Events went untold: the next scan of each folder settles what moved.
    void noteGap();

    static QString recordFileName(const QString &folderID);

signals:
    // A pass of the folder ended; written: the directories given a time to
    // carry (asked to be scanned).
    void passEnded(const QString &folderID, const QStringList &written);

private:
    struct Work
    {
        DirectoryNews deferred;      // what the last pass left to the next
        QList<DirectoryNews> parts;  // full parts gathered since, oldest first
        DirectoryNews news;          // the part being gathered
        QHash<QString, ItemOrigin> origins;
        QStringList originsDue;  // pulled directories whose engine record is to be read
        bool wholeTree = false;
        bool unexplainedArePulls = false;
        bool pulling = false;
        bool running = false;
        quint64 noted = 0;
        std::shared_ptr<DirectoryTimeRecord> record;
        std::shared_ptr<ChangeJournal> journal;
    };
    static void noted(Work &work);
    void journalWritten();

    void noteLocalChange(const QString &folderID, const QString &item, bool directory, bool deleted,
                         std::optional<qint64> foundAtMs);
    void notePull(const QString &folderID, const QString &item, bool directory, bool deleted,
                  std::optional<qint64> atMs);
    void noteState(const QString &folderID, FolderState from, FolderState to);
    QCoro::Task<void> settle(QString folderID);
    void schedule(const QString &folderID);
    bool hasWork(const Work &work) const
    {
        return !work.deferred.isEmpty() || !work.parts.isEmpty() || !work.news.isEmpty() || work.wholeTree;
    }
    static QCoro::Task<void> runFolder(QPointer<DirectoryTimeKeeper> self, QString folderID);
    QCoro::Task<bool> passOnce(QString folderID);
    std::optional<QFuture<DirectoryTimePass::Output>> startPass(const QString &folderID);
    QCoro::Task<QHash<QString, ItemOrigin>> askOrigins(QString folderID, QSet<QString> paths);
    bool originAtPullWanted(const QString &folderID, const QString &path);
    static QCoro::Task<void> keepOriginAtPull(QPointer<DirectoryTimeKeeper> self, QString folderID, QString path);
    std::shared_ptr<DirectoryTimeRecord> recordOf(const QString &folderID);
    ChangeJournal &journalOf(const QString &folderID);

    SyncEngine &m_engine;
    QString m_recordsFolder;
    Sleeper m_sleeper;
    FolderLookup m_lookup;
    std::function<QString()> m_ownID;
    QHash<QString, Work> m_work;
    QSet<QString> m_known;     // folders listed by the last setFolders()
    QSet<QString> m_settled;   // folders whose first scan since a start or gap was handled
    EventController &m_events;
    bool m_flushDue = false;
};

} // namespace tw

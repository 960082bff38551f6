#pragma once

#include "creationdates/FileDateAccess.h"

#include <QObject>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <set>

class QSocketNotifier;

namespace tw {

// Follows the changes below a set of folders with one inotify instance (the
// instances are few per user and Syncthing's own watchers share them) and
// reconciles the creation date of every regular file that changes, never
// through a symbolic link (see FolderItem). It lives on a worker thread of its
// own: its slots, the tree walks and the reconciliations all run there, one at
// a time.
//
// inotify watches single directories, so every directory below a folder gets a
// watch, directories that appear later get theirs as they are seen (and the
// files already inside them are reconciled, since they may have arrived before
// the watch), and a queue overflow, which loses events, is answered by a full
// pass over every folder again.
class FolderEventWatcher : public QObject
{
    Q_OBJECT

public:
    // latency: how long changes are gathered before they are handled, except
    // for the first change after a quiet period, which is handled at once.
    FolderEventWatcher(FileDateAccess access, std::chrono::milliseconds latency, QObject *parent = nullptr);
    ~FolderEventWatcher() override;

    // Starts watching a folder, then reconciles its whole tree. Signals
    // rootFailed when the folder cannot be watched, and later when the
    // folder's own watch ends (it was deleted or its drive unmounted), so
    // that it is watched afresh once it is back. A folder already watched is
    // left alone.
    void addRoot(const QString &root);
    // Stops watching a folder.
    void removeRoot(const QString &root);

    // Safe from any thread: ends a running tree walk early, for shutdown.
    void requestStop() { m_stop.store(true); }

signals:
    void rootFailed(const QString &root);
    void treeReconciled(const QString &root);
    // Creation-date attributes were written below a folder.
    void attributesWritten(const QString &root);

private:
    struct Directory
    {
        QString path;
        std::set<QString> roots;  // the watched folders this directory lies in
    };

    bool ensureInstance();
    void closeInstance();
    void reconcileTree(const QString &root);
    int addWatch(const QString &path, bool isRoot, const std::set<QString> &roots);
    QStringList watchSubdirectories(const QString &directory, const std::set<QString> &roots);
    // Ends the watches of the directories `drop` answers true for (it may
    // change the entry it is given).
    void dropWatchesWhere(const std::function<bool(Directory &)> &drop);
    void readEvents();
    void dropIfLost(const QString &root);
    void handleDirectoryEvent(quint32 mask, const QString &path, const std::set<QString> &roots);
    // Queues a changed path with the watched folder it lies in, of the given
    // ones; one that lies in none of them is dropped.
    void enqueue(const QString &path, const std::set<QString> &roots);
    void flush();
    void fullPass();

    FileDateAccess m_access;
    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::set<QString> m_roots;
    std::map<QString, int> m_rootWatches;    // each watched folder's own watch descriptor
    std::map<int, Directory> m_directories;  // by watch descriptor
    QStringList m_pending;                   // changed paths, in arrival order
    QHash<QString, QString> m_pendingRoots;  // each pending path's watched folder
    QTimer m_gather;
    std::atomic_bool m_stop{false};
};

} // namespace tw

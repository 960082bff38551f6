#pragma once

#include "creationdates/FileDateAccess.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>

#include <chrono>
#include <set>

namespace tw {

class FolderEventWatcher;

// Keeps files' creation-date attribute in step with their birth time in every
// synced folder. A folder starts being watched with one whole-tree pass; from
// then on each file that changes is reconciled as its change is seen. Watching
// and reconciling happen on a worker thread of this object; watch() itself is
// called on the main thread.
//
// Symbolic links inside the folders are never followed, neither at the end of a
// path nor on the way to it: a synced link may point anywhere on this machine.
class CreationDateController : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds defaultLatency{800};

    explicit CreationDateController(FileDateAccess access = FileDateAccess::system(),
                                    std::chrono::milliseconds latency = defaultLatency, QObject *parent = nullptr);
    ~CreationDateController() override;

    // Makes the watched folders those of the given paths. Folders already
    // watched are left alone; newly watched ones get a whole-tree pass; one
    // that is missing or cannot be watched is tried again on the next call.
    // Only the worker thread looks at the paths. Called at start-up and on every polling tick with the local paths
    // of the enabled syncs' folders.
    void watch(const QStringList &folders);

    // The folders being watched, or about to be.
    std::set<QString> watchedFolders() const { return m_streams; }

signals:
    // A folder's whole-tree pass has ended.
    void treeReconciled(const QString &folder);
    // Attributes were written to files below a folder. Each is a change of
    // the file that its engine must index before a teammate's edit of the same
    // file arrives: one found unindexed then counts as a concurrent local edit,
    // and the file is kept twice as a conflict.
    void attributesWritten(const QString &folder);

private:
    void forget(const QString &folder);

    std::set<QString> m_streams;
    QThread m_thread;
    FolderEventWatcher *m_watcher = nullptr;  // lives on m_thread, deleted when it finishes
};

} // namespace tw

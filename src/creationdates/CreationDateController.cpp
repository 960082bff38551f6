#include "creationdates/CreationDateController.h"

#include "creationdates/FolderEventWatcher.h"

namespace tw {

CreationDateController::CreationDateController(FileDateAccess access, std::chrono::milliseconds latency,
                                               QObject *parent)
    : QObject(parent)
{
    // Owned by the worker thread: deleted there once its loop has finished.
    m_watcher = new FolderEventWatcher(std::move(access), latency);
    m_watcher->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_watcher, &QObject::deleteLater);
    connect(m_watcher, &FolderEventWatcher::rootFailed, this, &CreationDateController::forget);
    connect(m_watcher, &FolderEventWatcher::treeReconciled, this, &CreationDateController::treeReconciled);
    connect(m_watcher, &FolderEventWatcher::attributesWritten, this, &CreationDateController::attributesWritten);
    m_thread.setObjectName(QStringLiteral("crtime"));
    m_thread.start(QThread::LowPriority);
}

CreationDateController::~CreationDateController()
{
    m_watcher->requestStop();
    m_thread.quit();
    m_thread.wait();
}

void CreationDateController::watch(const QStringList &folders)
{
    // Not even a stat here: on a vanished network mount it holds the main
    // thread for minutes. A missing folder fails on the worker thread and is
    // forgotten, so the next call tries it again.
    const std::set<QString> wanted(folders.cbegin(), folders.cend());
    FolderEventWatcher *watcher = m_watcher;
    for (auto it = m_streams.begin(); it != m_streams.end();) {
        if (wanted.count(*it) != 0) {
            ++it;
            continue;
        }
        QMetaObject::invokeMethod(watcher, [watcher, folder = *it] { watcher->removeRoot(folder); },
                                  Qt::QueuedConnection);
        it = m_streams.erase(it);
    }
    for (const QString &folder : wanted) {
        if (!m_streams.insert(folder).second)
            continue;
        QMetaObject::invokeMethod(watcher, [watcher, folder] { watcher->addRoot(folder); }, Qt::QueuedConnection);
    }
}

void CreationDateController::forget(const QString &folder)
{
    m_streams.erase(folder);
}

} // namespace tw

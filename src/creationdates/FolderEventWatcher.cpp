#include "creationdates/FolderEventWatcher.h"

#include "creationdates/FileDates.h"
#include "creationdates/FolderItem.h"
#include "creationdates/TreeWalk.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <optional>
#include <sys/inotify.h>
#include <unistd.h>
#include <utility>

namespace tw {

namespace {

// Content written and closed, created, moved in, or attributes changed (the
// engine sets a received creation-date attribute on a file whose content did
// not change); moves out are followed to keep directory paths right.
constexpr quint32 eventMask = IN_CLOSE_WRITE | IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_ATTRIB;

bool isUnder(const QString &path, const QString &ancestor)
{
    return path == ancestor || (path.startsWith(ancestor) && path.at(ancestor.size()) == QLatin1Char('/'));
}

// Only regular files count, reached from their folder without passing a
// symbolic link: a synced link, or a directory swapped for one, may lead
// anywhere on this machine.
bool isReconcilable(const QString &root, const QString &path)
{
    const std::optional<FolderItem> item = FolderItem::open(root, path.mid(root.size()));
    return item && item->type() == std::filesystem::file_type::regular;
}

// The watched folder a path lies in, of those its directory belongs to.
std::optional<QString> rootOf(const QString &path, const std::set<QString> &roots)
{
    for (const QString &root : roots) {
        if (isUnder(path, root))
            return root;
    }
    return std::nullopt;
}

} // namespace

FolderEventWatcher::FolderEventWatcher(FileDateAccess access, std::chrono::milliseconds latency, QObject *parent)
    : QObject(parent), m_access(std::move(access)), m_gather(this)
{
    m_gather.setSingleShot(true);
    m_gather.setInterval(latency);
    connect(&m_gather, &QTimer::timeout, this, &FolderEventWatcher::flush);
}

FolderEventWatcher::~FolderEventWatcher()
{
    closeInstance();
}

void FolderEventWatcher::addRoot(const QString &root)
{
    if (m_roots.count(root) != 0)
        return;
    const int wd = ensureInstance() ? addWatch(root, true, {root}) : -1;
    if (wd < 0) {
        if (m_roots.empty())
            closeInstance();
        emit rootFailed(root);
        return;
    }
    m_roots.insert(root);
    m_rootWatches[root] = wd;
    watchSubdirectories(root, {root});
    reconcileTree(root);
}

void FolderEventWatcher::removeRoot(const QString &root)
{
    if (m_roots.erase(root) == 0)
        return;
    m_rootWatches.erase(root);
    dropWatchesWhere([&root](Directory &directory) {
        directory.roots.erase(root);
        return directory.roots.empty();
    });
    if (m_roots.empty())
        closeInstance();
}

bool FolderEventWatcher::ensureInstance()
{
    if (m_fd >= 0)
        return true;
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0)
        return false;
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &FolderEventWatcher::readEvents);
    return true;
}

// Gives the instance back as soon as nothing is watched, so that it does not
// count against the per-user limit for nothing.
void FolderEventWatcher::closeInstance()
{
    m_notifier.reset();
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_directories.clear();
    m_pending.clear();
    m_pendingRoots.clear();
    m_gather.stop();
}

void FolderEventWatcher::reconcileTree(const QString &root)
{
    if (FileDates::reconcile(root, m_access, &m_stop))
        emit attributesWritten(root);
    emit treeReconciled(root);
}

// The folder itself is watched wherever a link leads and may be a single file;
// directories below it are watched only as what they are.
int FolderEventWatcher::addWatch(const QString &path, bool isRoot, const std::set<QString> &roots)
{
    const quint32 mask = isRoot ? eventMask : (eventMask | IN_ONLYDIR | IN_DONT_FOLLOW);
    const int wd = ::inotify_add_watch(m_fd, QFile::encodeName(path).constData(), mask);
    if (wd < 0)
        return wd;
    // The same directory reached again (a move, a folder inside another)
    // keeps its descriptor; its path is brought up to date.
    Directory &directory = m_directories[wd];
    directory.path = path;
    directory.roots.insert(roots.begin(), roots.end());
    return wd;
}

// Watches every directory below the given one (skip names included: the
// engine's archive changes are reconciled too) and answers the other items met.
QStringList FolderEventWatcher::watchSubdirectories(const QString &directory, const std::set<QString> &roots)
{
    QStringList others;
    TreeWalk::walk(
        directory,
        [&](const QString &path, const QString &, std::filesystem::file_type type) {
            if (type != std::filesystem::file_type::directory) {
                others.append(path);
                return false;
            }
            return addWatch(path, false, roots) >= 0;
        },
        &m_stop);
    return others;
}

void FolderEventWatcher::dropWatchesWhere(const std::function<bool(Directory &)> &drop)
{
    for (auto it = m_directories.begin(); it != m_directories.end();) {
        if (drop(it->second)) {
            ::inotify_rm_watch(m_fd, it->first);
            it = m_directories.erase(it);
        } else {
            ++it;
        }
    }
}

void FolderEventWatcher::readEvents()
{
    alignas(struct inotify_event) char buffer[64 * 1024];
    bool overflowed = false;
    for (;;) {
        const ssize_t length = ::read(m_fd, buffer, sizeof buffer);
        if (length <= 0)
            break;
        for (ssize_t offset = 0; offset < length;) {
            const auto *event = reinterpret_cast<const struct inotify_event *>(buffer + offset);
            offset += static_cast<ssize_t>(sizeof(struct inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                overflowed = true;
                continue;
            }
            const auto found = m_directories.find(event->wd);
            if (found == m_directories.end())
                continue;
            if (event->mask & IN_IGNORED) {
                m_directories.erase(found);
                // Handled once this read is over: dropping the last folder
                // closes the instance this loop is reading.
                for (const auto &[root, rootWatch] : m_rootWatches) {
                    if (rootWatch == event->wd)
                        QMetaObject::invokeMethod(this, [this, root = root] { dropIfLost(root); },
                                                  Qt::QueuedConnection);
                }
                continue;
            }
            const QString name = event->len > 0 ? QFile::decodeName(event->name) : QString();
            const QString path = name.isEmpty() ? found->second.path : found->second.path + QLatin1Char('/') + name;
            if (event->mask & IN_ISDIR)
                handleDirectoryEvent(event->mask, path, found->second.roots);
            else
                enqueue(path, found->second.roots);
        }
    }
    if (overflowed)
        fullPass();
}

// A folder whose own watch has ended (deleted, or its drive unmounted) is
// given up and reported, so that the next request to watch it, once it exists
// again, starts afresh with a whole-tree pass.
void FolderEventWatcher::dropIfLost(const QString &root)
{
    const auto rootWatch = m_rootWatches.find(root);
    if (rootWatch == m_rootWatches.end() || m_directories.count(rootWatch->second) != 0)
        return;
    removeRoot(root);
    emit rootFailed(root);
}

void FolderEventWatcher::handleDirectoryEvent(quint32 mask, const QString &path, const std::set<QString> &roots)
{
    if (mask & IN_MOVED_FROM) {
        dropWatchesWhere([&path](const Directory &directory) { return isUnder(directory.path, path); });
        return;
    }
    if ((mask & (IN_CREATE | IN_MOVED_TO)) == 0 || m_roots.empty())
        return;
    // Copied: the caller's set belongs to an entry of the map changed below.
    const std::set<QString> owners = roots;
    if (addWatch(path, false, owners) < 0)
        return;
    for (const QString &item : watchSubdirectories(path, owners))
        enqueue(item, owners);
}

void FolderEventWatcher::enqueue(const QString &path, const std::set<QString> &roots)
{
    const std::optional<QString> root = rootOf(path, roots);
    if (root && !m_pendingRoots.contains(path)) {
        m_pendingRoots.insert(path, *root);
        m_pending.append(path);
    }
    // The first change after a quiet period is handled at once; later ones
    // are gathered until the timer runs out.
    if (!m_gather.isActive())
        flush();
}

void FolderEventWatcher::flush()
{
    const QStringList paths = std::exchange(m_pending, {});
    const QHash<QString, QString> roots = std::exchange(m_pendingRoots, {});
    if (paths.isEmpty())
        return;
    std::set<QString> written;
    for (const QString &path : paths) {
        if (m_stop.load())
            return;
        const QString root = roots.value(path);
        if (isReconcilable(root, path) && FileDates::reconcileFile(path, m_access))
            written.insert(root);
    }
    for (const QString &root : written)
        emit attributesWritten(root);
    m_gather.start();
}

void FolderEventWatcher::fullPass()
{
    m_pending.clear();
    m_pendingRoots.clear();
    const std::set<QString> roots = m_roots;
    for (const QString &root : roots) {
        if (m_stop.load())
            return;
        if (const int wd = addWatch(root, true, {root}); wd >= 0)
            m_rootWatches[root] = wd;
        watchSubdirectories(root, {root});
        reconcileTree(root);
    }
}

} // namespace tw

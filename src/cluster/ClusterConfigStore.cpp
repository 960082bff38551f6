#include "cluster/ClusterConfigStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QScopeGuard>
#include <QTemporaryFile>
#include <QUuid>
#include <QtConcurrent/QtConcurrentRun>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

#include <qcoro/qcorofuture.h>

namespace tw {
namespace {

// What one entry of the team folder gave.
struct Entry
{
    enum class Kind { Missing, Read, Unreadable, Unsuitable };
    Kind kind = Kind::Missing;
    QByteArray bytes = {};
};

bool suitable(const struct stat &info)
{
    return S_ISREG(info.st_mode) && info.st_size <= ClusterConfigStore::maxFileBytes;
}

// Only a regular file within the limit is read, never through a link, and no
// more than the limit even if it grows meanwhile: a link to /dev/zero or a
// huge file would otherwise take all memory. A FIFO is never opened.
Entry readEntry(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info = {};
    if (::lstat(name.constData(), &info) != 0)
        return {errno == ENOENT ? Entry::Kind::Missing : Entry::Kind::Unreadable};
    if (!suitable(info))
        return {Entry::Kind::Unsuitable};
    const int fd = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {errno == ENOENT ? Entry::Kind::Missing : Entry::Kind::Unreadable};
    const auto closer = qScopeGuard([fd] { ::close(fd); });
    if (::fstat(fd, &info) != 0)
        return {Entry::Kind::Unreadable};
    if (!suitable(info))
        return {Entry::Kind::Unsuitable};
    QByteArray bytes(qsizetype(info.st_size) + 1, Qt::Uninitialized);
    qsizetype filled = 0;
    while (filled < bytes.size()) {
        const ssize_t got = ::read(fd, bytes.data() + filled, size_t(bytes.size() - filled));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return {Entry::Kind::Unreadable};
        if (got == 0)
            break;
        filled += got;
        if (filled == bytes.size() && filled <= ClusterConfigStore::maxFileBytes)
            bytes.resize(std::min<qsizetype>(bytes.size() * 2, ClusterConfigStore::maxFileBytes + 1));
    }
    if (filled > ClusterConfigStore::maxFileBytes)
        return {Entry::Kind::Unsuitable};
    bytes.truncate(filled);
    return {Entry::Kind::Read, bytes};
}

} // namespace

ClusterConfigStore::ClusterConfigStore(QString folderPath, QString clusterID, QString localDeviceID, QString key)
    : m_folderPath(std::move(folderPath))
    , m_clusterID(std::move(clusterID))
    , m_localDeviceID(std::move(localDeviceID))
    , m_key(std::move(key))
    , m_config(ClusterConfig::empty(m_clusterID))
{
}

void ClusterConfigStore::ensureFolderExists() const { QDir().mkpath(m_folderPath); }

// The record never shrinks: a damaged file, or one replaced while it was
// read, would otherwise take cells with it, and the rewrite replicates to
// every device. Cells merge by their counters, so what this store already
// held (an edit not yet written among it) is merged in.
ClusterConfig ClusterConfigStore::reload()
{
    m_config = reloadFiles(m_config);
    return m_config;
}

QCoro::Task<ClusterConfig> ClusterConfigStore::reloadInBackground(std::shared_ptr<ClusterConfigStore> store)
{
    const ClusterConfig held = store->m_config;
    QFuture<ClusterConfig> work = QtConcurrent::run([store, held] { return store->reloadFiles(held); });
    const ClusterConfig read = co_await work;
    // Edits recorded meanwhile stay.
    store->m_config = read.merged(store->m_config);
    co_return ClusterConfig(store->m_config);
}

ClusterConfig ClusterConfigStore::reloadFiles(const ClusterConfig &held) const
{
    const OnDisk disk = readDisk();
    const ClusterConfig next = disk.record.merged(held);
    // Writing what the main file already says would make a new version of
    // it on every device at every reload.
    if (disk.mainRecord == next) {
        for (const QString &copy : disk.conflictCopies)
            QFile::remove(copy);
        return next;
    }
    saveThenDelete(disk, next);
    return next;
}

void ClusterConfigStore::recordEdit(const QString &folderID, const QString &deviceID, CellState state,
                                    const QString &wallclock)
{
    // A download that lands meanwhile is merged in and the edit signed anew.
    // An edit no attempt could write stays in the record, and the next
    // reload writes it: nothing is written over unread.
    for (int attempt = 1; attempt <= editAttempts; ++attempt) {
        const OnDisk disk = readDisk();
        ClusterConfig next = disk.record.merged(m_config);
        if (next.lamport == std::numeric_limits<qint64>::max())
            return;
        const qint64 lamport = next.lamport + 1;
        const QString sig =
            ClusterConfig::signature(folderID, deviceID, state, lamport, m_localDeviceID, wallclock, m_key);
        next.folders[folderID].insert(deviceID, ClusterCell{state, lamport, wallclock, m_localDeviceID, sig});
        next.lamport = lamport;
        m_config = next;
        if (saveOver(disk.replaceable, m_config)) {
            if (disk.replaceable)
                for (const QString &copy : disk.conflictCopies)
                    QFile::remove(copy);
            return;
        }
    }
}

QString ClusterConfigStore::mainPath() const { return QDir(m_folderPath).filePath(QStringLiteral("cluster.json")); }

// Entries of every kind: a directory or a link under a copy's name is moved
// aside like any other unusable copy.
QStringList ClusterConfigStore::conflictCopyPaths() const
{
    QStringList paths;
    const QDir::Filters filter = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
    for (const QString &name : QDir(m_folderPath).entryList(filter, QDir::Unsorted)) {
        const bool conflictCopy = name.startsWith(QLatin1String("cluster.sync-conflict-"));
        if (conflictCopy && QFileInfo(name).suffix() == QLatin1String("json"))
            paths.append(QDir(m_folderPath).filePath(name));
    }
    return paths;
}

ClusterConfigStore::OnDisk ClusterConfigStore::readDisk() const
{
    OnDisk disk{.record = ClusterConfig::empty(m_clusterID), .conflictCopies = {}};
    const QStringList files = QStringList(mainPath()) + conflictCopyPaths();
    for (const QString &path : files) {
        const bool main = path == files.first();
        const Entry entry = readEntry(path);
        // An unreadable copy may hold somebody's choices: it stays, and the
        // record keeps what it held. The main name must take the next write.
        if (entry.kind == Entry::Kind::Missing || (entry.kind == Entry::Kind::Unreadable && !main))
            continue;
        if (entry.kind != Entry::Kind::Read) {
            quarantine(path);
            continue;
        }
        const std::optional<ClusterConfig::Decoded> decoded = ClusterConfig::fromJson(entry.bytes);
        const bool whole = decoded && decoded->complete;
        if (!whole)
            quarantine(path);
        if (!decoded)
            continue;
        const ClusterConfig record = decoded->config.validated(m_key).withLamportBoundByCells();
        disk.record = disk.record.merged(record);
        if (whole && main) {
            disk.replaceable = entry.bytes;
            disk.mainRecord = disk.record;
        } else if (whole) {
            disk.conflictCopies.append(path);
        }
    }
    return disk;
}

void ClusterConfigStore::quarantine(const QString &path) const
{
    // The name pattern is shared by every device of the team; QUuid writes
    // lower-case digits, the pattern has upper-case ones.
    const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces).left(8).toUpper();
    QFile::rename(path, QDir(m_folderPath).filePath(QStringLiteral("cluster.corrupt-%1.json").arg(id)));
}

bool ClusterConfigStore::save(const ClusterConfig &config) const
{
    ensureFolderExists();
    QSaveFile file(mainPath());
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(config.toJson());
    return file.commit();
}

bool ClusterConfigStore::saveOver(const std::optional<QByteArray> &replaceable, const ClusterConfig &config) const
{
    if (!replaceable)
        return createMain(config);
    const Entry now = readEntry(mainPath());
    return now.kind == Entry::Kind::Read && now.bytes == *replaceable && save(config);
}

bool ClusterConfigStore::createMain(const ClusterConfig &config) const
{
    ensureFolderExists();
    QTemporaryFile file(QDir(m_folderPath).filePath(QStringLiteral("cluster.json.XXXXXX")));
    if (!file.open() || file.write(config.toJson()) < 0 || !file.flush() || ::fsync(file.handle()) != 0)
        return false;
    // A hard link never replaces an existing name, and readers see the
    // whole file at once.
    return ::link(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(mainPath()).constData()) == 0;
}

void ClusterConfigStore::saveThenDelete(const OnDisk &disk, const ClusterConfig &config) const
{
    // Until the merge is on disk a copy may hold the only record of a cell.
    if (!saveOver(disk.replaceable, config) || !disk.replaceable)
        return;
    for (const QString &copy : disk.conflictCopies)
        QFile::remove(copy);
}

} // namespace tw

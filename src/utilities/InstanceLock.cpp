#include "utilities/InstanceLock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace tw {

const QString InstanceLock::fileName = QStringLiteral("instance.lock");
const QString InstanceLock::alreadyRunning = QStringLiteral("TidewellMesh is already running for this user.");

const QString InstanceLock::unreachableFileName = QStringLiteral("instance.unreachable");

InstanceLock::InstanceLock(const AppPaths &paths)
    : m_root(paths.root()), m_unreachablePath(paths.file(unreachableFileName)), m_file(paths.file(fileName))
{
    // A copy may run for weeks; age says nothing about whether it still does.
    m_file.setStaleLockTime(0);
}

bool InstanceLock::acquire()
{
    if (m_file.isLocked())
        return true;
    QDir().mkpath(m_root);
    if (!m_file.tryLock(0))
        return false;
    QFile::remove(m_unreachablePath);
    return true;
}

bool InstanceLock::isHeldElsewhere() const
{
    return !m_file.isLocked() && m_file.error() == QLockFile::LockFailedError;
}

void InstanceLock::release()
{
    m_file.unlock();
}

void InstanceLock::setUnreachable(bool unreachable)
{
    if (!m_file.isLocked())
        return;
    if (!unreachable) {
        QFile::remove(m_unreachablePath);
        return;
    }
    QSaveFile file(m_unreachablePath);
    if (file.open(QIODevice::WriteOnly) && file.write(QByteArray::number(QCoreApplication::applicationPid())) >= 0)
        file.commit();
}

// The process ID it names must be the holder's: one that died holding the
// lock is not running, and a copy taking the lock clears the file.
bool InstanceLock::holderUnreachable() const
{
    QFile file(m_unreachablePath);
    qint64 holder = 0;
    if (!file.open(QIODevice::ReadOnly) || !m_file.getLockInfo(&holder, nullptr, nullptr))
        return false;
    bool read = false;
    const qint64 named = file.read(32).trimmed().toLongLong(&read);
    return read && named == holder;
}

QString InstanceLock::failure() const
{
    if (isHeldElsewhere())
        return alreadyRunning;
    return m_file.fileName() + QStringLiteral(": the lock file cannot be created");
}

} // namespace tw

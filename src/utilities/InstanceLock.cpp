#include "utilities/InstanceLock.h"

#include <QDir>

namespace tw {

const QString InstanceLock::fileName = QStringLiteral("instance.lock");
const QString InstanceLock::alreadyRunning = QStringLiteral("TidewellMesh is already running for this user.");

InstanceLock::InstanceLock(const AppPaths &paths) : m_root(paths.root()), m_file(paths.file(fileName))
{
    // A copy may run for weeks; age says nothing about whether it still does.
    m_file.setStaleLockTime(0);
}

bool InstanceLock::acquire()
{
    if (m_file.isLocked())
        return true;
    QDir().mkpath(m_root);
    return m_file.tryLock(0);
}

bool InstanceLock::isHeldElsewhere() const
{
    return !m_file.isLocked() && m_file.error() == QLockFile::LockFailedError;
}

void InstanceLock::release()
{
    m_file.unlock();
}

QString InstanceLock::failure() const
{
    if (isHeldElsewhere())
        return alreadyRunning;
    return m_file.fileName() + QStringLiteral(": the lock file cannot be created");
}

} // namespace tw

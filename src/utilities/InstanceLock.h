#pragma once

#include "utilities/AppPaths.h"

#include <QLockFile>
#include <QString>

namespace tw {

// One running copy of the application per user. Two copies on one home would
// sweep away each other's Syncthing and share its configuration and database.
//
// The lock is a file in the application's root folder. Only a lock whose
// holder has died is taken over, never one that is merely old. QLockFile is
// not recursive: a second InstanceLock on the same root fails even within
// one process, so the application claims one and hands it to the Syncthing
// supervisor, which reuses it.
class InstanceLock
{
public:
    static const QString fileName;       // "instance.lock"
    static const QString alreadyRunning; // what a second copy tells the user
    static const QString unreachableFileName; // "instance.unreachable": the holder's process ID

    explicit InstanceLock(const AppPaths &paths);
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    // Takes the lock unless this object holds it already, creating the root
    // folder first. Whether it is held afterwards.
    bool acquire();
    // Whether the last acquire() found the lock held by a running process.
    bool isHeldElsewhere() const;
    // Why the last acquire() failed, in the user's words.
    QString failure() const;
    // Lets go of the lock before the object goes: a process that must end
    // while one of its threads cannot may not keep its successor waiting.
    void release();
    // Said by the holder whose local socket could not be opened, and taken
    // back as it starts to quit: a later copy that finds nobody listening
    // then says at once that it runs, rather than waiting for an end that
    // does not come. Taking the lock clears what a dead holder said.
    void setUnreachable(bool unreachable);
    // Whether the process holding the lock said so.
    bool holderUnreachable() const;

private:
    QString m_root;
    QString m_unreachablePath;
    QLockFile m_file;
};

} // namespace tw

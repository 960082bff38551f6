#pragma once

#include "engine/model/SyncDevice.h"
#include "engine/model/SyncFolder.h"
#include "projects/Project.h"

#include <QList>
#include <QString>

namespace tw {

// A Mac that a sync folder excludes or pauses but that the engine still
// shares the folder with: the choice has not taken effect (yet).
struct ExclusionIssue
{
    QString folderLabel = {};  // the sync folder's own label
    QString deviceName = {};   // the engine's name of the Mac, else its device ID
    bool introduced = false;  // another device introduced the Mac to the folder

    // Label and name cannot hold U+0001, so the identity stays unambiguous.
    QString id() const { return folderLabel + QChar(0x0001) + deviceName; }

    bool operator==(const ExclusionIssue &) const = default;
};

// Every such Mac, by sync and folder in list order; empty once every
// exclusion and pause has taken effect.
QList<ExclusionIssue> exclusionConvergenceIssues(const QList<Project> &projects,
                                                 const QList<SyncFolder> &engineFolders,
                                                 const QList<SyncDevice> &devices);

} // namespace tw

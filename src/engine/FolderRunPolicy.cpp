#include "engine/FolderRunPolicy.h"

namespace tw {

bool FolderRunPolicy::mayRun(const QString &folderID) const
{
    return !m_allPaused && !(m_switchedOff && m_switchedOff(folderID));
}

} // namespace tw

#pragma once

#include <QString>
#include <functional>

namespace tw {

// Whether a folder may run on this computer, asked by the engine as it makes
// each folder write that sets a pause, so that what a caller decided before
// its await cannot undo "Pause all" or a folder switched off meanwhile.
// Everything paused (the engine controller's flag) holds every folder;
// otherwise a folder the records switched off stays paused. Main thread only.
class FolderRunPolicy
{
public:
    using SwitchedOff = std::function<bool(const QString &folderID)>;

    bool allPaused() const { return m_allPaused; }
    void setAllPaused(bool paused) { m_allPaused = paused; }
    // Installed by whoever keeps the records; none: no folder is switched off.
    void setSwitchedOff(SwitchedOff switchedOff) { m_switchedOff = std::move(switchedOff); }

    bool mayRun(const QString &folderID) const;
    // The pause to write for a caller that asked for `asked`: a pause is
    // always taken, a resume only where the folder may run.
    bool pausedFor(const QString &folderID, bool asked) const { return asked || !mayRun(folderID); }

private:
    bool m_allPaused = false;
    SwitchedOff m_switchedOff;
};

} // namespace tw

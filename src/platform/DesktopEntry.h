#pragma once

#include <QString>

namespace tw {

// The application's desktop entry, which makes it the handler of
// `tidewellsync` links. An installed copy gets it from the install step; a
// copy run from the build tree writes its own into the user's data folder.
class DesktopEntry
{
public:
    static inline const QString fileName = QStringLiteral("tidewellmesh.desktop");
    static inline const QString linkMimeType = QStringLiteral("x-scheme-handler/tidewellsync");

    // The entry's text, starting `execProgram` (a bare name, or a path that
    // is quoted here) with the link as its argument.
    static QString text(const QString &execProgram);
    // "$XDG_DATA_HOME/applications/tidewellmesh.desktop" (~/.local/share when
    // the variable is unset or not absolute).
    static QString userEntryPath();
    // Writes the entry for this executable unless the file there already
    // names it, then has xdg-mime make it the links' handler in the
    // background. Failures are ignored: links then simply do not reach this
    // copy. Whether the entry was (re)written.
    static bool registerBuildTreeCopy(const QString &entryPath, const QString &executable);
};

} // namespace tw

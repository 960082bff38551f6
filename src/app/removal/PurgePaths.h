#pragma once

#include <QString>
#include <optional>

namespace tw {

// The subfolder a purge names, relative to the folder root, in NFC: one
// leading "/" and empty components dropped, nothing for an empty path, a "." or ".."
// component, a control character (below U+0020) or a first component that
// is Syncthing's own (".stfolder", ".stversions", ".stignore", ".syncthing.*",
// in any letter case, as FAT and exFAT drives fold case). Trashing those
// would wipe a teammate's archive or stop their folder. A path of PATH_MAX
// bytes or more, or with a component beyond NAME_MAX bytes, gives nothing
// before anything else is looked at.
std::optional<QString> canonicalRel(const QString &path);

// The path with a backslash before each of * ? [ ] { } and \, and each
// trailing white-space character in a class of its own ("[ ]"), so that an
// ignore pattern matches it literally.
QString escapeGlob(const QString &path);

} // namespace tw

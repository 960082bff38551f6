#pragma once

#include <QString>
#include <optional>

namespace tw {

// What the receiver of a purge does on disk. The walk, the trash move and the
// removal block: the caller runs them through QtConcurrent::run, so that a
// large subtree neither freezes the application nor times out the sender.

// The subfolder's place: the root with the relative path appended.
QString purgeTargetPath(const QString &root, const QString &relativePath);

// Whether the target's parent, links resolved, lies within the root, links
// resolved; the target itself is left alone (see purgeTargetIsSymLink). A
// root that is not absolute contains nothing.
bool purgeTargetContained(const QString &root, const QString &relativePath);

// Whether the target's parent is the root's own directory below it as
// written, with no link anywhere on the way: the place the ignore line
// protects. A link inside the folder would delete elsewhere, and the deletion
// would reach every teammate as an ordinary one.
bool purgeTargetParentPlain(const QString &root, const QString &relativePath);

// Read without following it; an entry that cannot be read is no link.
bool purgeTargetIsSymLink(const QString &path);

// Anything at all at the path, a dangling link included.
bool purgeTargetExists(const QString &path);
// Surely nothing there: an entry that cannot be read is not missing.
bool purgeTargetMissing(const QString &path);

// Bytes on disk of the item: 0 when nothing is there, a file's (or link's)
// own blocks, or everything below a directory.
qint64 itemSize(const QString &path);

// Measures the item, then moves it into the user's trash or, failing that,
// removes it outright; the measured size, or nothing when both failed.
std::optional<qint64> discardPurgeTarget(const QString &path);

} // namespace tw

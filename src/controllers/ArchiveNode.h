#pragma once

#include "engine/model/ArchivedVersion.h"

#include <QList>
#include <QLocale>
#include <QMap>
#include <QString>
#include <memory>
#include <optional>

namespace tw {

struct ArchiveNode;
using ArchiveNodePtr = std::shared_ptr<const ArchiveNode>;

// One row of a folder's archive as the archive panel shows it: a folder, a
// file (its newest copy) or, for a file archived more than once, one copy.
// Nodes are only ever handed out as shared pointers to const, so a tree built
// on a worker thread can be passed to the main thread and shared by views.
struct ArchiveNode
{
    enum class Kind { Folder, File, Version };

    // "dir:" + enclosing folder names each followed by "/" + name;
    // "file:" + the newest copy's path as the engine reported it;
    // "ver:" + the copy's path + "@" + its version time.
    QString id;
    QString name;
    Kind kind = Kind::Folder;
    // Folders: subfolders, then files. Files: their copies, newest first,
    // when there are two or more. Otherwise empty.
    QList<ArchiveNodePtr> children;
    // Files: the newest copy; versions: their copy; folders: none.
    std::optional<ArchivedVersion> version;
    qint64 fileCount = 1;
    qint64 totalSize = 0;
    qint64 versionCount = 1;

    // The children, or nothing for a leaf, so an outline shows no disclosure
    // control for single-copy files and versions.
    std::optional<QList<ArchiveNodePtr>> childrenOrNil() const
    {
        return children.isEmpty() ? std::nullopt : std::optional(children);
    }
};

// The tree of a folder's archive, top-level nodes in display order. Copies of
// one path are ordered newest first by their version time compared as text
// (by Unicode scalar value, never parsed: offsets are not normalised), equal
// times in input order. Empty path components are dropped; a path with none
// left appears nowhere. Of two path texts that name the same components, the
// one first seen later wins. Names are in the locale's FileNameOrder, folders
// before files; a name both a folder and a file yields both nodes.
QList<ArchiveNodePtr> buildArchiveTree(const QList<ArchivedVersion> &versions, const QLocale &locale = QLocale());

// Path text to version time of the newest copy of every file beneath the
// node (the file itself for a file node; nothing for a version node): what
// restores the node.
QMap<QString, QString> restoreMapping(const ArchiveNode &node);

} // namespace tw

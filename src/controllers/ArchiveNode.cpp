#include "controllers/ArchiveNode.h"

#include "utilities/FileNameOrder.h"

#include <QHash>
#include <algorithm>
#include <map>

namespace tw {
namespace {

using Copies = QList<ArchivedVersion>;

// The working tree, alive only while one is built. Names are kept in
// QString's own order, so names that the name order finds equivalent ("a",
// "A") come out of its stable sort in a fixed order.
struct Builder
{
    std::map<QString, std::unique_ptr<Builder>> folders;
    std::map<QString, Copies> files;
};

// UTF-16 units rearranged so that comparing them compares code points:
// surrogates (characters beyond the BMP) go above every other unit.
int codePointOrder(char16_t unit)
{
    if (unit >= 0xE000)
        return unit - 0x800;
    if (unit >= 0xD800)
        return unit + 0x2000;
    return unit;
}

// Whether `a` is greater than `b`, text compared by Unicode scalar value.
bool isLaterTime(const QString &a, const QString &b)
{
    const auto [atA, atB] = std::mismatch(a.cbegin(), a.cend(), b.cbegin(), b.cend());
    if (atA == a.cend())
        return false;
    if (atB == b.cend())
        return true;
    return codePointOrder(atA->unicode()) > codePointOrder(atB->unicode());
}

// The copies of each path text, newest first, paths in the order first seen.
QList<std::pair<QString, Copies>> copiesByPath(const QList<ArchivedVersion> &versions)
{
    QList<std::pair<QString, Copies>> byPath;
    QHash<QString, qsizetype> indexOf;
    for (const ArchivedVersion &version : versions) {
        const auto found = indexOf.constFind(version.path);
        if (found != indexOf.constEnd()) {
            byPath[*found].second.append(version);
        } else {
            indexOf.insert(version.path, byPath.size());
            byPath.append({version.path, Copies{version}});
        }
    }
    for (auto &[path, copies] : byPath) {
        std::stable_sort(copies.begin(), copies.end(), [](const ArchivedVersion &a, const ArchivedVersion &b) {
            return isLaterTime(a.versionTime, b.versionTime);
        });
    }
    return byPath;
}

void place(Builder &root, const QString &path, Copies copies)
{
    const QStringList components = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (components.isEmpty())
        return;
    Builder *at = &root;
    for (qsizetype i = 0; i + 1 < components.size(); ++i) {
        std::unique_ptr<Builder> &next = at->folders[components[i]];
        if (!next)
            next = std::make_unique<Builder>();
        at = next.get();
    }
    at->files[components.last()] = std::move(copies);
}

template <typename Map>
QStringList namesInOrder(const Map &map, const FileNameOrder &order)
{
    QStringList names;
    names.reserve(qsizetype(map.size()));
    for (const auto &entry : map)
        names.append(entry.first);
    std::stable_sort(names.begin(), names.end(), order);
    return names;
}

ArchiveNodePtr versionNode(const QString &name, const ArchivedVersion &copy)
{
    ArchiveNode node;
    node.id = QStringLiteral("ver:") + copy.path + QLatin1Char('@') + copy.versionTime;
    node.name = name;
    node.kind = ArchiveNode::Kind::Version;
    node.version = copy;
    node.totalSize = copy.size;
    return std::make_shared<const ArchiveNode>(std::move(node));
}

ArchiveNodePtr fileNode(const QString &name, const Copies &copies)
{
    ArchiveNode node;
    node.id = QStringLiteral("file:") + copies.first().path;
    node.name = name;
    node.kind = ArchiveNode::Kind::File;
    node.version = copies.first();
    node.versionCount = copies.size();
    for (const ArchivedVersion &copy : copies)
        node.totalSize += copy.size;
    if (copies.size() > 1) {
        for (const ArchivedVersion &copy : copies)
            node.children.append(versionNode(name, copy));
    }
    return std::make_shared<const ArchiveNode>(std::move(node));
}

QList<ArchiveNodePtr> childrenOf(const Builder &builder, const QString &prefix, const FileNameOrder &order)
{
    QList<ArchiveNodePtr> children;
    for (const QString &name : namesInOrder(builder.folders, order)) {
        ArchiveNode node;
        node.id = QStringLiteral("dir:") + prefix + name;
        node.name = name;
        node.kind = ArchiveNode::Kind::Folder;
        node.children = childrenOf(*builder.folders.at(name), prefix + name + QLatin1Char('/'), order);
        node.fileCount = 0;
        for (const ArchiveNodePtr &child : node.children) {
            node.fileCount += child->fileCount;
            node.totalSize += child->totalSize;
        }
        children.append(std::make_shared<const ArchiveNode>(std::move(node)));
    }
    for (const QString &name : namesInOrder(builder.files, order))
        children.append(fileNode(name, builder.files.at(name)));
    return children;
}

void collectNewest(const ArchiveNode &node, QMap<QString, QString> &mapping)
{
    switch (node.kind) {
    case ArchiveNode::Kind::Folder:
        for (const ArchiveNodePtr &child : node.children)
            collectNewest(*child, mapping);
        break;
    case ArchiveNode::Kind::File:
        if (node.version)
            mapping.insert(node.version->path, node.version->versionTime);
        break;
    case ArchiveNode::Kind::Version:
        break;
    }
}

} // namespace

QList<ArchiveNodePtr> buildArchiveTree(const QList<ArchivedVersion> &versions, const QLocale &locale)
{
    Builder root;
    for (auto &[path, copies] : copiesByPath(versions))
        place(root, path, std::move(copies));
    return childrenOf(root, QString(), FileNameOrder(locale));
}

QMap<QString, QString> restoreMapping(const ArchiveNode &node)
{
    QMap<QString, QString> mapping;
    collectNewest(node, mapping);
    return mapping;
}

} // namespace tw

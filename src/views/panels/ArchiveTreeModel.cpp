#include "views/panels/ArchiveTreeModel.h"

#include "views/kit/PanelTexts.h"

#include <utility>

namespace tw {

ArchiveTreeModel::Snapshot ArchiveTreeModel::snapshot(QList<ArchiveNodePtr> roots)
{
    Snapshot tree;
    tree.roots = std::move(roots);
    // Depth first without recursion: archives nest as deep as their folders.
    QList<std::pair<const ArchiveNode *, const QList<ArchiveNodePtr> *>> pending{{nullptr, &tree.roots}};
    while (!pending.isEmpty()) {
        const auto [parent, children] = pending.takeLast();
        for (int row = 0; row < children->size(); ++row) {
            const ArchiveNode *child = children->at(row).get();
            tree.places.insert(child, {parent, row});
            tree.byID.insert(child->id, child);
            if (!child->children.isEmpty())
                pending.append({child, &child->children});
        }
    }
    return tree;
}

ArchiveTreeModel::ArchiveTreeModel(SubtitleText subtitle, QObject *parent)
    : QAbstractItemModel(parent), m_subtitle(std::move(subtitle))
{
}

void ArchiveTreeModel::setSnapshot(Snapshot snapshot)
{
    beginResetModel();
    m_tree = std::move(snapshot);
    endResetModel();
}

void ArchiveTreeModel::setRestoring(const QSet<QString> &ids)
{
    const QSet<QString> changed = (ids - m_restoring) + (m_restoring - ids);
    m_restoring = ids;
    for (const QString &id : changed) {
        const QModelIndex row = indexOf(id);
        if (row.isValid())
            emit dataChanged(row, row, {ButtonTextRole, BusyRole});
    }
}

ArchiveNodePtr ArchiveTreeModel::node(const QModelIndex &index) const
{
    if (!index.isValid())
        return nullptr;
    return childrenOf(parent(index)).value(index.row());
}

QModelIndex ArchiveTreeModel::indexOf(const QString &id) const
{
    const ArchiveNode *node = m_tree.byID.value(id);
    if (!node)
        return {};
    return createIndex(m_tree.places.value(node).row, 0, const_cast<ArchiveNode *>(node));
}

QString ArchiveTreeModel::buttonText(const ArchiveNode &node)
{
    switch (node.kind) {
    case ArchiveNode::Kind::Folder:
        return texts::restoreAll;
    case ArchiveNode::Kind::File:
        return node.versionCount >= 2 ? texts::restoreNewest : texts::restore;
    case ArchiveNode::Kind::Version:
        break;
    }
    return texts::restore;
}

Symbol ArchiveTreeModel::symbol(const ArchiveNode &node)
{
    switch (node.kind) {
    case ArchiveNode::Kind::Folder:
        return Symbol::Folder;
    case ArchiveNode::Kind::File:
        return node.versionCount >= 2 ? Symbol::DocOnDoc : Symbol::Doc;
    case ArchiveNode::Kind::Version:
        break;
    }
    return Symbol::ClockArrowCirclepath;
}

const QList<ArchiveNodePtr> &ArchiveTreeModel::childrenOf(const QModelIndex &parent) const
{
    return parent.isValid() ? raw(parent)->children : m_tree.roots;
}

QModelIndex ArchiveTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    const QList<ArchiveNodePtr> &children = childrenOf(parent);
    if (column != 0 || row < 0 || row >= children.size())
        return {};
    return createIndex(row, 0, const_cast<ArchiveNode *>(children.at(row).get()));
}

QModelIndex ArchiveTreeModel::parent(const QModelIndex &child) const
{
    if (!child.isValid())
        return {};
    const ArchiveNode *above = m_tree.places.value(raw(child)).parent;
    if (!above)
        return {};
    return createIndex(m_tree.places.value(above).row, 0, const_cast<ArchiveNode *>(above));
}

int ArchiveTreeModel::rowCount(const QModelIndex &parent) const
{
    if (parent.column() > 0)
        return 0;
    return int(childrenOf(parent).size());
}

int ArchiveTreeModel::columnCount(const QModelIndex &) const
{
    return 1;
}

bool ArchiveTreeModel::hasChildren(const QModelIndex &parent) const
{
    return rowCount(parent) > 0;
}

QVariant ArchiveTreeModel::data(const QModelIndex &index, int role) const
{
    const ArchiveNode *node = index.isValid() ? raw(index) : nullptr;
    if (!node)
        return {};
    const bool busy = m_restoring.contains(node->id);
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return node->name;
    case SubtitleRole:
        return m_subtitle(*node);
    case ButtonTextRole:
        return busy ? texts::rowBusy : buttonText(*node);
    case BusyRole:
        return busy;
    case SymbolRole:
        return int(symbol(*node));
    case KindRole:
        return int(node->kind);
    case IdRole:
        return node->id;
    default:
        return {};
    }
}

} // namespace tw

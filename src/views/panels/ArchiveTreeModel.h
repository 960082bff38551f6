#pragma once

#include "controllers/ArchiveNode.h"
#include "design/Symbol.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QSet>
#include <functional>

namespace tw {

// The archive panel's outline: one row per ArchiveNode, children from
// childrenOrNil, so leaves have no expander. The parent links it needs are
// worked out with the tree, off the main thread (`snapshot`), and the model
// takes them whole; a node's row is marked busy while its id is restoring.
class ArchiveTreeModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    enum Role {
        // Qt::DisplayRole is the node's name.
        SubtitleRole = Qt::UserRole + 1,
        ButtonTextRole,
        BusyRole,
        SymbolRole,  // a Symbol as int
        KindRole,    // an ArchiveNode::Kind as int
        IdRole,
    };

    // A tree with its parent links, ready for the model; made on any thread.
    struct Snapshot
    {
        struct Place
        {
            const ArchiveNode *parent = nullptr;  // none at the top
            int row = 0;
        };
        QList<ArchiveNodePtr> roots;
        QHash<const ArchiveNode *, Place> places;
        QHash<QString, const ArchiveNode *> byID;
    };
    static Snapshot snapshot(QList<ArchiveNodePtr> roots);

    // The second line of a row, from the node.
    using SubtitleText = std::function<QString(const ArchiveNode &)>;
    explicit ArchiveTreeModel(SubtitleText subtitle, QObject *parent = nullptr);

    void setSnapshot(Snapshot snapshot);
    const QList<ArchiveNodePtr> &roots() const { return m_tree.roots; }
    void setRestoring(const QSet<QString> &ids);

    // The node behind an index; null for an invalid one.
    ArchiveNodePtr node(const QModelIndex &index) const;
    QModelIndex indexOf(const QString &id) const;

    static QString buttonText(const ArchiveNode &node);
    static Symbol symbol(const ArchiveNode &node);

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    const ArchiveNode *raw(const QModelIndex &index) const
    {
        return static_cast<const ArchiveNode *>(index.internalPointer());
    }
    const QList<ArchiveNodePtr> &childrenOf(const QModelIndex &parent) const;

    SubtitleText m_subtitle;
    Snapshot m_tree;
    QSet<QString> m_restoring;
};

} // namespace tw

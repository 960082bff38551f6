#pragma once

#include <QPersistentModelIndex>
#include <QStyledItemDelegate>

class QAbstractItemView;

namespace tw {

// Draws an archive row of ArchiveTreeModel: the node's icon, its name over
// its subtitle, and the row's button at the right end, which it presses
// itself. A busy row's button is drawn disabled and takes no click.
class ArchiveRowDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    static constexpr int iconWidth = 18;
    static constexpr int spacing = 10;
    static constexpr int rowPadding = 4;

    explicit ArchiveRowDelegate(QAbstractItemView &view);

    // Where the row's button is drawn, in the view's viewport.
    QRect buttonRect(const QModelIndex &index) const;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

signals:
    void buttonClicked(const QModelIndex &index);

protected:
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override;

private:
    QRect buttonRect(const QRect &row, const QString &text) const;
    QSize buttonSize(const QString &text) const;

    QAbstractItemView &m_view;
    QPersistentModelIndex m_pressed;
};

} // namespace tw

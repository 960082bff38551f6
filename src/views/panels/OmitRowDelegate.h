#pragma once

#include <QStyledItemDelegate>

class QAbstractItemView;

namespace tw {

// Draws a row of OmitLevelModel: the entry's icon, its name (a link for a
// directory that opens, struck through in orange when excluded) and the
// "Omit" switch at the right end, over a rounded background tinted while the
// entry is excluded. A click on the switch asks the model for the other
// state; a click on a link's name asks to open the directory. A release
// acts only where its own press landed: a name opens another level, and
// the release of a double-click's second press (which the view's guard
// keeps from the view) found a row of that level under the pointer.
class OmitRowDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    static constexpr int iconWidth = 16;
    static constexpr int spacing = 10;
    static constexpr int paddingX = 10;
    static constexpr int paddingY = 5;
    static constexpr int rowGap = 3;
    static constexpr int switchWidth = 28;
    static constexpr int switchHeight = 16;

    explicit OmitRowDelegate(QAbstractItemView &view);

    // Where the switch and the name are drawn, in the view's viewport.
    QRect switchRect(const QModelIndex &index) const;
    QRect nameRect(const QModelIndex &index) const;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

signals:
    void openRequested(const QModelIndex &index);

protected:
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override;

private:
    static QRect bodyOf(const QRect &row);
    static QRect switchIn(const QRect &row);
    static QRect nameIn(const QRect &row, const QModelIndex &index);
    // The part of the row a press at `at` lands on, named with the item's
    // path; empty where it lands on neither the switch nor a link's name.
    static QString partAt(const QRect &row, const QModelIndex &index, const QPoint &at);

    QAbstractItemView &m_view;
    // The part the press that the next release ends landed on.
    QString m_pressed;
};

} // namespace tw

#pragma once

#include <QLayout>
#include <QList>

namespace tw {

// A grid of equal-width columns filled row by row: as many columns of at
// least `minimumWidth` as the width holds (adaptive), or a fixed count. A row
// is as high as its tallest item's height for the column width.
class AdaptiveGrid : public QLayout
{
    Q_OBJECT

public:
    AdaptiveGrid(int minimumWidth, int spacing, QWidget *parent = nullptr);
    ~AdaptiveGrid() override;

    // max(1, ⌊(width + spacing) / (minimum + spacing)⌋).
    static int columnsFor(int width, int minimumWidth, int spacing);

    // A fixed column count in place of the adaptive one; 0 returns to it.
    void setFixedColumns(int columns);
    int columnCount(int width) const;
    // The columns and rows of the last geometry.
    int shownColumns() const { return m_shownColumns; }
    int shownRows() const { return m_shownRows; }

    int spacing() const override { return m_spacing; }
    void setSpacing(int spacing) override;
    void addItem(QLayoutItem *item) override;
    int count() const override { return int(m_items.size()); }
    QLayoutItem *itemAt(int index) const override { return m_items.value(index); }
    QLayoutItem *takeAt(int index) override;
    Qt::Orientations expandingDirections() const override { return Qt::Horizontal; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect &rect) override;

private:
    QList<QLayoutItem *> visibleItems() const;
    // Lays out within `rect` when `apply`; answers the height used.
    int arrange(const QRect &rect, bool apply);

    QList<QLayoutItem *> m_items;
    int m_minimumWidth;
    int m_spacing;
    int m_fixedColumns = 0;
    int m_shownColumns = 0;
    int m_shownRows = 0;
};

} // namespace tw

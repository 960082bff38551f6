#include "design/AdaptiveGrid.h"

#include <QWidget>
#include <algorithm>

namespace tw {

AdaptiveGrid::AdaptiveGrid(int minimumWidth, int spacing, QWidget *parent)
    : QLayout(parent), m_minimumWidth(minimumWidth), m_spacing(spacing)
{
    setContentsMargins(0, 0, 0, 0);
}

AdaptiveGrid::~AdaptiveGrid()
{
    while (QLayoutItem *item = takeAt(0))
        delete item;
}

int AdaptiveGrid::columnsFor(int width, int minimumWidth, int spacing)
{
    return std::max(1, (width + spacing) / std::max(1, minimumWidth + spacing));
}

void AdaptiveGrid::setFixedColumns(int columns)
{
    if (columns == m_fixedColumns)
        return;
    m_fixedColumns = columns;
    invalidate();
}

int AdaptiveGrid::columnCount(int width) const
{
    return m_fixedColumns > 0 ? m_fixedColumns : columnsFor(width, m_minimumWidth, m_spacing);
}

void AdaptiveGrid::setSpacing(int spacing)
{
    m_spacing = spacing;
    invalidate();
}

void AdaptiveGrid::addItem(QLayoutItem *item)
{
    m_items.append(item);
    invalidate();
}

QLayoutItem *AdaptiveGrid::takeAt(int index)
{
    if (index < 0 || index >= m_items.size())
        return nullptr;
    QLayoutItem *item = m_items.takeAt(index);
    invalidate();
    return item;
}

QList<QLayoutItem *> AdaptiveGrid::visibleItems() const
{
    QList<QLayoutItem *> shown;
    for (QLayoutItem *item : m_items) {
        if (!item->isEmpty())
            shown.append(item);
    }
    return shown;
}

int AdaptiveGrid::heightForWidth(int width) const
{
    return const_cast<AdaptiveGrid *>(this)->arrange(QRect(0, 0, width, 0), false);
}

QSize AdaptiveGrid::sizeHint() const
{
    const int columns = m_fixedColumns > 0 ? m_fixedColumns : 1;
    const int width = columns * m_minimumWidth + (columns - 1) * m_spacing;
    return {width, heightForWidth(width)};
}

QSize AdaptiveGrid::minimumSize() const
{
    const int columns = m_fixedColumns > 0 ? m_fixedColumns : 1;
    return {columns * m_minimumWidth + (columns - 1) * m_spacing, 0};
}

void AdaptiveGrid::setGeometry(const QRect &rect)
{
    QLayout::setGeometry(rect);
    arrange(rect, true);
}

int AdaptiveGrid::arrange(const QRect &rect, bool apply)
{
    const QList<QLayoutItem *> items = visibleItems();
    const int columns = columnCount(rect.width());
    const int columnWidth = std::max(0, (rect.width() - (columns - 1) * m_spacing) / columns);
    int y = rect.y();
    int rows = 0;
    for (qsizetype start = 0; start < items.size(); start += columns, ++rows) {
        const qsizetype end = std::min(items.size(), start + columns);
        int rowHeight = 0;
        for (qsizetype i = start; i < end; ++i) {
            QLayoutItem *item = items[i];
            const int height = item->hasHeightForWidth() ? item->heightForWidth(columnWidth) : item->sizeHint().height();
            rowHeight = std::max({rowHeight, height, item->minimumSize().height()});
        }
        if (apply) {
            for (qsizetype i = start; i < end; ++i) {
                const int x = rect.x() + int(i - start) * (columnWidth + m_spacing);
                items[i]->setGeometry(QRect(x, y, columnWidth, rowHeight));
            }
        }
        y += rowHeight + m_spacing;
    }
    if (apply) {
        m_shownColumns = columns;
        m_shownRows = rows;
    }
    return rows == 0 ? 0 : y - m_spacing - rect.y();
}

} // namespace tw

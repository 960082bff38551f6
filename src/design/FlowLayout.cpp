#include "design/FlowLayout.h"

#include <algorithm>

namespace tw {

FlowLayout::FlowLayout(int spacing, int lineSpacing, QWidget *parent)
    : QLayout(parent)
    , m_geometry{spacing, lineSpacing}
{
    setContentsMargins(0, 0, 0, 0);
}

FlowLayout::~FlowLayout()
{
    qDeleteAll(m_items);
}

int FlowLayout::spacing() const
{
    return m_geometry.spacing;
}

void FlowLayout::setSpacing(int spacing)
{
    m_geometry.spacing = spacing;
    invalidate();
}

int FlowLayout::lineSpacing() const
{
    return m_geometry.lineSpacing;
}

void FlowLayout::setLineSpacing(int lineSpacing)
{
    m_geometry.lineSpacing = lineSpacing;
    invalidate();
}

void FlowLayout::addItem(QLayoutItem *item)
{
    m_items.append(item);
    invalidate();
}

int FlowLayout::count() const
{
    return int(m_items.size());
}

QLayoutItem *FlowLayout::itemAt(int index) const
{
    return m_items.value(index);
}

QLayoutItem *FlowLayout::takeAt(int index)
{
    if (index < 0 || index >= m_items.size())
        return nullptr;
    QLayoutItem *item = m_items.takeAt(index);
    invalidate();
    return item;
}

Qt::Orientations FlowLayout::expandingDirections() const
{
    return {};
}

bool FlowLayout::hasHeightForWidth() const
{
    return true;
}

int FlowLayout::heightForWidth(int width) const
{
    const QMargins margins = contentsMargins();
    const int inner = std::max(0, width - margins.left() - margins.right());
    return m_geometry.measure(visibleItemSizes(), inner).height() + margins.top() + margins.bottom();
}

QSize FlowLayout::sizeHint() const
{
    return withMargins(m_geometry.measure(visibleItemSizes(), std::nullopt));
}

// Items are never shrunk, so the narrowest the layout can go is its widest
// item, each on a line of its own.
QSize FlowLayout::minimumSize() const
{
    QSize widest;
    for (const QSize &size : visibleItemSizes())
        widest = widest.expandedTo(size);
    return withMargins(widest);
}

void FlowLayout::setGeometry(const QRect &rect)
{
    QLayout::setGeometry(rect);
    const QList<QLayoutItem *> items = visibleItems();
    const std::vector<QSize> sizes = visibleItemSizes();
    const std::vector<QPoint> origins = m_geometry.place(sizes, contentsRect());
    for (qsizetype i = 0; i < items.size(); ++i)
        items[i]->setGeometry(QRect(origins[size_t(i)], sizes[size_t(i)]));
}

// Hidden widgets take no room, as in Qt's own layouts.
QList<QLayoutItem *> FlowLayout::visibleItems() const
{
    QList<QLayoutItem *> items;
    std::copy_if(m_items.begin(), m_items.end(), std::back_inserter(items), [](QLayoutItem *item) { return !item->isEmpty(); });
    return items;
}

std::vector<QSize> FlowLayout::visibleItemSizes() const
{
    std::vector<QSize> sizes;
    for (QLayoutItem *item : visibleItems())
        sizes.push_back(item->sizeHint());
    return sizes;
}

QSize FlowLayout::withMargins(QSize size) const
{
    const QMargins margins = contentsMargins();
    return size.grownBy(margins);
}

} // namespace tw

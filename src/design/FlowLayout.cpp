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
    return m_geometry.measure(visibleItemSizes(inner), inner).height() + margins.top() + margins.bottom();
}

QSize FlowLayout::sizeHint() const
{
    return withMargins(m_geometry.measure(visibleItemSizes(), std::nullopt));
}

// Items wider than a line shrink to it, down to their own minimum, so the
// narrowest the layout can go is its widest minimum, each on a line of its
// own.
QSize FlowLayout::minimumSize() const
{
    QSize widest;
    for (QLayoutItem *item : visibleItems())
        widest = widest.expandedTo(item->minimumSize());
    return withMargins(widest);
}

void FlowLayout::setGeometry(const QRect &rect)
{
    QLayout::setGeometry(rect);
    const QList<QLayoutItem *> items = visibleItems();
    const std::vector<QSize> sizes = visibleItemSizes(contentsRect().width());
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

std::vector<QSize> FlowLayout::visibleItemSizes(std::optional<int> lineWidth) const
{
    std::vector<QSize> sizes;
    for (QLayoutItem *item : visibleItems()) {
        QSize size = item->sizeHint();
        if (lineWidth && size.width() > *lineWidth)
            size.setWidth(std::max(*lineWidth, item->minimumSize().width()));
        sizes.push_back(size);
    }
    return sizes;
}

QSize FlowLayout::withMargins(QSize size) const
{
    const QMargins margins = contentsMargins();
    return size.grownBy(margins);
}

} // namespace tw

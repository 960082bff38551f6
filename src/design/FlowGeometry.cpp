#include "design/FlowGeometry.h"

#include <algorithm>

namespace tw {

FlowGeometry::Walk FlowGeometry::walk(const std::vector<QSize> &itemSizes, std::optional<int> availableWidth) const
{
    Walk result;
    int x = 0;
    int y = 0;
    int lineHeight = 0;
    for (const QSize &size : itemSizes) {
        const bool overflows = availableWidth && qint64(x) + size.width() > *availableWidth;
        if (x > 0 && overflows) {
            y += lineHeight + lineSpacing;
            x = 0;
            lineHeight = 0;
        }
        result.origins.emplace_back(x, y);
        x += size.width() + spacing;
        lineHeight = std::max(lineHeight, size.height());
        result.widestLine = std::max(result.widestLine, x - spacing);
    }
    result.height = y + lineHeight;
    return result;
}

QSize FlowGeometry::measure(const std::vector<QSize> &itemSizes, std::optional<int> proposedWidth) const
{
    const Walk result = walk(itemSizes, proposedWidth);
    return {proposedWidth.value_or(result.widestLine), result.height};
}

std::vector<QPoint> FlowGeometry::place(const std::vector<QSize> &itemSizes, const QRect &bounds) const
{
    std::vector<QPoint> origins = walk(itemSizes, bounds.width()).origins;
    for (QPoint &origin : origins)
        origin += bounds.topLeft();
    return origins;
}

} // namespace tw

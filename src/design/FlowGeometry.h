#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <optional>
#include <vector>

namespace tw {

// The arithmetic of a flow layout, kept apart from widgets: items go left to
// right and wrap to a new line when the next one would pass the available
// width. An item wider than the width sits alone on its line, unshrunk.
struct FlowGeometry
{
    int spacing = 0;      // between items on a line
    int lineSpacing = 0;  // between lines

    // The size wanted for a proposed width; without one, the widest line.
    QSize measure(const std::vector<QSize> &itemSizes, std::optional<int> proposedWidth) const;

    // The top-left corner of each item within the bounds.
    std::vector<QPoint> place(const std::vector<QSize> &itemSizes, const QRect &bounds) const;

private:
    struct Walk
    {
        std::vector<QPoint> origins;
        int widestLine = 0;
        int height = 0;
    };

    Walk walk(const std::vector<QSize> &itemSizes, std::optional<int> availableWidth) const;
};

} // namespace tw

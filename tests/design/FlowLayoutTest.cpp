#include "design/ElidedLabel.h"
#include "design/FlowLayout.h"

#include <QWidget>
#include <gtest/gtest.h>
#include <optional>
#include <vector>

using namespace tw;

namespace {

struct FlowRow
{
    const char *name;
    std::vector<QSize> items;
    std::optional<int> width;
    QSize wanted;
    std::vector<QPoint> origins;  // relative to the bounds, placed at `width`
};

} // namespace

TEST(FlowLayoutTest, MeasuresAndPlacesItemsAtTheirPreferredSizes)
{
    const QSize square(10, 10);
    const FlowRow rows[] = {
        {"nothing, no width", {}, std::nullopt, {0, 0}, {}},
        {"nothing, a width", {}, 50, {50, 0}, {}},
        {"one line, no width", {square, square, square}, std::nullopt, {38, 10}, {{0, 0}, {14, 0}, {28, 0}}},
        {"an exact fit stays", {square, square, square}, 24, {24, 26}, {{0, 0}, {14, 0}, {0, 16}}},
        {"first item too wide", {{30, 8}, {10, 12}}, 20, {20, 26}, {{0, 0}, {0, 14}}},
    };
    for (const FlowRow &row : rows) {
        QWidget host;
        auto *layout = new FlowLayout(4, 6, &host);
        for (const QSize &size : row.items) {
            auto *item = new QWidget(&host);
            item->setFixedSize(size);
            layout->addWidget(item);
        }
        if (!row.width) {
            EXPECT_EQ(layout->sizeHint(), row.wanted) << row.name;
            continue;
        }
        EXPECT_EQ(layout->heightForWidth(*row.width), row.wanted.height()) << row.name;
        layout->setGeometry(QRect(5, 7, *row.width, 100));
        for (size_t i = 0; i < row.origins.size(); ++i)
            EXPECT_EQ(layout->itemAt(int(i))->geometry(), QRect(row.origins[i] + QPoint(5, 7), row.items[i])) << row.name << " item " << i;
    }
}

// A chip with a long name takes the line it is on, ending in "…", rather
// than pushing the layout, and the page holding it, wider.
TEST(FlowLayoutTest, AnItemWiderThanItsLineShrinksToItDownToItsLeast)
{
    QWidget host;
    auto *layout = new FlowLayout(4, 6, &host);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *name = new ElidedLabel(Qt::ElideRight, &host);
    name->setFullText(QStringLiteral("Laptop in the colour grading suite upstairs, second desk by the window"));
    layout->addWidget(name);
    auto *fixed = new QWidget(&host);
    fixed->setFixedSize(10, 10);
    layout->addWidget(fixed);
    const int least = name->minimumSizeHint().width();
    const int line = least + 20;
    ASSERT_GT(name->sizeHint().width(), line);
    EXPECT_EQ(layout->minimumSize().width(), least);

    layout->setGeometry(QRect(0, 0, line, 100));
    EXPECT_EQ(name->width(), line);
    EXPECT_EQ(fixed->geometry().topLeft(), QPoint(0, name->height() + 6));
    EXPECT_EQ(layout->heightForWidth(line), name->height() + 6 + 10);
    layout->setGeometry(QRect(0, 0, least - 5, 100));
    EXPECT_EQ(name->width(), least);
}

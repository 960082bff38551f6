// Wrapping text whose height follows the width it gets.

#include "design/WrappingLabel.h"

#include "SaveShot.h"
#include "ScreenChecks.h"

#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>
#include <functional>
#include <gtest/gtest.h>

namespace tw {
namespace {

const QString kText = QStringLiteral(
    "A sync is one film or job. Add the drives and folders that belong to it and invite your teammates: "
    "everything stays on your own computers, and nothing goes through a cloud.");

struct Placement
{
    const char *name;
    int maximumWidth;
    Qt::Alignment alignment;
};

const Placement kPlacements[] = {
    {"the column's width", QWIDGETSIZE_MAX, {}},
    {"centred", QWIDGETSIZE_MAX, Qt::AlignHCenter},
    {"held to 440, centred", 440, Qt::AlignHCenter},
    {"held to 440", 440, {}},
};

// The labels' faults when placed so in a column of a scrolled page that wide.
QStringList faultsOf(const std::function<QLabel *()> &make, const Placement &placement, int width)
{
    QScrollArea page;
    page.setWidgetResizable(true);
    auto *column = new QWidget;
    auto *layout = new QVBoxLayout(column);
    QLabel *label = make();
    label->setMaximumWidth(placement.maximumWidth);
    layout->addWidget(label, 0, placement.alignment);
    layout->addStretch();
    page.setWidget(column);
    page.resize(width, 400);
    page.show();
    settleLayouts();
    return screenchecks::labelFitFaults(page) + screenchecks::textFootFaults(page);
}

TEST(WrappingLabelTest, ShowsEveryLineHoweverItIsPlaced)
{
    for (const Placement &placement : kPlacements)
        for (const int width : {360, 760, 1366})
            EXPECT_EQ(faultsOf([] { return new WrappingLabel(kText); }, placement, width), QStringList())
                << placement.name << " at " << width;
}

// What the label mends: a word-wrapped QLabel is given the height for the
// column's width but, centred, only its own "pleasing" width.
TEST(WrappingLabelTest, APlainWrappedLabelCentredLosesLines)
{
    auto plain = [] {
        auto *label = new QLabel(kText);
        label->setWordWrap(true);
        return label;
    };
    EXPECT_FALSE(faultsOf(plain, kPlacements[2], 760).isEmpty());
    EXPECT_FALSE(faultsOf(plain, kPlacements[1], 1366).isEmpty());
}

} // namespace
} // namespace tw

// Sheets as high as their content at their width.

#include "views/kit/SheetWidth.h"
#include "views/kit/StyledLabel.h"

#include "SaveShot.h"
#include "ScreenChecks.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(SheetWidthTest, TheSheetGrowsAndShrinksWithItsText)
{
    QDialog sheet;
    auto *layout = new QVBoxLayout(&sheet);
    QLabel *explanation = styledLabel(QStringLiteral("Short."), TextRole::Body);
    layout->addWidget(explanation);
    auto *button = new QPushButton(QStringLiteral("Place"));
    layout->addWidget(button);
    setSheetWidth(sheet, 300);
    sheet.show();
    settleLayouts();
    EXPECT_EQ(sheet.width(), 300);
    const int shortHeight = sheet.height();

    explanation->setText(QString(QStringLiteral("It doesn\u2019t exist here yet \u2014 it will be created. ")).repeated(6));
    settleLayouts();
    EXPECT_EQ(screenchecks::labelFitFaults(sheet), QStringList());
    EXPECT_EQ(screenchecks::placementFaults(sheet), QStringList());
    EXPECT_GT(sheet.height(), shortHeight + 3 * explanation->fontMetrics().lineSpacing());
    EXPECT_EQ(sheet.width(), 300);

    explanation->setText(QStringLiteral("Short."));
    settleLayouts();
    EXPECT_EQ(sheet.height(), shortHeight);
}

} // namespace
} // namespace tw

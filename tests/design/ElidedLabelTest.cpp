// The one-line label that shortens: IDs in the middle, names at the end.

#include "design/ElidedLabel.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(ElidedLabelTest, KeepsBothEndsWhenNarrowAndTheWholeTextWhenWide)
{
    const QString id = QStringLiteral("AAAAAAA-BBBBBBB-CCCCCCC-DDDDDDD-EEEEEEE-FFFFFFF-GGGGGGG-ZZZZZZZ");
    ElidedLabel label;
    label.setFullText(id);
    // Layouts that give it what it asks for give it room for the whole text.
    EXPECT_GE(label.sizeHint().width(), label.fontMetrics().horizontalAdvance(id));
    label.show();
    label.resize(label.fontMetrics().horizontalAdvance(id) + 20, 20);
    EXPECT_EQ(label.text(), id);

    label.resize(label.fontMetrics().horizontalAdvance(id) / 2, 20);
    EXPECT_TRUE(label.text().startsWith(QStringLiteral("AAA"))) << label.text().toStdString();
    EXPECT_TRUE(label.text().endsWith(QStringLiteral("ZZZ"))) << label.text().toStdString();
    // An ellipsis, or three dots where the font has none.
    EXPECT_LT(label.text().size(), id.size());
    EXPECT_EQ(label.fullText(), id);
}

TEST(ElidedLabelTest, ANameKeepsItsBeginningAndEndsInAnEllipsis)
{
    const QString name = QStringLiteral("Laptop in the colour grading suite upstairs, second desk by the window");
    ElidedLabel label(Qt::ElideRight);
    label.setFullText(name);
    label.show();
    label.resize(label.fontMetrics().horizontalAdvance(name) / 3, 20);
    EXPECT_TRUE(label.text().startsWith(QStringLiteral("Laptop"))) << label.text().toStdString();
    EXPECT_TRUE(label.text().endsWith(QChar(0x2026))) << label.text().toStdString();
    EXPECT_LE(label.fontMetrics().horizontalAdvance(label.text()), label.contentsRect().width());
    EXPECT_EQ(label.fullText(), name);
    // A long name lets its layout take it down to its first letters; a
    // short one keeps its whole width.
    EXPECT_LT(label.minimumSizeHint().width(), label.sizeHint().width());
    label.setFullText(QStringLiteral("Film"));
    EXPECT_EQ(label.minimumSizeHint().width(), label.sizeHint().width());
}

} // namespace
} // namespace tw

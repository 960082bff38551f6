// The one-line label that shortens in the middle.

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

} // namespace
} // namespace tw

#include "engine/syncthing/SyncthingIgnoreSyntax.h"

#include "IgnoreSyntaxCases.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(SyncthingIgnoreSyntax, RefusesWhatSyncthingRefuses)
{
    for (const IgnoreSyntaxCase &row : ignoreSyntaxCases)
        EXPECT_EQ(SyncthingIgnoreSyntax::problem(row.line).has_value(), row.refused) << row.line.toStdString();
}

// The first refused line, named with its reason. A line break is refused
// too: Syncthing would store the line as two.
TEST(SyncthingIgnoreSyntax, SaysWhichLineAndWhy)
{
    EXPECT_EQ(SyncthingIgnoreSyntax::refusal({"*.tmp", "[abc", "["}),
              "Syncthing can\u2019t use \u201C[abc\u201D as an ignore pattern: a \u201C[\u201D has no closing "
              "\u201C]\u201D.");
    EXPECT_EQ(SyncthingIgnoreSyntax::problem("a\nb"), "it holds a line break or a NUL character");
    EXPECT_EQ(SyncthingIgnoreSyntax::problem("[z-a]"), "the range \u201Cz-a\u201D runs backwards");
    EXPECT_EQ(SyncthingIgnoreSyntax::refusal({"*.tmp", "build/"}), std::nullopt);
    EXPECT_EQ(SyncthingIgnoreSyntax::refusal({QString(70000, 'a')}),
              "Syncthing can\u2019t use \u201C" + QString(80, 'a') + "\u2026\u201D as an ignore pattern: it is longer "
              "than the 65535 bytes Syncthing reads in one line.");
}

} // namespace
} // namespace tw

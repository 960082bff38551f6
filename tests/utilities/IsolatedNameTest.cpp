#include "utilities/IsolatedName.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

// The name's own isolates neither close the isolate around it early nor
// leave it open over the words after it.
TEST(IsolatedNameTest, OneIsolateAroundTheWholeNameAndNothingBeyond)
{
    const struct { QString name, isolated; } rows[] = {
        {u"\u202EReel"_qs, u"\u2068\u202EReel\u2069"_qs},
        {u"Re\u2069el"_qs, u"\u2068Reel\u2069"_qs},
        {u"Re\u2067el"_qs, u"\u2068Re\u2067el\u2069\u2069"_qs},
        {u"\u2066a\u2069\u2069b"_qs, u"\u2068\u2066a\u2069b\u2069"_qs},
    };
    for (const auto &row : rows)
        EXPECT_EQ(isolatedName(row.name), row.isolated) << row.name.toStdString();
}

} // namespace
} // namespace tw

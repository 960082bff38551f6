#include "utilities/NaturalLess.h"

#include <QString>
#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(NaturalLessTest, OrdersLikeAFileManager)
{
    const struct
    {
        const char *a;
        const char *b;
        bool less;
    } rows[] = {
        {"file 9", "File 10", true},
        {"File 10", "file 9", false},
        {"a", "A", false},  // equivalent both ways: a stable sort keeps them as they came
        {"A", "a", false},
        {"a07", "a7", false},
        {"a7", "a07", false},
        {"a7b", "a07c", true},
        {"x99999999999999999999999", "x100000000000000000000000", true},
        {"a", "a1", true},
        {"a1", "a", false},
        {"", "a", true},
        {"9", "a", true},
        {"Éa", "éb", true},
    };
    for (const auto &row : rows) {
        const QString a = QString::fromUtf8(row.a);
        const QString b = QString::fromUtf8(row.b);
        EXPECT_EQ(naturalLess(a, b), row.less) << row.a << " < " << row.b;
    }
}

} // namespace
} // namespace tw

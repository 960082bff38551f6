#include "engine/SyncEngineError.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

// The other kinds' texts are read where their errors arise.
TEST(SyncEngineErrorTest, FixedTextsAreTheExactUserTexts)
{
    const std::pair<SyncEngineError, QString> cases[] = {
        {SyncEngineError::notRunning(), QStringLiteral("The sync engine is not running.")},
        {SyncEngineError::invalidResponse(), QStringLiteral("Invalid response from the sync backend.")},
    };
    for (const auto &[error, expected] : cases) {
        EXPECT_EQ(error.errorDescription(), expected);
        EXPECT_EQ(QString::fromUtf8(error.what()), expected);
    }
}

} // namespace
} // namespace tw

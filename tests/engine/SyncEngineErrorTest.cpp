#include "engine/SyncEngineError.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

// The other kinds' texts are read where their errors arise.
TEST(SyncEngineErrorTest, InvalidResponseTextIsTheExactUserText)
{
    const SyncEngineError error = SyncEngineError::invalidResponse();
    EXPECT_EQ(error.errorDescription(), QStringLiteral("Invalid response from the sync backend."));
    EXPECT_EQ(QString::fromUtf8(error.what()), error.errorDescription());
}

} // namespace
} // namespace tw

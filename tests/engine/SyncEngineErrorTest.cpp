#include "engine/SyncEngineError.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

struct DescriptionCase
{
    SyncEngineError error;
    QString expected;
};

TEST(SyncEngineErrorTest, DescriptionsAreTheExactUserTexts)
{
    const DescriptionCase cases[] = {
        {SyncEngineError::http(500, QStringLiteral("boom\n")), QStringLiteral("Backend error (HTTP 500): boom\n")},
        {SyncEngineError::backend(QStringLiteral("exactly this")), QStringLiteral("exactly this")},
        {SyncEngineError::binaryNotFound(QStringLiteral("Install it.")),
         QStringLiteral("Sync backend not found. Install it.")},
        {SyncEngineError::notImplemented(QStringLiteral("iroh engine: start")),
         QStringLiteral("Not implemented yet: iroh engine: start")},
        {SyncEngineError::notRunning(), QStringLiteral("The sync engine is not running.")},
        {SyncEngineError::invalidResponse(), QStringLiteral("Invalid response from the sync backend.")},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.error.errorDescription(), c.expected);
        EXPECT_EQ(QString::fromUtf8(c.error.what()), c.expected);
    }
}

} // namespace
} // namespace tw

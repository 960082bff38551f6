#include "utilities/ExitDeadline.h"

#include <QThreadPool>
#include <gtest/gtest.h>

namespace tw {
namespace {

// What the deadline does when the end is held up is shown on the whole
// application (ApplicationIntegrationTest); an end that comes in time goes
// its own way.
TEST(ExitDeadlineTest, AnEndThatComesInTimeIsNotCutShort)
{
    bool cut = false;
    {
        ExitDeadline deadline([&cut](int) { cut = true; });
        deadline.arm(0);
        QThreadPool::globalInstance()->waitForDone();
    }
    EXPECT_FALSE(cut);
}

} // namespace
} // namespace tw

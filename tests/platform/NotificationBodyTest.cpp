#include "platform/NotificationBody.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(NotificationBodyTest, EscapedOnlyForServersThatReadMarkup)
{
    const struct { QString text; bool markup; QString shown; } cases[] = {
        {"<b>Design</b> & \"Co\"", true, "&lt;b&gt;Design&lt;/b&gt; &amp; &quot;Co&quot;"},
        {"<b>Design</b> & \"Co\"", false, "<b>Design</b> & \"Co\""},
        {"<img src=\"file:///etc/x\"/>", true, "&lt;img src=&quot;file:///etc/x&quot;/&gt;"},
        {"Everything is synced.", true, "Everything is synced."},
    };
    for (const auto &c : cases)
        EXPECT_EQ(notificationBody(c.text, c.markup), c.shown) << c.text.toStdString() << " markup " << c.markup;
}

} // namespace
} // namespace tw

#include "lan/HttpRequestHead.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(HttpRequestHeadTest, ParsesMethodPathQueryAndSender)
{
    const struct
    {
        QString head;
        HttpRequestHead expected;
    } cases[] = {
        {"\r\nX-Tidewell-From: DEV-2", {"GET", "/", "", "DEV-2"}},
        {"GET    /diag   HTTP/9.9 extra", {"GET", "/diag", "", ""}},
        {"GET /?t=abc?y=2 HTTP/1.1", {"GET", "/", "t=abc", ""}},
        {"GET / HTTP/1.1\r\nX-Tidewell-From: A\r\nHost: x\r\nx-TIDEWELL-from: \t B:C \t", {"GET", "/", "", "B:C"}},
        // Only CR LF separates lines.
        {"GET /status HTTP/1.1\nX-Tidewell-From: DEV-1", {"GET", "/status", "", ""}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(HttpRequestHead::parse(c.head), c.expected) << c.head.toStdString();
}

TEST(HttpRequestHeadTest, ReadsContentLength)
{
    const struct
    {
        QString header;
        qint64 expected;
    } cases[] = {
        {"\r\ncontent-LENGTH:\t 7 \t", 7},
        // The number's own edges are pinned with the creation-date text, which
        // shares its parser. The first line counts, even when it is unreadable.
        {"\r\nContent-Length: x\r\nContent-Length: 9", 0},
        {"\nContent-Length: 4", 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(HttpRequestHead::contentLength("POST / HTTP/1.1" + c.header), c.expected) << c.header.toStdString();
}

TEST(HttpRequestHeadTest, FindsAndDecodesQueryValue)
{
    const struct
    {
        QString query;
        QString expected;
    } cases[] = {
        {"t=abc%20%C3%A9", QString::fromUtf8("abc \xC3\xA9")},
        {"t=a+b", "a+b"},
        {"t=50%zz", "50%zz"},
        {"t=%FF", "%FF"},
        {"t", ""},
        {"t=a=b&t=2", "a=b"},
        {"&T=1&&tt=2&t=3&", "3"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(HttpRequestHead::queryValue(QStringLiteral("t"), c.query), c.expected) << c.query.toStdString();
}

} // namespace
} // namespace tw

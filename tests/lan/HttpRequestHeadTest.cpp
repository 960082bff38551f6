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
        {"", {"GET", "/", "", ""}},
        {"GET    /diag   HTTP/9.9 extra", {"GET", "/diag", "", ""}},
        {"get /status HTTP/1.1", {"get", "/status", "", ""}},
        {"GET /?t=abc HTTP/1.1", {"GET", "/", "t=abc", ""}},
        {"GET /status?x=1?y=2 HTTP/1.1", {"GET", "/status", "x=1", ""}},
        {"GET /status HTTP/1.1\r\nX-TIDEWELL-FROM: \t DEV-1 \t\r\nHost: x", {"GET", "/status", "", "DEV-1"}},
        {"GET / HTTP/1.1\r\nX-Tidewell-From: A\r\nx-tidewell-from: B", {"GET", "/", "", "B"}},
        {"GET / HTTP/1.1\r\nX-Tidewell-From: a:b", {"GET", "/", "", "a:b"}},
        // Only CR LF separates lines.
        {"GET /status HTTP/1.1\nX-Tidewell-From: DEV-1", {"GET", "/status", "", ""}},
        {"\r\nX-Tidewell-From: DEV-2", {"GET", "/", "", "DEV-2"}},
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
        {"\r\nHost: x", 0},
        {"\r\ncontent-LENGTH:\t 7 \t", 7},
        {"\r\nContent-Length: +5", 5},
        {"\r\nContent-Length: -3", -3},
        {"\r\nContent-Length: ten", 0},
        {"\r\nContent-Length: 1 2", 0},
        {"\r\nContent-Length: 9223372036854775807", 9223372036854775807LL},
        {"\r\nContent-Length: 9223372036854775808", 0},
        // The first line counts, even when it is unreadable.
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
        {"x=1", ""},
        {"t", ""},
        {"t=1&t=2", "1"},
        {"t=a=b", "a=b"},
        {"T=1&tt=2&t=3", "3"},
        {"&&t=4&", "4"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(HttpRequestHead::queryValue(QStringLiteral("t"), c.query), c.expected) << c.query.toStdString();
}

} // namespace
} // namespace tw

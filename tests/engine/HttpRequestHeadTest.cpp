#include "engine/HttpRequestHead.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

struct ParseCase
{
    const char *name;
    QString head;
    HttpRequestHead expected;
};

class HttpRequestHeadParseTest : public ::testing::TestWithParam<ParseCase>
{
};

TEST_P(HttpRequestHeadParseTest, ParsesMethodPathQueryAndSender)
{
    EXPECT_EQ(HttpRequestHead::parse(GetParam().head), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Heads, HttpRequestHeadParseTest,
    ::testing::Values(
        ParseCase{"EmptyHeadIsGetSlash", "", {"GET", "/", "", ""}},
        ParseCase{"MethodOnly", "DELETE", {"DELETE", "/", "", ""}},
        ParseCase{"VersionIgnored", "GET /status HTTP/9.9 extra", {"GET", "/status", "", ""}},
        ParseCase{"RepeatedSpaces", "GET    /diag   HTTP/1.1", {"GET", "/diag", "", ""}},
        ParseCase{"LowerCaseMethodKept", "get /status HTTP/1.1", {"get", "/status", "", ""}},
        ParseCase{"QueryAfterFirstQuestionMark", "GET /?t=abc HTTP/1.1", {"GET", "/", "t=abc", ""}},
        ParseCase{"SecondQuestionMarkEndsQuery", "GET /status?x=1?y=2 HTTP/1.1", {"GET", "/status", "x=1", ""}},
        ParseCase{"OnlyQuestionMarksIsPath", "GET ?? HTTP/1.1", {"GET", "??", "", ""}},
        ParseCase{"LeadingQuestionMarkQueryBecomesPath", "GET ?t=1 HTTP/1.1", {"GET", "t=1", "", ""}},
        ParseCase{"SenderTrimmedAnyCase", "GET /status HTTP/1.1\r\nX-TIDEWELL-FROM: \t DEV-1 \t\r\nHost: x",
                  {"GET", "/status", "", "DEV-1"}},
        ParseCase{"LastSenderWins", "GET / HTTP/1.1\r\nX-Tidewell-From: A\r\nx-tidewell-from: B", {"GET", "/", "", "B"}},
        ParseCase{"SenderValueKeepsLaterColons", "GET / HTTP/1.1\r\nX-Tidewell-From: a:b", {"GET", "/", "", "a:b"}},
        ParseCase{"BareLineFeedDoesNotSeparate", "GET /status HTTP/1.1\nX-Tidewell-From: DEV-1", {"GET", "/status", "", ""}},
        ParseCase{"RequestLineIsNotAHeader", "X-Tidewell-From: DEV-1", {"X-Tidewell-From:", "DEV-1", "", ""}},
        ParseCase{"EmptyRequestLineThenSender", "\r\nX-Tidewell-From: DEV-2", {"GET", "/", "", "DEV-2"}}),
    [](const auto &info) { return std::string(info.param.name); });

struct LengthCase
{
    const char *name;
    QString head;
    qint64 expected;
};

class HttpRequestHeadLengthTest : public ::testing::TestWithParam<LengthCase>
{
};

TEST_P(HttpRequestHeadLengthTest, ReadsContentLength)
{
    EXPECT_EQ(HttpRequestHead::contentLength(GetParam().head), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Heads, HttpRequestHeadLengthTest,
    ::testing::Values(
        LengthCase{"Absent", "POST /purge HTTP/1.1\r\nHost: x", 0},
        LengthCase{"Plain", "POST /purge HTTP/1.1\r\nContent-Length: 12", 12},
        LengthCase{"AnyCaseSpacesAndTabs", "POST / HTTP/1.1\r\ncontent-LENGTH:\t 7 \t", 7},
        LengthCase{"PlusSign", "POST / HTTP/1.1\r\nContent-Length: +5", 5},
        LengthCase{"Negative", "POST / HTTP/1.1\r\nContent-Length: -3", -3},
        LengthCase{"NotANumber", "POST / HTTP/1.1\r\nContent-Length: ten", 0},
        LengthCase{"SignAlone", "POST / HTTP/1.1\r\nContent-Length: -", 0},
        LengthCase{"Empty", "POST / HTTP/1.1\r\nContent-Length:", 0},
        LengthCase{"InnerSpace", "POST / HTTP/1.1\r\nContent-Length: 1 2", 0},
        LengthCase{"LargestValue", "POST / HTTP/1.1\r\nContent-Length: 9223372036854775807", 9223372036854775807LL},
        LengthCase{"Beyond64Bits", "POST / HTTP/1.1\r\nContent-Length: 9223372036854775808", 0},
        LengthCase{"FirstLineCounts", "POST / HTTP/1.1\r\nContent-Length: 4\r\nContent-Length: 9", 4},
        LengthCase{"FirstLineUnreadableGivesZero", "POST / HTTP/1.1\r\nContent-Length: x\r\nContent-Length: 9", 0},
        LengthCase{"BareLineFeedHidesIt", "POST / HTTP/1.1\nContent-Length: 4", 0}),
    [](const auto &info) { return std::string(info.param.name); });

struct QueryCase
{
    const char *name;
    QString key;
    QString query;
    QString expected;
};

class HttpRequestHeadQueryTest : public ::testing::TestWithParam<QueryCase>
{
};

TEST_P(HttpRequestHeadQueryTest, FindsAndDecodesValue)
{
    EXPECT_EQ(HttpRequestHead::queryValue(GetParam().key, GetParam().query), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Queries, HttpRequestHeadQueryTest,
    ::testing::Values(QueryCase{"PercentDecoded", "t", "t=abc%20def", "abc def"},
                      QueryCase{"Utf8Decoded", "t", "t=%C3%A9", QString::fromUtf8("\xC3\xA9")},
                      QueryCase{"PlusStaysPlus", "t", "t=a+b", "a+b"},
                      QueryCase{"MalformedEscapeKeptAsIs", "t", "t=50%zz", "50%zz"},
                      QueryCase{"TruncatedEscapeKeptAsIs", "t", "t=abc%2", "abc%2"},
                      QueryCase{"InvalidUtf8KeptAsIs", "t", "t=%FF", "%FF"},
                      QueryCase{"Missing", "t", "x=1", ""},
                      QueryCase{"EmptyQuery", "t", "", ""},
                      QueryCase{"KeyWithoutValue", "t", "t", ""},
                      QueryCase{"FirstMatchWins", "t", "t=1&t=2", "1"},
                      QueryCase{"SplitsAtFirstEqualsOnly", "t", "t=a=b", "a=b"},
                      QueryCase{"KeyMatchesExactly", "t", "T=1&tt=2&t=3", "3"},
                      QueryCase{"EmptyPiecesSkipped", "t", "&&t=4&", "4"},
                      QueryCase{"LeadingEqualsSkipped", "t", "=t", ""}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
} // namespace tw

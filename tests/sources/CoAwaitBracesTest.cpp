// GCC 12 miscompiles braces around `co_await`: a braced temporary or list in
// the awaited expression (`co_await f({...})`, `co_await X{...}`, a lambda
// argument) is destroyed twice or not at all, and so is a braced initializer
// holding a `co_await`. Nothing fails at build time; the heap is corrupted
// later. This scan of every source keeps the shapes out.

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <cctype>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace tw {
namespace {

// The text with comments and literals blanked out (line breaks kept), so
// only code is looked at and line numbers still hold.
std::string codeOnly(const std::string &text)
{
    std::string code = text;
    const auto blank = [&code](size_t from, size_t to) {
        for (size_t i = from; i < to && i < code.size(); ++i) {
            if (code[i] != '\n')
                code[i] = ' ';
        }
    };
    size_t i = 0;
    while (i < text.size()) {
        size_t end = i + 1;
        if (text.compare(i, 2, "//") == 0) {
            end = text.find('\n', i);
        } else if (text.compare(i, 2, "/*") == 0) {
            end = text.find("*/", i + 2);
            end = end == std::string::npos ? end : end + 2;
        } else if (text.compare(i, 2, "R\"") == 0 && text.find('(', i) != std::string::npos) {
            const size_t open = text.find('(', i);
            const std::string close = ")" + text.substr(i + 2, open - i - 2) + "\"";
            end = text.find(close, open);
            end = end == std::string::npos ? end : end + close.size();
        } else if (text[i] == '"' || (text[i] == '\'' && (i == 0 || !std::isxdigit(static_cast<unsigned char>(text[i - 1]))))) {
            end = i + 1;
            while (end < text.size() && text[end] != text[i])
                end += text[end] == '\\' ? 2 : 1;
            ++end;
        } else {
            ++i;
            continue;
        }
        end = std::min(end, text.size());
        blank(i, end);
        i = end;
    }
    return code;
}

bool isWordChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// Whether the awaited expression starting at `from` holds a brace before it
// ends (at the statement's end, or the bracket or comma that closes it).
bool bracedOperand(const std::string &code, size_t from)
{
    int depth = 0;
    for (size_t i = from; i < code.size(); ++i) {
        const char c = code[i];
        if (c == '{')
            return true;
        if (c == '(' || c == '[')
            ++depth;
        else if ((c == ')' || c == ']') && depth-- == 0)
            return false;
        else if (c == '}' || c == ';' || (c == ',' && depth == 0))
            return false;
    }
    return false;
}

// Whether the brace opening at `at` starts a block (a function or lambda
// body, or a statement's), not a braced initializer.
bool opensBlock(const std::string &code, size_t at)
{
    const std::string before = code.substr(0, at);
    static const QRegularExpression block(
        QStringLiteral(R"(([);{}:\]]|\b(else|try|do|const|override|noexcept|mutable)|->\s*[\w:<>,\s*&]+)\s*$)"));
    return block.match(QString::fromStdString(before.substr(before.size() > 200 ? before.size() - 200 : 0)))
        .hasMatch();
}

// Whether the `co_await` at `at` sits inside a braced initializer of its
// statement.
bool insideBracedInitializer(const std::string &code, size_t at)
{
    int depth = 0;
    for (size_t i = at; i-- > 0;) {
        const char c = code[i];
        if (c == ')' || c == ']' || c == '}') {
            ++depth;
        } else if ((c == '(' || c == '[') && depth > 0) {
            --depth;
        } else if (c == '{') {
            if (depth == 0)
                return !opensBlock(code, i);
            --depth;
        } else if (c == ';' && depth == 0) {
            return false;
        }
    }
    return false;
}

// The lines (from 1) of each `co_await` that has braces in or around it.
std::vector<int> bracedAwaits(const std::string &text)
{
    const std::string code = codeOnly(text);
    const std::string keyword = "co_await";
    std::vector<int> lines;
    for (size_t at = code.find(keyword); at != std::string::npos; at = code.find(keyword, at + 1)) {
        const size_t end = at + keyword.size();
        if ((at > 0 && isWordChar(code[at - 1])) || (end < code.size() && isWordChar(code[end])))
            continue;
        if (bracedOperand(code, end) || insideBracedInitializer(code, at))
            lines.push_back(int(std::count(code.begin(), code.begin() + at, '\n')) + 1);
    }
    return lines;
}

TEST(CoAwaitBracesTest, FindsBracesInAndAroundAwaitsOnly)
{
    const struct
    {
        const char *code;
        std::vector<int> lines;
    } rows[] = {
        {"co_await engine->addDevice({.id = id, .name = name});", {1}},
        {"x = 1;\nco_await Pause{&sleeping};", {2}},
        {"co_await send(base, key,\n    {}, body);", {1}},
        {"co_await run([x] { return x; });", {1}},
        {"co_await f(Pair{a, b}, c);", {1}},
        {"const Pair both{co_await first(), 2};", {1}},
        {"co_return {co_await first(), 2};", {1}},
        {"values = {1, co_await next()};", {1}},
        {"f({a, b});\nco_await g(a);", {}},
        {"const Request request{.id = id};\nco_await engine->addDevice(request);", {}},
        {"if (co_await ready()) {\n    go();\n}", {}},
        {"while (co_await next()) { go(); }", {}},
        {"for (const auto &x : co_await list()) { go(x); }", {}},
        {"QCoro::Task<void> A::f() const { co_await g(); }", {}},
        {"auto f = [](int n) -> QCoro::Task<QList<int>> { co_await g(n); };", {}},
        {"} else { co_await g(); }", {}},
        {"connect(a, b, [x] { co_await g(x); });", {}},
        {"try { co_await g(); } catch (...) { }", {}},
        {"switch (n) { case 1: { co_await g(); } }", {}},
        {"// co_await f({a});\n/* co_await X{b}; */ co_await f(a);", {}},
        {"log(\"co_await f({a})\"); co_await f(a); s = R\"(co_await X{})\";", {}},
        {"int my_co_await = 0; T t{my_co_await};", {}},
    };
    for (const auto &row : rows)
        EXPECT_EQ(bracedAwaits(row.code), row.lines) << row.code;
}

TEST(CoAwaitBracesTest, NoSourceHasBracesInOrAroundAnAwait)
{
    int files = 0;
    std::string found;
    for (const char *part : {"src", "tests", "app", "bench"}) {
        QDirIterator it(QStringLiteral(TIDEWELL_SOURCE_DIR "/") + QLatin1String(part),
                        {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
            ++files;
            for (const int line : bracedAwaits(file.readAll().toStdString()))
                found += file.fileName().toStdString() + ":" + std::to_string(line) + "\n";
        }
    }
    EXPECT_GT(files, 100);
    EXPECT_TRUE(found.empty()) << "Braces in or around a co_await (build the value in a named local first):\n"
                               << found;
}

} // namespace
} // namespace tw

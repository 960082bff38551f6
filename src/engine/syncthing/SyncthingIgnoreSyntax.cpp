#include "engine/syncthing/SyncthingIgnoreSyntax.h"

#include <QChar>
#include <string>

namespace tw {
namespace {

using Text = std::u32string;

constexpr char32_t kReplacement = 0xFFFD;

bool isLineBreak(char32_t c) { return c == U'\r' || c == U'\n' || c == U'\0'; }

// Syncthing trims every line of Unicode white space at both ends.
Text trimmed(const Text &text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && QChar::isSpace(text[begin]))
        ++begin;
    while (end > begin && QChar::isSpace(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

bool startsWith(const Text &text, const Text &prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

bool endsWith(const Text &text, const Text &suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

QString quoted(const Text &text)
{
    return QStringLiteral("\u201C") + QString::fromUcs4(text.data(), qsizetype(text.size())) +
           QStringLiteral("\u201D");
}

// One glob as Syncthing's glob library reads it: "{…}" alternatives (a "}"
// or "," outside them is a plain character), "[…]" classes, "\" escaping
// the next character (a trailing one is dropped). Only the classes can be
// malformed.
class GlobCheck
{
public:
    explicit GlobCheck(const Text &glob) : m_glob(glob) {}

    std::optional<QString> problem()
    {
        while (m_pos < m_glob.size()) {
            const char32_t c = m_glob[m_pos];
            if (c == U'{') {
                ++m_level;
                ++m_pos;
            } else if ((c == U',' || c == U'}') && m_level > 0) {
                m_level -= c == U'}' ? 1 : 0;
                ++m_pos;
            } else if (c == U'[') {
                ++m_pos;
                if (const std::optional<QString> problem = classProblem())
                    return problem;
            } else if (c == U'?' || c == U'*') {
                ++m_pos;
            } else {
                skipText(m_level > 0 ? U"?*[{}," : U"?*[{");
            }
        }
        return std::nullopt;
    }

private:
    // Literal characters up to the next unescaped breaker; whether any.
    bool skipText(const Text &breakers)
    {
        bool escaped = false;
        bool any = false;
        for (; m_pos < m_glob.size(); ++m_pos) {
            const char32_t c = m_glob[m_pos];
            if (!escaped && c == U'\\') {
                escaped = true;
                continue;
            }
            if (!escaped && breakers.find(c) != Text::npos)
                break;
            escaped = false;
            any = true;
        }
        return any;
    }

    // After a "[": an optional "!", then one range "a-z" or a set of
    // characters, then "]".
    std::optional<QString> classProblem()
    {
        const QString unclosed = QStringLiteral("a \u201C[\u201D has no closing \u201C]\u201D");
        if (m_pos < m_glob.size() && m_glob[m_pos] == U'!')
            ++m_pos;
        if (m_pos >= m_glob.size())
            return unclosed;
        const char32_t low = m_glob[m_pos];
        const bool range = m_pos + 1 < m_glob.size() && m_glob[m_pos + 1] == U'-';
        bool chars = false;
        if (range) {
            m_pos += 2;
            if (m_pos >= m_glob.size())
                return unclosed;
            const char32_t high = m_glob[m_pos++];
            if (high < low)
                return QStringLiteral("the range %1 runs backwards").arg(quoted(Text{low, U'-', high}));
        } else {
            chars = skipText(U"]");
        }
        if (m_pos >= m_glob.size())
            return unclosed;
        if (m_glob[m_pos++] != U']')
            return QStringLiteral("a \u201C[\u2026]\u201D holds a range and more");
        if (!range && !chars)
            return QStringLiteral("a \u201C[\u2026]\u201D holds no character");
        return std::nullopt;
    }

    const Text &m_glob;
    size_t m_pos = 0;
    int m_level = 0;
};

std::optional<QString> globProblem(const Text &glob)
{
    if (glob.find(kReplacement) != Text::npos)
        return QStringLiteral("it holds the replacement character \u201C\uFFFD\u201D");
    return GlobCheck(glob).problem();
}

// Syncthing folds a "(?i)" line one character at a time to the character's
// simple lower case, so "İ" becomes a plain "i". QChar::toLower leaves
// every character whose full lower case is longer alone, and "İ" (to
// "i" and a combining dot) is the only such one.
char32_t foldedAsSyncthing(char32_t c)
{
    return c == 0x0130 ? U'i' : QChar::toLower(c);
}

// One pattern with its prefixes, as Syncthing adds it: rooted at the folder
// with a leading "/", else also matched at any depth.
std::optional<QString> patternProblem(Text pattern)
{
    bool seen[3] = {};
    const Text prefixes[3] = {U"!", U"(?i)", U"(?d)"};
    bool foldCase = false;
    for (bool stripped = true; stripped;) {
        stripped = false;
        for (int i = 0; i < 3 && !stripped; ++i) {
            if (!seen[i] && startsWith(pattern, prefixes[i])) {
                seen[i] = stripped = true;
                foldCase = foldCase || i == 1;
                pattern.erase(0, prefixes[i].size());
            }
        }
    }
    if (pattern.empty())
        return QStringLiteral("it has no pattern after its prefix");
    if (foldCase)
        for (char32_t &c : pattern)
            c = foldedAsSyncthing(c);
    if (startsWith(pattern, U"/"))
        return globProblem(pattern.substr(1));
    if (startsWith(pattern, U"**/")) {
        if (const std::optional<QString> problem = globProblem(pattern))
            return problem;
        return globProblem(pattern.substr(3));
    }
    if (const std::optional<QString> problem = globProblem(pattern))
        return problem;
    return globProblem(U"**/" + pattern);
}

} // namespace

std::optional<QString> SyncthingIgnoreSyntax::problem(const QString &line)
{
    // As Syncthing receives it: an unpaired surrogate becomes U+FFFD.
    const QByteArray bytes = line.toUtf8();
    const Text raw = QString::fromUtf8(bytes).toStdU32String();
    for (const char32_t c : raw)
        if (isLineBreak(c))
            return QStringLiteral("it holds a line break or a NUL character");
    // Syncthing reads its file through a buffer that must hold a whole line
    // and its end; one line longer stops the folder with all its lines.
    if (bytes.size() > maxLineBytes)
        return QStringLiteral("it is longer than the %1 bytes Syncthing reads in one line").arg(maxLineBytes);
    const Text text = trimmed(raw);
    if (text.empty() || startsWith(text, U"//"))
        return std::nullopt;
    if (startsWith(text, U"#include"))
        return QStringLiteral("an \u201C#include\u201D line works only in a folder that holds its file");
    if (endsWith(text, U"/**"))
        return patternProblem(text);
    if (endsWith(text, U"/"))
        return patternProblem(text + U"**");
    if (const std::optional<QString> problem = patternProblem(text))
        return problem;
    return patternProblem(text + U"/**");
}

std::optional<QString> SyncthingIgnoreSyntax::refusal(const QStringList &lines)
{
    for (const QString &line : lines)
        if (const std::optional<QString> found = problem(line))
            return refusalText(line, *found);
    return std::nullopt;
}

QString SyncthingIgnoreSyntax::refusalText(const QString &line, const QString &problem)
{
    return QStringLiteral("Syncthing can\u2019t use \u201C%1\u201D as an ignore pattern: %2.").arg(named(line), problem);
}

QString SyncthingIgnoreSyntax::named(const QString &line)
{
    if (line.size() <= namedLength)
        return line;
    const qsizetype kept = namedLength - (line.at(namedLength - 1).isHighSurrogate() ? 1 : 0);
    return line.left(kept) + QStringLiteral("\u2026");
}

} // namespace tw

#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace tw {

// Which ignore lines Syncthing refuses. A ".stignore" holding one refused
// line stops its folder: it neither scans nor syncs until the file changes.
// So a line is checked here, the way Syncthing reads it, before it goes
// anywhere near a folder. Syncthing trims each line, skips blank lines and
// "//" comments, takes the prefixes "!", "(?i)" and "(?d)" once each
// and compiles the rest (also with "**/" in front and "/**" behind) as a
// glob, whose parser refuses an unclosed or empty "[…]", a backwards range
// and the character U+FFFD; "(?i)" lower-cases one character at a time. A
// line too long for Syncthing's reader stops the folder too. An "#include"
// line is refused here whatever it names: it only works in a folder that
// holds its file.
class SyncthingIgnoreSyntax
{
public:
    // The longest line, in UTF-8 bytes, that Syncthing reads: its reader's
    // 64 KiB buffer holds the line and its end.
    static constexpr qsizetype maxLineBytes = 64 * 1024 - 1;
    // A line is named by at most this many characters.
    static constexpr qsizetype namedLength = 80;

    // Why Syncthing would refuse the line; none when it takes it.
    static std::optional<QString> problem(const QString &line);
    // "Syncthing can’t use “<line>” as an ignore pattern: <problem>." for
    // the first line of the list it would refuse; none when it takes them all.
    static std::optional<QString> refusal(const QStringList &lines);
    // The same sentence for one line already known to be refused.
    static QString refusalText(const QString &line, const QString &problem);
    // The line as a message names it: a line of thousands of characters
    // named whole would fill the window, so a long one is cut with "…".
    static QString named(const QString &line);
};

} // namespace tw

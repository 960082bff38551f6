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
// and the character U+FFFD. An "#include" line is refused here whatever it
// names: it only works in a folder that holds its file.
class SyncthingIgnoreSyntax
{
public:
    // Why Syncthing would refuse the line; none when it takes it.
    static std::optional<QString> problem(const QString &line);
    // "Syncthing can’t use “<line>” as an ignore pattern: <problem>." for
    // the first line of the list it would refuse; none when it takes them all.
    static std::optional<QString> refusal(const QStringList &lines);
    // The same sentence for one line already known to be refused.
    static QString refusalText(const QString &line, const QString &problem);
};

} // namespace tw

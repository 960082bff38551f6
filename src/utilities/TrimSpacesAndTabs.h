#pragma once

#include <QString>

namespace tw {

// The text without leading and trailing spaces and tabs; other white space
// (line breaks, Unicode spaces) stays, unlike QString::trimmed().
QString trimSpacesAndTabs(const QString &text);

} // namespace tw

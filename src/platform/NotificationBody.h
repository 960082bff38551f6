#pragma once

#include <QString>

namespace tw {

// The body as a notification server shows it. A server that advertises
// "body-markup" reads the body as markup, so a name with "<" or "&" in it
// must be escaped there to show as typed; any other server shows the text
// as it is, escapes and all.
QString notificationBody(const QString &text, bool serverHasBodyMarkup);

} // namespace tw

#include "utilities/HostName.h"

#include <algorithm>

namespace tw {

bool isAsciiAlphanumeric(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9');
}

bool isHostName(const QString &name)
{
    return !name.isEmpty() && isAsciiAlphanumeric(name.front())
           && std::all_of(name.cbegin(), name.cend(),
                          [](QChar c) { return isAsciiAlphanumeric(c) || c == u'-' || c == u'.'; });
}

} // namespace tw

#include "utilities/ParseDecimal.h"

#include <limits>

namespace tw {

std::optional<qint64> parseDecimal(QStringView text)
{
    const bool negative = text.startsWith(u'-');
    if (negative || text.startsWith(u'+'))
        text = text.mid(1);
    if (text.isEmpty())
        return std::nullopt;
    // Accumulate towards the negative side, which holds one more value.
    constexpr qint64 lowest = std::numeric_limits<qint64>::min();
    qint64 value = 0;
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code < u'0' || code > u'9')
            return std::nullopt;
        const int digit = code - u'0';
        if (value < (lowest + digit) / 10)
            return std::nullopt;
        value = value * 10 - digit;
    }
    if (negative)
        return value;
    if (value == lowest)
        return std::nullopt;
    return -value;
}

} // namespace tw

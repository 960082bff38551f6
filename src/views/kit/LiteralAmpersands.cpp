#include "views/kit/LiteralAmpersands.h"

namespace tw {

QString literalAmpersands(QString text)
{
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

} // namespace tw

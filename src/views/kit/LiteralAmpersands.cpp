#include "views/kit/LiteralAmpersands.h"

#include "design/OneLineText.h"

namespace tw {

QString literalAmpersands(QString text)
{
    return oneLineText(std::move(text)).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

} // namespace tw

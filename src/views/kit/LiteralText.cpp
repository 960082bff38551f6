#include "views/kit/LiteralText.h"

#include "design/OneLineText.h"

#include <QTextDocument>

namespace tw {

QString literalToolTip(const QString &text)
{
    return Qt::mightBeRichText(text) ? Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal) : text;
}

QString literalWindowTitle(QString text)
{
    return oneLineText(std::move(text)).replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
}

} // namespace tw

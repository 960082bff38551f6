#include "design/WrappingLabel.h"

#include <QFontMetrics>
#include <QTextDocument>
#include <algorithm>
#include <cmath>

namespace tw {

WrappingLabel::WrappingLabel(const QString &text, QWidget *parent) : QLabel(parent)
{
    // Most texts come from elsewhere: shown as typed unless told otherwise.
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
    setText(text);
}

int WrappingLabel::oneLineWidth() const
{
    const bool rich = textFormat() == Qt::RichText || (textFormat() == Qt::AutoText && Qt::mightBeRichText(text()));
    int width = 0;
    if (rich) {
        QTextDocument document;
        document.setDefaultFont(font());
        document.setDocumentMargin(0);
        document.setHtml(text());
        width = int(std::ceil(document.idealWidth()));
    } else {
        const QFontMetrics metrics = fontMetrics();
        for (const QString &line : text().split(QLatin1Char('\n')))
            width = std::max(width, metrics.horizontalAdvance(line));
    }
    const QMargins margins = contentsMargins();
    return width + margins.left() + margins.right() + 2 * margin() + 1;
}

QSize WrappingLabel::sizeHint() const
{
    const int width = std::min(std::max(oneLineWidth(), minimumSizeHint().width()), maximumWidth());
    return {width, heightForWidth(width)};
}

int WrappingLabel::heightForWidth(int width) const
{
    return QLabel::heightForWidth(std::min(width, maximumWidth()));
}

} // namespace tw

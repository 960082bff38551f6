#include "design/ElidedLabel.h"

#include <QEvent>
#include <QFontMetrics>

namespace tw {

ElidedLabel::ElidedLabel(Qt::TextElideMode mode, QWidget *parent) : QLabel(parent), m_mode(mode)
{
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

void ElidedLabel::setFullText(const QString &text)
{
    if (text == m_fullText && !text.isEmpty())
        return;
    m_fullText = text;
    elide();
    updateGeometry();
}

QSize ElidedLabel::sizeHint() const
{
    const QMargins margins = contentsMargins();
    const int width = fontMetrics().horizontalAdvance(m_fullText) + margins.left() + margins.right() + 2 * margin();
    return {width, QLabel::sizeHint().height()};
}

QSize ElidedLabel::minimumSizeHint() const
{
    // Any width will do: the text shortens to fit.
    return {fontMetrics().averageCharWidth() * 3, QLabel::minimumSizeHint().height()};
}

void ElidedLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        elide();
        updateGeometry();
    }
}

void ElidedLabel::elide()
{
    const QString shown = fontMetrics().elidedText(m_fullText, m_mode, contentsRect().width() - 2 * margin());
    if (shown != text())
        setText(shown);
}

} // namespace tw

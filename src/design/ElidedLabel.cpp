#include "design/ElidedLabel.h"

#include "design/ElidedLine.h"

#include <QEvent>

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

int ElidedLabel::horizontalFrame() const
{
    const QMargins margins = contentsMargins();
    return margins.left() + margins.right() + 2 * margin();
}

QSize ElidedLabel::sizeHint() const
{
    return {oneLineWidth(m_fullText, font()) + horizontalFrame(), QLabel::sizeHint().height()};
}

QSize ElidedLabel::minimumSizeHint() const
{
    return {leastOneLineWidth(m_fullText, font()) + horizontalFrame(), QLabel::minimumSizeHint().height()};
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
    const QString shown = elidedToFit(m_fullText, font(), m_mode, contentsRect().width() - 2 * margin());
    if (shown != text())
        setText(shown);
}

} // namespace tw

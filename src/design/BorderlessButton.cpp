#include "design/BorderlessButton.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace tw {

BorderlessButton::BorderlessButton(const QString &text, QWidget *parent) : QAbstractButton(parent)
{
    setText(text);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
}

bool BorderlessButton::hasIcon() const
{
    return !icon().isNull();
}

int BorderlessButton::symbolSide() const
{
    return fontMetrics().height();
}

QSize BorderlessButton::sizeFor(const QString &shown) const
{
    const QFontMetrics metrics = fontMetrics();
    int width = shown.isEmpty() ? 0 : metrics.size(Qt::TextShowMnemonic, shown).width();
    if (hasIcon())
        width += symbolSide() + (shown.isEmpty() ? 0 : iconSpacing);
    return {width + 2 * margin, metrics.height() + 2 * margin};
}

QSize BorderlessButton::sizeHint() const
{
    return sizeFor(text());
}

// A long name may give way down to its "…".
QSize BorderlessButton::minimumSizeHint() const
{
    return sizeFor(text().isEmpty() ? QString() : QStringLiteral("\u2026"));
}

void BorderlessButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (isDown())
        painter.setOpacity(0.6);
    const QRect content = rect().adjusted(margin, margin, -margin, -margin);
    int x = content.left();
    if (hasIcon()) {
        const int side = symbolSide();
        const QIcon::Mode mode = isEnabled() ? QIcon::Normal : QIcon::Disabled;
        icon().paint(&painter, QRect(x, content.top(), side, side), Qt::AlignCenter, mode);
        x += side + iconSpacing;
    }
    if (!text().isEmpty()) {
        painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
        const QRect textArea(x, content.top(), content.right() - x + 1, content.height());
        const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, textArea.width(), Qt::TextShowMnemonic);
        painter.drawText(textArea, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, shown);
    }
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect();
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
}

} // namespace tw

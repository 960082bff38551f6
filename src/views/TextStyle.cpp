#include "views/TextStyle.h"

#include <QFontDatabase>
#include <QLabel>

namespace tw {
namespace {

// Sizes of the roles against a 13-point body text.
qreal scale(TextRole role)
{
    switch (role) {
    case TextRole::Title2:
        return 17.0 / 13;
    case TextRole::Title3:
        return 15.0 / 13;
    case TextRole::Callout:
        return 12.0 / 13;
    case TextRole::Caption:
    case TextRole::Caption2:
        return 10.5 / 13;
    case TextRole::Body:
    case TextRole::Headline:
    case TextRole::Monospaced11:
        break;
    }
    return 1;
}

} // namespace

void applyTextRole(QWidget *widget, TextRole role)
{
    if (role == TextRole::Monospaced11) {
        QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setPointSizeF(11);
        widget->setFont(font);
        return;
    }
    QFont font = widget->font();
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * scale(role));
    font.setBold(role == TextRole::Title2 || role == TextRole::Title3 || role == TextRole::Headline);
    widget->setFont(font);
}

void applyTextTone(QWidget *widget, TextTone tone)
{
    if (tone == TextTone::Primary)
        return;
    QPalette palette = widget->palette();
    QColor color = palette.color(QPalette::WindowText);
    color.setAlphaF(tone == TextTone::Secondary ? 0.6 : 0.4);
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    widget->setPalette(palette);
}

QLabel *styledLabel(const QString &text, TextRole role, TextTone tone, Qt::TextFormat format)
{
    auto *label = new QLabel(text);
    label->setTextFormat(format);
    label->setWordWrap(true);
    applyTextRole(label, role);
    applyTextTone(label, tone);
    return label;
}

} // namespace tw

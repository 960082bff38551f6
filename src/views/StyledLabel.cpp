#include "views/StyledLabel.h"

#include "design/TextStyle.h"
#include "design/WrappingLabel.h"

#include <QFontDatabase>
#include <QLabel>

namespace tw {
namespace {

TextStyle styleOf(TextRole role)
{
    switch (role) {
    case TextRole::Title2:
        return TextStyle::Title2;
    case TextRole::Title3:
        return TextStyle::Title3;
    case TextRole::Headline:
        return TextStyle::Headline;
    case TextRole::Callout:
        return TextStyle::Callout;
    case TextRole::Caption:
        return TextStyle::Caption;
    case TextRole::Caption2:
        return TextStyle::Caption2;
    case TextRole::Body:
    case TextRole::Monospaced11:
        break;
    }
    return TextStyle::Body;
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
    widget->setFont(textStyleFont(styleOf(role)));
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
    auto *label = new WrappingLabel(text);
    label->setTextFormat(format);
    applyTextRole(label, role);
    applyTextTone(label, tone);
    return label;
}

} // namespace tw

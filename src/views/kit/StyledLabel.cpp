#include "views/kit/StyledLabel.h"

#include "design/DerivedForeground.h"
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
    case TextRole::MonospacedCaption:
        break;
    }
    return TextStyle::Body;
}

} // namespace

void applyTextRole(QWidget *widget, TextRole role)
{
    // Fixed pitch at the size the design gives, relative to the body font
    // as every other text is.
    if (role == TextRole::Monospaced11 || role == TextRole::MonospacedCaption) {
        QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        const QFont sized = role == TextRole::Monospaced11 ? pointsFont(11) : textStyleFont(TextStyle::Caption);
        font.setPointSizeF(sized.pointSizeF());
        widget->setFont(font);
        return;
    }
    // Every title-2 text of these screens is a sheet's or a page's title,
    // which the design draws bold.
    widget->setFont(role == TextRole::Title2 ? styledFont(TextStyle::Title2, QFont::Bold)
                                             : textStyleFont(styleOf(role)));
}

void applyTextTone(QWidget *widget, TextTone tone)
{
    // Primary text needs no rule of its own, unless it had another tone.
    if (tone == TextTone::Primary && !DerivedForeground::follows(*widget))
        return;
    const qreal strength = tone == TextTone::Primary ? 1 : tone == TextTone::Secondary ? 0.6 : tertiaryStrength;
    DerivedForeground::apply(*widget, windowTextAt(strength));
}

namespace {

WrappingLabel *styled(TextRole role, TextTone tone)
{
    auto *label = new WrappingLabel;
    applyTextRole(label, role);
    applyTextTone(label, tone);
    return label;
}

} // namespace

QLabel *styledLabel(const QString &text, TextRole role, TextTone tone)
{
    WrappingLabel *label = styled(role, tone);
    label->setText(text);
    return label;
}

QLabel *markdownLabel(const QString &markdown, TextRole role, TextTone tone)
{
    WrappingLabel *label = styled(role, tone);
    label->setMarkdown(markdown);
    return label;
}

} // namespace tw

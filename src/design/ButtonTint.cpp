#include "design/ButtonTint.h"

#include "design/ContrastRatio.h"
#include "design/ElidedLine.h"
#include "design/Theme.h"

#include <QAbstractButton>
#include <QEvent>
#include <QPainter>
#include <algorithm>

namespace tw {
namespace {

constexpr qreal kRadius = 6;
constexpr int kIconGap = 6;

TintedButtonPainter *painterOf(const QAbstractButton &button)
{
    return button.findChild<TintedButtonPainter *>(QString(), Qt::FindDirectChildrenOnly);
}

} // namespace

TintedButtonPainter::TintedButtonPainter(QAbstractButton &button, ButtonTint tint)
    : QObject(&button), m_button(button), m_tint(tint)
{
    button.installEventFilter(this);
}

void TintedButtonPainter::apply(QAbstractButton &button, ButtonTint tint)
{
    if (TintedButtonPainter *existing = painterOf(button))
        existing->m_tint = tint;
    else
        (void)new TintedButtonPainter(button, tint);
    button.update();
}

void TintedButtonPainter::clear(QAbstractButton &button)
{
    delete painterOf(button);
    button.update();
}

std::optional<ButtonTint> TintedButtonPainter::tintOf(const QAbstractButton &button)
{
    if (const TintedButtonPainter *painter = painterOf(button))
        return painter->m_tint;
    return std::nullopt;
}

QColor TintedButtonPainter::fill(ButtonTint tint)
{
    const QColor base = tint == ButtonTint::Destructive ? Theme::danger() : Theme::accent();
    return readableShade(base, Qt::white, textContrast);
}

namespace {

// The face of a bordered tinted button: the palette's button colour washed
// with the accent.
QColor borderedFace(const QPalette &palette)
{
    const QColor under = palette.color(QPalette::Button);
    const QColor over = Theme::accent();
    constexpr float alpha = 0.18f;
    const auto mix = [](float top, float bottom) { return top * alpha + bottom * (1 - alpha); };
    return QColor::fromRgbF(mix(over.redF(), under.redF()), mix(over.greenF(), under.greenF()),
                            mix(over.blueF(), under.blueF()));
}

} // namespace

bool TintedButtonPainter::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == &m_button && event->type() == QEvent::Paint) {
        paint();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void TintedButtonPainter::paint() const
{
    QPainter painter(&m_button);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette &palette = m_button.palette();
    const bool enabled = m_button.isEnabled();
    const bool bordered = m_tint == ButtonTint::Bordered;
    QColor background = !enabled ? palette.color(QPalette::Disabled, QPalette::Button)
                        : bordered ? borderedFace(palette)
                                   : fill(m_tint);
    if (enabled && m_button.isDown())
        background = background.darker(120);
    const QColor text = !enabled ? palette.color(QPalette::Disabled, QPalette::ButtonText)
                        : bordered ? readableShade(Theme::accent(), background, textContrast)
                                   : QColor(Qt::white);

    // As tall as the style's own buttons beside it.
    const QRectF frame = QRectF(m_button.rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(!enabled ? QPen(palette.color(QPalette::Disabled, QPalette::Mid), 1)
                   : bordered ? QPen(text, 1)
                              : Qt::NoPen);
    painter.setBrush(background);
    painter.drawRoundedRect(frame, kRadius, kRadius);
    if (m_button.hasFocus()) {
        painter.setPen(QPen(palette.color(QPalette::Highlight), 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(frame.adjusted(0.75, 0.75, -0.75, -0.75), kRadius - 0.75, kRadius - 0.75);
    }

    // The mnemonic marker is not drawn; a doubled "&" reads as one.
    QString shown = m_button.text();
    shown.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    shown.remove(QLatin1Char('&'));
    shown.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    const QFontMetrics metrics(m_button.font());
    const QSize iconSize = m_button.icon().isNull() ? QSize() : m_button.iconSize();
    const int textWidth = metrics.horizontalAdvance(shown);
    const int contentWidth = textWidth + (iconSize.isEmpty() ? 0 : iconSize.width() + kIconGap);
    int x = (m_button.width() - std::min(contentWidth, m_button.width())) / 2;
    if (!iconSize.isEmpty()) {
        const QIcon::Mode mode = enabled ? QIcon::Normal : QIcon::Disabled;
        const QPixmap icon = m_button.icon().pixmap(iconSize, m_button.devicePixelRatioF(), mode);
        // Symbols are drawn in the text's colour.
        QPixmap tinted(icon.size());
        tinted.setDevicePixelRatio(icon.devicePixelRatio());
        tinted.fill(Qt::transparent);
        QPainter tint(&tinted);
        tint.drawPixmap(0, 0, icon);
        tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
        tint.fillRect(tinted.rect(), text);
        tint.end();
        painter.drawPixmap(QPoint(x, (m_button.height() - iconSize.height()) / 2), tinted);
        x += iconSize.width() + kIconGap;
    }
    drawElidedLine(painter, QRect(x, 0, m_button.width() - x, m_button.height()), m_button.font(), text, shown,
                   Qt::ElideRight);
}

} // namespace tw

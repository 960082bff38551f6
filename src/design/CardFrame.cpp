#include "design/CardFrame.h"

#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace tw {

namespace {

// The faintest of the label greys, as the hairline around a card: the text
// colour at a tenth of its opacity, so it suits light and dark palettes.
QColor hairline(const QPalette &palette)
{
    QColor color = palette.color(QPalette::WindowText);
    color.setAlphaF(0.1f);
    return color;
}

QColor fillOn(const CardStyle &style, const QPalette &palette)
{
    return style.fill ? style.fill->on(palette) : palette.color(QPalette::Base);
}

} // namespace

FrameColour FrameColour::ofPalette(QPalette::ColorRole role, qreal opacity)
{
    FrameColour colour;
    colour.role = role;
    colour.opacity = opacity;
    return colour;
}

QColor FrameColour::on(const QPalette &palette) const
{
    if (fixed.isValid())
        return fixed;
    QColor colour = palette.color(role);
    colour.setAlphaF(float(colour.alphaF() * opacity));
    return colour;
}

CardFrame::CardFrame(QWidget *content, QWidget *parent)
    : CardFrame(content, CardStyle{}, parent)
{
}

CardFrame::CardFrame(QWidget *content, CardStyle style, QWidget *parent)
    : QWidget(parent)
    , m_content(content)
    , m_style(std::move(style))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(m_style.padding);
    layout->setSpacing(0);
    layout->addWidget(content);
}

void CardFrame::setStyle(const CardStyle &style)
{
    if (style == m_style)
        return;
    if (style.padding != m_style.padding)
        layout()->setContentsMargins(style.padding);
    m_style = style;
    update();
}

QColor CardFrame::fillColour() const
{
    return fillOn(m_style, palette());
}

void CardFrame::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintCard(painter, rect(), m_style, palette());
}

void paintCard(QPainter &painter, const QRectF &bounds, const CardStyle &style, const QPalette &palette)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath fill;
    fill.addRoundedRect(bounds, style.radius, style.radius);
    painter.fillPath(fill, fillOn(style, palette));
    if (style.strokeWidth > 0) {
        // Stroked inside the edge: the path is inset by half the line so
        // that the whole line falls within the card.
        const qreal half = style.strokeWidth / 2;
        const qreal radius = std::max<qreal>(0, style.radius - half);
        QPainterPath edge;
        edge.addRoundedRect(bounds.adjusted(half, half, -half, -half), radius, radius);
        painter.strokePath(edge, QPen(style.stroke ? style.stroke->on(palette) : hairline(palette), style.strokeWidth));
    }
    painter.restore();
}

CardFrame *inCard(QWidget *content, QWidget *parent)
{
    return new CardFrame(content, parent);
}

} // namespace tw

#include "design/CardFrame.h"

#include "design/Theme.h"

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

} // namespace

CardFrame::CardFrame(QWidget *content, QWidget *parent)
    : QWidget(parent)
    , m_content(content)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(padding, padding, padding, padding);
    layout->setSpacing(0);
    layout->addWidget(content);
}

void CardFrame::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = rect();
    // Circular corners: a continuous-curvature corner would barely differ at
    // this radius.
    QPainterPath fill;
    fill.addRoundedRect(bounds, cornerRadius, cornerRadius);
    painter.fillPath(fill, Theme::cardBackground());
    // Stroked inside the edge: the path is inset by half the line so that the
    // whole line falls within the card.
    const qreal half = strokeWidth / 2;
    QPainterPath edge;
    edge.addRoundedRect(bounds.adjusted(half, half, -half, -half), cornerRadius - half, cornerRadius - half);
    painter.strokePath(edge, QPen(hairline(palette()), strokeWidth));
}

CardFrame *inCard(QWidget *content, QWidget *parent)
{
    return new CardFrame(content, parent);
}

} // namespace tw

#include "design/StatusDot.h"

#include "design/ContrastRatio.h"
#include "design/DerivedForeground.h"

#include <QPainter>

namespace tw {

StatusDot::StatusDot(QColor color, int diameter, QWidget *parent)
    : QWidget(parent)
    , m_color(color)
    , m_diameter(diameter)
{
    setFixedSize(diameter, diameter);
}

void StatusDot::setColor(QColor color)
{
    if (color == m_color)
        return;
    m_color = color;
    update();
}

QColor StatusDot::markColour() const
{
    return readableOn(m_color, palette(), markContrast);
}

QSize StatusDot::sizeHint() const
{
    return {m_diameter, m_diameter};
}

void StatusDot::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(markColour());
    painter.drawEllipse(QRectF(0, 0, m_diameter, m_diameter));
}

} // namespace tw

#include "design/StatusBubble.h"

#include "design/ContrastRatio.h"
#include "design/DerivedForeground.h"
#include "design/ProgressArc.h"
#include "design/Theme.h"

#include <QPainter>

namespace tw {

namespace {

constexpr qreal ringWidth = 2;
constexpr qreal ringInset = 2;
// Qt measures arcs in sixteenths of a degree, counter-clockwise from three
// o'clock; the ring starts at twelve and runs clockwise.
constexpr int twelveOClock = 90 * 16;
constexpr int fullTurn = 360 * 16;

} // namespace

StatusBubble::StatusBubble(SyncHealth health, int size, QWidget *parent)
    : QWidget(parent)
    , m_health(health)
    , m_size(size)
{
    setFixedSize(size, size);
    setToolTip(health.label());
}

void StatusBubble::setHealth(const SyncHealth &health)
{
    if (health == m_health)
        return;
    m_health = health;
    setToolTip(health.label());
    update();
}

double StatusBubble::arcFraction(double progress)
{
    return progressArc(progress, minimumArc);
}

QSize StatusBubble::sizeHint() const
{
    return {m_size, m_size};
}

namespace {

QColor discOf(const QColor &color)
{
    QColor disc = color;
    disc.setAlphaF(0.18f);
    return disc;
}

} // namespace

QColor StatusBubble::markColour() const
{
    return readableOn(Theme::healthColor(m_health), palette(), markContrast, discOf(Theme::healthColor(m_health)));
}

void StatusBubble::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF square(0, 0, m_size, m_size);
    painter.setPen(Qt::NoPen);
    painter.setBrush(discOf(Theme::healthColor(m_health)));
    painter.drawEllipse(square);
    if (m_health.kind == SyncHealth::Kind::Syncing) {
        painter.setPen(QPen(markColour(), ringWidth, Qt::SolidLine, Qt::RoundCap));
        painter.setBrush(Qt::NoBrush);
        const QRectF ring = square.adjusted(ringInset, ringInset, -ringInset, -ringInset);
        painter.drawArc(ring, twelveOClock, -qRound(arcFraction(m_health.progress) * fullTurn));
        return;
    }
    if (const std::optional<Symbol> symbol = Theme::healthSymbol(m_health))
        drawSymbol(painter, *symbol, square, qRound(0.5 * m_size), markColour());
}

} // namespace tw

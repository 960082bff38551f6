#include "design/DeviceSyncRing.h"

#include "design/ContrastRatio.h"
#include "design/DerivedForeground.h"
#include "design/ProgressArc.h"
#include "design/Theme.h"

#include <QEasingCurve>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace tw {

namespace {

constexpr int twelveOClock = 90 * 16;
constexpr int fullTurn = 360 * 16;

// The usual ease-in-out timing curve, the one desktop animations share.
QEasingCurve easeInOut()
{
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0.42, 0), QPointF(0.58, 1), QPointF(1, 1));
    return curve;
}

} // namespace

DeviceSyncRing::DeviceSyncRing(SyncHealth health, int size, QWidget *parent)
    : QWidget(parent)
    , m_health(health)
    , m_size(size)
    , m_shownProgress(health.kind == SyncHealth::Kind::Syncing ? health.progress : 0)
{
    // The stroke is centred on a circle `size` across, so half of it lies
    // outside that circle; the widget grows by the line so none is clipped.
    setFixedSize(sizeHint());
    setToolTip(health.label());
    m_progressAnimation.setDuration(300);
    m_progressAnimation.setEasingCurve(easeInOut());
    connect(&m_progressAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_shownProgress = value.toDouble();
        update();
    });
}

void DeviceSyncRing::setHealth(const SyncHealth &health)
{
    if (health == m_health)
        return;
    m_health = health;
    setToolTip(health.label());
    const double target = health.kind == SyncHealth::Kind::Syncing ? health.progress : 0;
    m_progressAnimation.stop();
    m_progressAnimation.setStartValue(m_shownProgress);
    m_progressAnimation.setEndValue(target);
    m_progressAnimation.start();
    update();
}

double DeviceSyncRing::arcFraction(double progress)
{
    return progressArc(progress, minimumArc);
}

qreal DeviceSyncRing::lineWidth(int size)
{
    return std::max(0.1 * size, 2.5);
}

QString DeviceSyncRing::percentText(double progress)
{
    return QString::number(std::llround(progress * 100));
}

QSize DeviceSyncRing::sizeHint() const
{
    const int side = m_size + int(std::ceil(lineWidth(m_size)));
    return {side, side};
}

QRectF DeviceSyncRing::circleRect() const
{
    QRectF circle(0, 0, m_size, m_size);
    circle.moveCenter(QRectF(rect()).center());
    return circle;
}

QColor DeviceSyncRing::markColour() const
{
    return readableOn(Theme::healthColor(m_health), palette(), markContrast);
}

void DeviceSyncRing::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF circle = circleRect();
    const QColor color = Theme::healthColor(m_health);
    QColor track = color;
    track.setAlphaF(0.18f);
    painter.setPen(QPen(track, lineWidth(m_size), Qt::SolidLine, Qt::FlatCap));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(circle);
    if (m_health.kind == SyncHealth::Kind::Syncing) {
        paintSyncing(painter, circle);
        return;
    }
    if (const std::optional<Symbol> symbol = Theme::healthSymbol(m_health))
        drawSymbol(painter, *symbol, circle, qRound(0.42 * m_size), markColour());
}

void DeviceSyncRing::paintSyncing(QPainter &painter, const QRectF &circle)
{
    painter.setPen(QPen(markColour(), lineWidth(m_size), Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(circle, twelveOClock, -qRound(arcFraction(m_shownProgress) * fullTurn));
    // Qt 6.4 cannot ask a font for tabular figures; the desktop's sans fonts
    // draw digits at one width already, so the number does not jitter.
    QFont font = this->font();
    font.setPixelSize(std::max(1, qRound(0.32 * m_size)));
    font.setWeight(QFont::DemiBold);
    painter.setFont(font);
    painter.setPen(readableOn(Theme::syncing(), palette(), textContrast));
    painter.drawText(circle, Qt::AlignCenter, percentText(m_health.progress));
}

} // namespace tw

#include "design/MoveFadeTransition.h"

#include <QGraphicsEffect>
#include <QLabel>
#include <QPainter>
#include <QVariantAnimation>
#include <QWidget>

namespace tw {

// Draws its widget shifted up by the part of its height not yet come in,
// cut at the widget's own top edge, and as transparent as it is far out.
class MoveFadeEffect : public QGraphicsEffect
{
public:
    using QGraphicsEffect::QGraphicsEffect;

    void setProgress(qreal progress)
    {
        m_progress = progress;
        update();
    }

protected:
    void draw(QPainter *painter) override
    {
        QPoint offset;
        const QPixmap pixmap = sourcePixmap(Qt::LogicalCoordinates, &offset, QGraphicsEffect::NoPad);
        const QRectF area(offset, pixmap.deviceIndependentSize());
        painter->save();
        painter->setClipRect(area, Qt::IntersectClip);
        painter->setOpacity(painter->opacity() * m_progress);
        painter->drawPixmap(area.topLeft() - QPointF(0, (1 - m_progress) * area.height()), pixmap);
        painter->restore();
    }

private:
    qreal m_progress = 1;
};

namespace {

int g_running = 0;

} // namespace

MoveFadeTransition &MoveFadeTransition::of(QWidget &widget)
{
    if (auto *existing = widget.findChild<MoveFadeTransition *>(QString(), Qt::FindDirectChildrenOnly))
        return *existing;
    return *new MoveFadeTransition(widget);
}

bool MoveFadeTransition::anyRunning()
{
    return g_running > 0;
}

MoveFadeTransition::MoveFadeTransition(QWidget &widget)
    : QObject(&widget)
    , m_widget(widget)
    , m_effect(new MoveFadeEffect(&widget))
    , m_animation(new QVariantAnimation(this))
{
    m_effect->setEnabled(false);
    widget.setGraphicsEffect(m_effect);
    m_animation->setDuration(durationMs);
    m_animation->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        apply(value.toReal());
    });
    connect(m_animation, &QVariantAnimation::stateChanged, this, [](QAbstractAnimation::State now,
                                                                    QAbstractAnimation::State before) {
        if (now == QAbstractAnimation::Running)
            ++g_running;
        else if (before == QAbstractAnimation::Running)
            --g_running;
    });
    connect(m_animation, &QVariantAnimation::finished, this, [this] {
        settle();
        emit finished();
    });
}

MoveFadeTransition::~MoveFadeTransition()
{
    // Stopped here, while the count of running ones can still be told.
    m_animation->stop();
    delete m_ghost.data();
}

void MoveFadeTransition::setShown(bool shown)
{
    if (shown == !m_widget.isHidden())
        return;
    // A window of its own has no parent to draw its leaving picture on.
    QWidget *parent = m_widget.parentWidget();
    const bool onScreen = parent && (shown ? parent->isVisible() : m_widget.isVisible());
    const qreal from = isRunning() ? m_progress : (shown ? 0 : 1);
    m_animation->stop();
    settle();
    if (!onScreen) {
        m_widget.setVisible(shown);
        return;
    }
    if (shown) {
        m_widget.setVisible(true);
        m_effect->setEnabled(true);
    } else {
        m_ghost = leaveGhost();
        m_widget.setVisible(false);
    }
    run(from, shown ? 1 : 0);
}

bool MoveFadeTransition::isRunning() const
{
    return m_animation->state() == QAbstractAnimation::Running;
}

qreal MoveFadeTransition::progress() const
{
    return m_progress;
}

void MoveFadeTransition::run(qreal from, qreal to)
{
    apply(from);
    m_animation->setStartValue(from);
    m_animation->setEndValue(to);
    m_animation->start();
}

void MoveFadeTransition::apply(qreal progress)
{
    m_progress = progress;
    m_effect->setProgress(progress);
    if (m_ghostEffect)
        m_ghostEffect->setProgress(progress);
}

// Back to drawing plainly: the widget in place, no picture left over.
void MoveFadeTransition::settle()
{
    delete m_ghost.data();
    m_ghostEffect = nullptr;
    m_effect->setEnabled(false);
    apply(m_widget.isHidden() ? 0 : 1);
}

// A picture of the widget as it is, over the place it leaves, that neither
// takes clicks nor space in the layout.
QWidget *MoveFadeTransition::leaveGhost()
{
    auto *ghost = new QLabel(m_widget.parentWidget());
    ghost->setObjectName(QStringLiteral("moveFadeGhost"));
    ghost->setAttribute(Qt::WA_TransparentForMouseEvents);
    ghost->setPixmap(m_widget.grab());
    ghost->setGeometry(m_widget.geometry());
    m_ghostEffect = new MoveFadeEffect(ghost);
    ghost->setGraphicsEffect(m_ghostEffect);
    ghost->raise();
    ghost->show();
    return ghost;
}

void setVisibleWithTransition(QWidget &widget, bool shown)
{
    MoveFadeTransition::of(widget).setShown(shown);
}

} // namespace tw

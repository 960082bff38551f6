#pragma once

#include <QObject>
#include <QPointer>

class QVariantAnimation;
class QWidget;

namespace tw {

class MoveFadeEffect;

// A widget that enters by sliding down from its top edge while fading in,
// and leaves the reverse way. What the widget tells of itself changes at
// once: it is visible from the moment it enters and hidden from the moment
// it leaves, the space it takes in its layout with it; only the drawing
// follows in time. Leaving draws a picture of the widget, taken as it left,
// over its parent until the fade ends. A new change replaces a running one.
class MoveFadeTransition : public QObject
{
    Q_OBJECT

public:
    static constexpr int durationMs = 200;

    // The widget's transition, made on first use; it goes with the widget.
    static MoveFadeTransition &of(QWidget &widget);
    // Whether any widget is still entering or leaving, for whoever takes
    // pictures of whole screens.
    static bool anyRunning();

    void setShown(bool shown);
    bool isRunning() const;
    // How far the widget has come in: 0 out of sight, 1 in place and opaque.
    qreal progress() const;

signals:
    void finished();

private:
    explicit MoveFadeTransition(QWidget &widget);
    ~MoveFadeTransition() override;

    void run(qreal from, qreal to);
    void apply(qreal progress);
    void settle();
    QWidget *leaveGhost();

    QWidget &m_widget;
    MoveFadeEffect *m_effect;
    QVariantAnimation *m_animation;
    QPointer<QWidget> m_ghost;
    MoveFadeEffect *m_ghostEffect = nullptr;
    qreal m_progress = 1;
};

// Shows or hides the widget as its transition does.
void setVisibleWithTransition(QWidget &widget, bool shown);

} // namespace tw

#pragma once

#include <QPointer>
#include <QWidget>

class QAbstractItemView;

namespace tw {

// The mark of the keyboard's focus, one look for every stop of Tab: a ring
// in the highlight's hue, shaded to stand out 3 : 1 from the window, the
// views and the buttons' fill in either appearance. It is a child laid over
// the focused widget, so the widget's own painting (a checked segment's
// frame, a card's fill) never hides it. It rings the widget's edge, or where
// the widget asks (`setShape`: a pill inside its margin, a card's corners);
// in a list or a tree the current row, in a tab bar the current tab.
class FocusRing : public QWidget
{
    Q_OBJECT

public:
    static constexpr int ringWidth = 2;

    explicit FocusRing(QWidget *parent = nullptr);

    // Rings `target` from now on, or nothing when null.
    void follow(QWidget *target);
    QWidget *target() const { return m_target; }

    // Where the ring runs on a widget: `inset` pixels in from its edge, with
    // corners of that radius.
    static void setShape(QWidget &widget, int inset, qreal radius);
    static QColor colour(const QPalette &palette);
    // The rectangle the ring runs along, in the target's coordinates.
    static QRect ringedArea(const QWidget &target);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void watch(QWidget *widget, bool on);
    void place();

    QPointer<QWidget> m_target;
    QList<QMetaObject::Connection> m_connections;
};

} // namespace tw

#pragma once

#include "app/SyncHealth.h"

#include <QVariantAnimation>
#include <QWidget>

namespace tw {

// The larger health badge of a Mac: a ring whose arc shows the progress, with
// the percentage in its middle, or the health's symbol when not syncing.
// Progress changes glide over 0.3 s. Its tooltip is the health's label.
class DeviceSyncRing : public QWidget
{
    Q_OBJECT

public:
    static constexpr double minimumArc = 0.04;

    DeviceSyncRing(SyncHealth health, int size, QWidget *parent = nullptr);

    SyncHealth health() const { return m_health; }
    void setHealth(const SyncHealth &health);

    static double arcFraction(double progress);
    static qreal lineWidth(int size);
    static QString percentText(double progress);
    // The colour of what it says drawn in: a shade of its health's colour (the arc's orange while syncing)
    // that reads 3 : 1 on the window and views of its palette of the moment.
    QColor markColour() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QRectF circleRect() const;
    void paintSyncing(QPainter &painter, const QRectF &circle);

    SyncHealth m_health;
    int m_size;
    double m_shownProgress = 0;
    QVariantAnimation m_progressAnimation;
};

} // namespace tw

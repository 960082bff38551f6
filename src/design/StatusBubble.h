#pragma once

#include "app/SyncHealth.h"

#include <QWidget>

namespace tw {

// A compact health badge: a tinted disc with the health's symbol, or a thin
// progress ring while syncing. Its tooltip is the health's label.
class StatusBubble : public QWidget
{
    Q_OBJECT

public:
    static constexpr double minimumArc = 0.06;

    StatusBubble(SyncHealth health, int size, QWidget *parent = nullptr);

    SyncHealth health() const { return m_health; }
    void setHealth(const SyncHealth &health);

    static double arcFraction(double progress);
    // The colour of what it says drawn in: a shade of its health's colour (the ring's orange while syncing)
    // that reads 3 : 1 on the window and views of its palette of the moment.
    QColor markColour() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    SyncHealth m_health;
    int m_size;
};

} // namespace tw

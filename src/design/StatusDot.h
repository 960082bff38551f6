#pragma once

#include <QColor>
#include <QWidget>

namespace tw {

// A filled circle, diameter × diameter, in the readable shade of its colour.
class StatusDot : public QWidget
{
    Q_OBJECT

public:
    StatusDot(QColor color, int diameter, QWidget *parent = nullptr);

    const QColor &color() const { return m_color; }
    // The colour of what it says drawn in: a shade of its design colour
    // that reads 3 : 1 on the window and views of its palette of the moment.
    QColor markColour() const;
    void setColor(QColor color);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_color;
    int m_diameter;
};

} // namespace tw

#pragma once

#include <QColor>
#include <QWidget>

namespace tw {

// A filled circle, diameter × diameter.
class StatusDot : public QWidget
{
    Q_OBJECT

public:
    StatusDot(QColor color, int diameter, QWidget *parent = nullptr);

    void setColor(QColor color);
    QColor color() const { return m_color; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_color;
    int m_diameter;
};

} // namespace tw

#pragma once

#include <QCheckBox>

namespace tw {

// A check box drawn a ring's width in from its edge. The focus ring runs
// along a widget's edge, and a plain check box's box starts right there: the
// ring would hide the box's own edge. Here the ring lies around the box, its
// symbol and its name, over nothing they draw.
class RingedCheckBox : public QCheckBox
{
    Q_OBJECT

public:
    // The ring, the line of ground inside it and a pixel of air.
    static const int room;

    using QCheckBox::QCheckBox;

    // Also the least size: a check box's is its size hint.
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    // Only the box and its words answer a click, their room included.
    bool hitButton(const QPoint &pos) const override;

private:
    int roomAbove() const;
};

} // namespace tw

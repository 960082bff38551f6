#include "views/kit/RingedCheckBox.h"

#include "views/kit/FocusRing.h"

#include <QStyleOptionButton>
#include <QStylePainter>

#include <algorithm>

namespace tw {

const int RingedCheckBox::room = FocusRing::ringWidth + 2;

// Above and below, a check box already leaves air around its box where its
// name is taller: only what lacks is added, so a form of switches grows by
// little.
int RingedCheckBox::roomAbove() const
{
    const int air = (QCheckBox::sizeHint().height() - style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, this)) / 2;
    return std::max(0, room - air);
}

QSize RingedCheckBox::sizeHint() const
{
    return QCheckBox::sizeHint() + QSize(2 * room, 2 * roomAbove());
}

void RingedCheckBox::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const int above = roomAbove();
    option.rect = rect().adjusted(room, above, -room, -above);
    painter.drawControl(QStyle::CE_CheckBox, option);
}

// A form stretches its switches across their rows: the blank rest of a row
// is no aim at the switch. The box, its symbol and its name answer, with
// the room of the ring around them; the style's own click area runs past
// the name of a switch with a symbol.
bool RingedCheckBox::hitButton(const QPoint &pos) const
{
    const QRect drawn(0, 0, sizeHint().width(), height());
    return QStyle::visualRect(layoutDirection(), rect(), drawn).contains(pos);
}

} // namespace tw

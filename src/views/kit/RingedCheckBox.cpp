#include "views/kit/RingedCheckBox.h"

#include "views/kit/FocusRing.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace tw {

const int RingedCheckBox::room = FocusRing::ringWidth + 2;

QSize RingedCheckBox::sizeHint() const
{
    return QCheckBox::sizeHint() + QSize(2 * room, 2 * room);
}

void RingedCheckBox::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.rect = rect().adjusted(room, room, -room, -room);
    painter.drawControl(QStyle::CE_CheckBox, option);
}

bool RingedCheckBox::hitButton(const QPoint &pos) const
{
    return rect().contains(pos);
}

} // namespace tw

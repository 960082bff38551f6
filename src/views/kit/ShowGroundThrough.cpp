#include "views/kit/ShowGroundThrough.h"

#include <QScrollArea>

namespace tw {

void showGroundThrough(QScrollArea &scroll)
{
    scroll.viewport()->setAutoFillBackground(false);
    if (QWidget *content = scroll.widget())
        content->setAutoFillBackground(false);
}

} // namespace tw

#include "views/kit/ScrolledColumn.h"

#include "views/kit/ShowGroundThrough.h"

#include <QScrollArea>
#include <QVBoxLayout>

namespace tw {

QVBoxLayout *scrolledColumn(QWidget &panel, const char *scrollName)
{
    auto *outer = new QVBoxLayout(&panel);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *scroll = new QScrollArea;
    scroll->setObjectName(QString::fromLatin1(scrollName));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *content = new QWidget;
    auto *column = new QVBoxLayout(content);
    scroll->setWidget(content);
    // The inspector's tint shows through.
    showGroundThrough(*scroll);
    outer->addWidget(scroll);
    return column;
}

} // namespace tw

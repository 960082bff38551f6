#include "views/kit/InformationRow.h"

#include <QAction>
#include <QMenu>

namespace tw {

QAction *addInformationRow(QMenu &menu, const QString &text)
{
    return menu.addAction(text);
}

} // namespace tw

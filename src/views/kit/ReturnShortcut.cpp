#include "views/kit/ReturnShortcut.h"

#include <QAbstractButton>
#include <QPointer>
#include <QShortcut>

namespace tw {

void bindReturnKey(QWidget &panel, QAbstractButton &button)
{
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto *shortcut = new QShortcut(QKeySequence(key), &panel);
        shortcut->setContext(Qt::WindowShortcut);
        QObject::connect(shortcut, &QShortcut::activated, &button, [target = QPointer(&button)] {
            if (target && target->isEnabled() && target->isVisible())
                target->click();
        });
    }
}

} // namespace tw

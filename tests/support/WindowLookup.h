#pragma once

#include <QAbstractButton>
#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

namespace tw {

// The entry of that text in the window's menus, as the user finds it.
inline QAction *menuAction(QWidget &window, const QString &text)
{
    if (auto *main = qobject_cast<QMainWindow *>(&window))
        for (QAction *menu : main->menuBar()->actions())
            if (menu->menu())
                for (QAction *action : menu->menu()->actions())
                    if (action->text() == text)
                        return action;
    return nullptr;
}

// The first shown widget of the type (of that name, if given) below the root.
template <typename Widget = QWidget>
Widget *shownChild(QWidget *root, const QString &name = QString())
{
    if (!root)
        return nullptr;
    for (Widget *widget : root->findChildren<Widget *>(name))
        if (widget->isVisible())
            return widget;
    return nullptr;
}

// The button the toolbar shows for its action of that text.
inline QAbstractButton *toolButton(QToolBar *bar, const QString &text)
{
    for (QAction *action : bar->actions())
        if (action->text() == text)
            return qobject_cast<QAbstractButton *>(bar->widgetForAction(action));
    return nullptr;
}

} // namespace tw

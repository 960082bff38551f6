#pragma once

#include <QSet>

class QWidget;

namespace tw {

// A visible menu or dialog of one of the owners: a window whose parent chain
// reaches one of them. None when there is none.
QWidget *openOverlay(const QSet<const QWidget *> &owners);

// Deletes the widget with deleteLater(), but only once no menu or dialog of
// it is open any more, so an action of its menu still finds it. The widget
// should be out of sight already.
void deleteWhenNoOverlay(QWidget *widget);

// Rejects the dialogs opened over the owner, a widget inside it or one of
// those dialogs.
void closeDialogsOf(const QWidget &owner);

} // namespace tw

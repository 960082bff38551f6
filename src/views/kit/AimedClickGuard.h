#pragma once

#include "views/kit/AimedPress.h"

#include <QObject>
#include <functional>

class QAbstractItemView;
class QModelIndex;
class QWidget;

namespace tw {

// Holds a double-click's second press to what the first one landed on
// (AimedPress): a row put where "Add" was, or moved up into the place of a
// row that a click removed, restored or opened, is never acted on.
class AimedClickGuard : public QObject
{
    Q_OBJECT

public:
    // A row's key, the same for the row wherever it moves.
    using RowKey = std::function<QString(const QModelIndex &)>;

    // Guards the buttons `root` holds now, `root` itself included.
    static void guardButtonsIn(QWidget &root);
    // Guards the rows of a view whose delegate draws and presses buttons in
    // them: the second press of a double-click reaches the view only on the
    // row the first one landed on. Qt's item views take a second press on
    // another row for a press of its own.
    static void guardRowsOf(QAbstractItemView &view, RowKey key);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    AimedClickGuard(QObject &watched, QAbstractItemView *view, RowKey key);

    QAbstractItemView *m_view;
    RowKey m_key;
    AimedPress m_presses;
};

} // namespace tw

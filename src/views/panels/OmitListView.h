#pragma once

#include <QListView>

namespace tw {

// The exclusion browser's list. Its rows keep their size whatever their data
// says, so a changed row is only repainted: QListView's own handling of a
// change (Qt 6.4) repaints the whole viewport, as if sizes could change.
class OmitListView : public QListView
{
    Q_OBJECT

public:
    using QListView::QListView;

protected:
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                     const QList<int> &roles = QList<int>()) override;
};

} // namespace tw

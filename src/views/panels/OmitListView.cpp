#include "views/panels/OmitListView.h"

namespace tw {

void OmitListView::dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles)
{
    QAbstractItemView::dataChanged(topLeft, bottomRight, roles);
}

} // namespace tw

#include "views/kit/RefreshingView.h"

#include "app/AppEnvironment.h"

namespace tw {

RefreshingView::RefreshingView(QWidget *parent)
    : QWidget(parent)
{
}

void RefreshingView::refresh()
{
    if (!isVisible()) {
        m_behind = true;
        return;
    }
    m_behind = false;
    ++m_refreshCount;
    refreshContents();
}

void RefreshingView::followState(AppEnvironment &environment)
{
    connect(&environment, &AppEnvironment::stateChanged, this, &RefreshingView::refresh);
}

void RefreshingView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_behind)
        refresh();
}

} // namespace tw

#include "views/kit/PanelPages.h"

#include <QProgressBar>
#include <QVBoxLayout>

namespace tw {
namespace {

enum Page { LoadingPage, EmptyPage, ContentPage };

QWidget *loadingState()
{
    auto *page = new QWidget;
    auto *column = new QVBoxLayout(page);
    auto *progress = new QProgressBar;
    progress->setObjectName(QStringLiteral("progress"));
    progress->setRange(0, 0);
    progress->setTextVisible(false);
    progress->setFixedWidth(120);
    column->addStretch();
    column->addWidget(progress, 0, Qt::AlignHCenter);
    column->addStretch();
    return page;
}

} // namespace

PanelPages::PanelPages(QWidget *empty, QWidget *content, QWidget *parent) : QStackedWidget(parent)
{
    insertWidget(LoadingPage, loadingState());
    insertWidget(EmptyPage, empty);
    insertWidget(ContentPage, content);
}

void PanelPages::showState(bool loading, bool empty)
{
    setCurrentIndex(loading ? LoadingPage : empty ? EmptyPage : ContentPage);
}

} // namespace tw

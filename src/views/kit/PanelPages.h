#pragma once

#include <QStackedWidget>

namespace tw {

// The pages a folder panel shows in turn: an indefinite progress bar
// ("progress") while it reads, its empty state once it found nothing, and
// its content otherwise. Takes ownership of both pages.
class PanelPages : public QStackedWidget
{
public:
    PanelPages(QWidget *empty, QWidget *content, QWidget *parent = nullptr);

    void showState(bool loading, bool empty);
};

} // namespace tw

#pragma once

#include <QWidget>

namespace tw {

class AppEnvironment;

// The shape of every page and of the window's own parts: one refresh()
// brings all its widgets up to date with the controllers, changing a widget
// only where its value changed, so nothing flickers, loses focus or closes a
// menu.
//
// A view that is not visible (its window hidden to the tray, a page below
// the top of the stack, a view not shown yet) skips the work and remembers
// that it is behind; it catches up in showEvent(), before it is painted.
//
// Pages follow the environment with followState(); the components a page
// holds (cards, chips, rows) are refreshed by their page, which reads
// AppEnvironment::healthInputs() once per refresh and hands it down.
// Components hold IDs and look their sync, folder or Mac up on each refresh.
class RefreshingView : public QWidget
{
    Q_OBJECT

public:
    explicit RefreshingView(QWidget *parent = nullptr);

    // Updates now when visible, else when next shown.
    void refresh();
    // Whether a refresh was skipped and waits for the next show.
    bool isBehind() const { return m_behind; }
    // How many refreshes did their work; for tests and benchmarks.
    int refreshCount() const { return m_refreshCount; }

protected:
    // The work of refresh(): read the controllers, update the widgets in
    // place.
    virtual void refreshContents() = 0;
    // Refreshes on every AppEnvironment::stateChanged() from now on.
    void followState(AppEnvironment &environment);
    void showEvent(QShowEvent *event) override;

private:
    bool m_behind = true;
    int m_refreshCount = 0;
};

} // namespace tw

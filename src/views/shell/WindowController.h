#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace tw {

// The main window's show: whatever hid it (the tray, a minimise), it comes
// back forward with its content and state as they were.
class WindowController : public QObject
{
public:
    explicit WindowController(QWidget *window);

    QWidget *window() const { return m_window; }
    // Shown, raised and given focus, the focus going to the sheet or
    // question open over it; a window maximised when it was hidden or
    // minimised comes back maximised.
    void show();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *blockingModal() const;
    QWidget *ownModal() const;
    static void giveKeysTo(QWidget &window);

    QPointer<QWidget> m_window;
    // Window managers drop the maximised state of a window they no longer
    // show, so it is taken as it changes while the window is shown.
    bool m_maximizedWhenHidden = false;
    // Hidden or minimised, until shown again or activated.
    bool m_away = false;
};

} // namespace tw

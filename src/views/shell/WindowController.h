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
    // Shown, raised and given focus; a window maximised when it was hidden
    // or minimised comes back maximised.
    void show();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QWidget> m_window;
    // Window managers drop the maximised state of a window they no longer
    // show, so it is taken when the window hides or is minimised.
    bool m_maximizedWhenHidden = false;
};

} // namespace tw

#pragma once

#include <QPointer>
#include <QWidget>

namespace tw {

// The main window's show: whatever hid it (the tray, a minimise), it comes
// back forward with its content and state as they were.
class WindowController
{
public:
    explicit WindowController(QWidget *window) : m_window(window) {}

    QWidget *window() const { return m_window; }
    // Shown, raised and given focus; a maximised window stays maximised.
    void show();

private:
    QPointer<QWidget> m_window;
};

} // namespace tw

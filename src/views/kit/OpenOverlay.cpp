#include "views/kit/OpenOverlay.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace tw {

namespace {

// Waits for the overlays of one widget to close, then deletes the widget.
class OverlayWait : public QObject
{
public:
    explicit OverlayWait(QWidget *widget) : QObject(widget), m_widget(widget) {}

    void check()
    {
        QWidget *overlay = openOverlay({m_widget.data()});
        if (!overlay) {
            m_widget->deleteLater();
            return;
        }
        overlay->installEventFilter(this);
        connect(overlay, &QObject::destroyed, this, &OverlayWait::later);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Hide) {
            watched->removeEventFilter(this);
            disconnect(watched, nullptr, this, nullptr);
            later();
        }
        return false;
    }

private:
    // After the turn that closed it: a menu's action runs after the menu hid.
    void later() { QTimer::singleShot(0, this, &OverlayWait::check); }

    QPointer<QWidget> m_widget;
};

} // namespace

QWidget *openOverlay(const QSet<const QWidget *> &owners)
{
    if (owners.isEmpty())
        return nullptr;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (!window->isVisible())
            continue;
        for (const QWidget *owner = window->parentWidget(); owner; owner = owner->parentWidget())
            if (owners.contains(owner))
                return window;
    }
    return nullptr;
}

void deleteWhenNoOverlay(QWidget *widget)
{
    (new OverlayWait(widget))->check();
}

void closeDialogsOf(const QWidget &owner)
{
    QList<QPointer<QDialog>> opened;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        auto *dialog = qobject_cast<QDialog *>(window);
        if (!dialog || !dialog->isVisible())
            continue;
        const QWidget *up = dialog->parentWidget();
        while (up && up != &owner)
            up = up->parentWidget();
        if (up)
            opened.append(dialog);
    }
    for (const QPointer<QDialog> &dialog : std::as_const(opened))
        if (dialog)
            dialog->reject();
}

} // namespace tw

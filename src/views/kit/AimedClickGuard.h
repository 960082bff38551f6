#pragma once

#include <QObject>
#include <optional>

class QWidget;

namespace tw {

// A double-click is two presses in one place: the second belongs to what
// the first was aimed at. When the first press changed a list (a row added
// under "Add", a row removed above the next), another row's button has
// moved under the pointer by the second, and Qt hands that button the
// second press: it would act on a row the user never aimed at. A guarded
// button takes the second press of a double-click only when it took the
// first one too.
class AimedClickGuard : public QObject
{
    Q_OBJECT

public:
    // Guards the buttons `root` holds now, `root` itself included.
    static void guardButtonsIn(QWidget &root);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit AimedClickGuard(QObject *button);

    // The event time of the button's last press.
    std::optional<quint64> m_lastPress;
};

} // namespace tw

#pragma once

#include <QString>
#include <optional>

class QMouseEvent;

namespace tw {

// A double-click is two presses in one place: the second belongs to what
// the first was aimed at. When the first press changed a list (a row added
// under "Add", a row restored and the list read again), another row has
// moved under the pointer by the second, and Qt hands the second press to
// whatever is there: it would act on a row the user never aimed at. This
// remembers what each press landed on and takes the second press of a
// double-click only where the first one landed. Buttons are guarded with
// it through AimedClickGuard; a delegate that draws and presses its rows'
// buttons asks it with the row's key.
class AimedPress
{
public:
    // Answers whether a press counts, given what it landed on (a row's key
    // that stays with the row, not its place; empty for a button of its
    // own). A plain press always counts; the second press of a double-click
    // (QEvent::MouseButtonDblClick) counts only when the press before it,
    // within the double-click time, landed on the same target.
    bool admits(const QMouseEvent &press, const QString &target = QString());

private:
    struct Press
    {
        quint64 time = 0;
        QString target;
    };
    std::optional<Press> m_last;
};

} // namespace tw

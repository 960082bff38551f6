#pragma once

#include <QColor>
#include <QObject>
#include <optional>

class QAbstractButton;

namespace tw {

// How a button stands out: the default action of a sheet or row, filled
// with the accent colour, or a destructive one, filled red. Either way the
// text is white on a shade of that colour dark enough to read (at least
// 4.5 : 1), and a disabled button is drawn in the palette's dimmed colours,
// so it never looks like the enabled one. A bordered button tinted with the
// accent (a Mac's "Resume") keeps the palette's face, washed with the
// accent and edged in it, its text in the accent's shade that reads there.
enum class ButtonTint { Prominent, Destructive, Bordered };

// Paints the button itself, whatever the style would: a style's own push
// button washes a fill out (Fusion lightens and desaturates it).
class TintedButtonPainter : public QObject
{
    Q_OBJECT

public:
    static void apply(QAbstractButton &button, ButtonTint tint);
    // The button drawn by its style again.
    static void clear(QAbstractButton &button);
    // The tint a button was given; none when it was not.
    static std::optional<ButtonTint> tintOf(const QAbstractButton &button);
    // The fill of an enabled button of that tint.
    static QColor fill(ButtonTint tint);

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    TintedButtonPainter(QAbstractButton &button, ButtonTint tint);
    void paint() const;

    QAbstractButton &m_button;
    ButtonTint m_tint;
};

} // namespace tw

#pragma once

#include "design/ContrastRatio.h"

#include <QColor>
#include <QObject>
#include <QPalette>

class QWidget;

namespace tw {

// Where a text colour comes from: the inherited window text at a strength
// (secondary and tertiary texts), the inherited link colour, or a fixed
// colour of the design (red, orange) shaded within its hue just enough to
// read on the inherited window and view backgrounds, and on the faint washes
// pages lay over the window.
struct ForegroundRule
{
    enum class Kind { WindowText, Link, Tint };
    Kind kind = Kind::WindowText;
    qreal strength = 1;
    QColor tint;
    double minimum = 0;
    // A translucent fill the text stands on (a note's tinted card), laid over
    // the inherited backgrounds before the shade is chosen; none when invalid.
    QColor wash = {};

    QColor colourOn(const QPalette &inherited) const;
    bool operator==(const ForegroundRule &) const = default;
};

// The window text at a strength (0…1), or as much stronger as it needs to
// reach `minimum` (a text's bound; 0 for a faint line). At strength 0 a text
// keeps its place unseen.
ForegroundRule windowTextAt(qreal strength, double minimum = textContrast);
ForegroundRule linkText();
// `colour`, or the shade of it that reaches `minimum` (a contrast ratio).
ForegroundRule readableTint(const QColor &colour, double minimum, const QColor &wash = {});

// A widget's text colour worked out from the palette it inherits, again
// whenever that palette changes (the appearance switched, the widget moved
// to another parent), so a colour made from the light palette never stays
// on a dark one. Sets the window, button and view text roles of the active
// and inactive groups; disabled text keeps the style's dimmer colour.
class DerivedForeground : public QObject
{
    Q_OBJECT

public:
    // Replaces whatever rule the widget followed; the same rule again costs
    // next to nothing. `roles` are the palette roles the colour is set in:
    // the text roles, or another (a progress bar's fill is its highlight).
    static void apply(QWidget &widget, const ForegroundRule &rule, const QList<QPalette::ColorRole> &roles = textRoles());
    static QList<QPalette::ColorRole> textRoles();
    // Whether the widget follows a rule.
    static bool follows(const QWidget &widget);

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    DerivedForeground(QWidget &widget, const ForegroundRule &rule, const QList<QPalette::ColorRole> &roles);
    void update();

    QWidget &m_widget;
    ForegroundRule m_rule;
    QList<QPalette::ColorRole> m_roles;
};

// A design colour as a mark of the widget in that palette role (a progress
// bar's fill, its highlight): its own hue, shaded where needed to stand out
// 3 : 1 in either appearance.
void tintMark(QWidget &widget, const QColor &colour, QPalette::ColorRole role);

// A design colour as the widget's text: its own hue, shaded where needed to
// read at the widget's size on either appearance.
void tintText(QWidget &widget, const QColor &colour, const QColor &wash = {});

// The shade of a design colour that a painted part draws its text or mark
// in, on the window and view backgrounds of `palette` (read at each paint),
// with `wash` laid over them.
QColor readableOn(const QColor &colour, const QPalette &palette, double minimum, const QColor &wash = {});

} // namespace tw

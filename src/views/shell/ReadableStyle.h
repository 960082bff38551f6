#pragma once

#include <QProxyStyle>

namespace tw {

// A style (Fusion, or the desktop's own) with its faintest marks made
// readable: Fusion draws the frame of a check box, the edge of a text field
// (a line edit's, a spin box's) and the track of a progress bar a shade off
// the window colour, lost on a dark palette and faint on a light one. Here
// all three stand out 3 : 1 from the window and the views (the same grey,
// shaded for the palette), and a checked push button (a picker's chosen
// segment) is marked in the highlight colour, where Fusion only darkens it a
// little. Those are drawn again in Fusion's shapes, so only over Fusion: a
// desktop style keeps its own. Over any style a menu item marked
// destructive has its text in red.
class ReadableStyle : public QProxyStyle
{
    Q_OBJECT

public:
    // Takes ownership of `base`.
    explicit ReadableStyle(QStyle *base);

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget = nullptr) const override;
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget = nullptr) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex *option, QPainter *painter,
                            const QWidget *widget = nullptr) const override;

    // The frame colour of check boxes, fields and progress tracks on that
    // palette.
    static QColor frameColour(const QPalette &palette);

private:
    // Whether the base is Fusion, whose shapes the marks are drawn in.
    const bool m_overFusion;
};

} // namespace tw

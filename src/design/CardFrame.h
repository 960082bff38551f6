#pragma once

#include <QColor>
#include <QMargins>
#include <QPalette>
#include <QWidget>
#include <optional>

namespace tw {

// A colour a frame is painted in: a fixed colour of the design (the orange of
// a note), or a role of the palette it is painted with at an opacity (a
// faint wash of the window text), read at each paint. A colour worked out
// from the palette when the frame is made would stay in that appearance.
struct FrameColour
{
    // Valid: this colour, whatever the palette.
    QColor fixed;
    QPalette::ColorRole role = QPalette::WindowText;
    qreal opacity = 1;

    FrameColour(const QColor &colour) : fixed(colour) {}
    static FrameColour ofPalette(QPalette::ColorRole role, qreal opacity = 1);
    QColor on(const QPalette &palette) const;
    bool operator==(const FrameColour &) const = default;

private:
    FrameColour() = default;
};

// How a rounded frame looks: the card of the design by default; pages give
// their own radius, padding and stroke (overview cards, Mac cards with a
// selected border, chips, tiles, banners) and all are painted alike.
struct CardStyle
{
    qreal radius = 12;
    QMargins padding{14, 14, 14, 14};
    // 0 draws no edge.
    qreal strokeWidth = 1;
    // None: the card background of the palette.
    std::optional<FrameColour> fill = {};
    // None: the faint hairline that suits light and dark palettes.
    std::optional<FrameColour> stroke = {};

    static QMargins even(int padding) { return {padding, padding, padding, padding}; }
    bool operator==(const CardStyle &) const = default;
};

// The card every page groups its content in: the content padded on all sides
// on a rounded, filled and stroked rectangle. Corners are circular: a
// continuous-curvature corner would barely differ at these radii.
class CardFrame : public QWidget
{
    Q_OBJECT

public:
    static constexpr int padding = 14;
    static constexpr qreal cornerRadius = 12;
    static constexpr qreal strokeWidth = 1;

    // Takes ownership of the content.
    explicit CardFrame(QWidget *content, QWidget *parent = nullptr);
    CardFrame(QWidget *content, CardStyle style, QWidget *parent = nullptr);

    QWidget *content() const { return m_content; }
    const CardStyle &style() const { return m_style; }
    // The fill as painted now.
    QColor fillColour() const;
    // Repaints only when the style changed (a card being selected).
    void setStyle(const CardStyle &style);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QWidget *m_content;
    CardStyle m_style;
};

// Pages write `inCard(widget)` where they place a widget as a card.
CardFrame *inCard(QWidget *content, QWidget *parent = nullptr);

// Paints a frame of that style over `bounds`: for widgets that draw their
// own rounded background rather than holding a CardFrame.
void paintCard(QPainter &painter, const QRectF &bounds, const CardStyle &style, const QPalette &palette);

} // namespace tw

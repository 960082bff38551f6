#include "views/syncpage/CapsuleChip.h"

#include "design/ContrastRatio.h"
#include "design/DerivedForeground.h"
#include "design/TextStyle.h"
#include "design/Theme.h"

#include <QFontMetrics>
#include <cmath>
#include <algorithm>
#include <QPainter>
#include <QPainterPath>

namespace tw {

namespace {

constexpr int kPadX = 9;
constexpr int kPadY = 4;
constexpr int kGap = 5;

bool hasMark(const CapsuleChip::Face &face)
{
    return face.symbol || face.health;
}

// What a chip's text stands on: its fill over the inspector's tile, which
// lays the window text at about 7.5 % over the window (the area's and the
// tile's own wash).
QColor onTile(const QColor &fill, const QPalette &palette)
{
    QColor tile = palette.color(QPalette::WindowText);
    tile.setAlphaF(0.075f);
    const qreal a = fill.alphaF(), b = tile.alphaF();
    const qreal alpha = a + b * (1 - a);
    const auto mix = [&](qreal top, qreal under) { return float((top * a + under * b * (1 - a)) / alpha); };
    return QColor::fromRgbF(mix(fill.redF(), tile.redF()), mix(fill.greenF(), tile.greenF()),
                            mix(fill.blueF(), tile.blueF()), float(alpha));
}

} // namespace

CapsuleChip::CapsuleChip(QWidget *parent)
    : QToolButton(parent)
{
    setAutoRaise(true);
    setPopupMode(QToolButton::InstantPopup);
    setInteractive(false);
}

void CapsuleChip::setFace(Face face)
{
    if (face == m_face)
        return;
    const bool resized = face.text != m_face.text || face.font != m_face.font || hasMark(face) != hasMark(m_face);
    m_face = std::move(face);
    if (resized)
        updateGeometry();
    update();
}

void CapsuleChip::setInteractive(bool interactive)
{
    setFocusPolicy(interactive ? Qt::StrongFocus : Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents, !interactive);
}

QSize CapsuleChip::sizeHint() const
{
    const QFontMetricsF metrics(m_face.font, this);
    const int mark = hasMark(m_face) ? m_face.markSize + kGap : 0;
    const int height = std::max(int(std::ceil(metrics.height())), m_face.markSize);
    // Whole pixels up, so the text fits without elision.
    const int text = int(std::ceil(metrics.horizontalAdvance(m_face.text))) + 1;
    return {mark + text + 2 * kPadX, height + 2 * kPadY};
}

QSize CapsuleChip::minimumSizeHint() const
{
    const QSize whole = sizeHint();
    const int mark = hasMark(m_face) ? m_face.markSize + kGap : 0;
    const int least = mark + 2 * kPadX + 3 * QFontMetrics(m_face.font, this).averageCharWidth();
    return {std::min(whole.width(), least), whole.height()};
}

void CapsuleChip::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette &shown = palette();
    const QColor hue = m_face.color.isValid() ? m_face.color : secondaryTextColor(shown);
    const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QColor fill = hue;
    fill.setAlphaF(float(m_face.fillOpacity));
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(bounds, bounds.height() / 2, bounds.height() / 2);
    const QColor ground = onTile(fill, shown);

    qreal x = kPadX;
    const int side = m_face.markSize;
    const QRectF markArea(x, (height() - side) / 2.0, side, side);
    if (m_face.symbol) {
        drawSymbol(painter, *m_face.symbol, markArea, side, readableOn(hue, shown, captionContrast, ground));
    } else if (m_face.health) {
        const QColor color = readableOn(Theme::healthColor(*m_face.health), shown, captionContrast, ground);
        if (const std::optional<Symbol> symbol = Theme::healthSymbol(*m_face.health))
            drawSymbol(painter, *symbol, markArea, side, color);
        else {
            painter.setBrush(color);
            painter.drawEllipse(markArea.adjusted(2, 2, -2, -2));
        }
    }
    if (hasMark(m_face))
        x += side + kGap;
    QFont font = m_face.font;
    font.setStrikeOut(m_face.struckOut);
    painter.setFont(font);
    painter.setPen(readableOn(hue, shown, neededContrast(font), ground));
    const qreal room = width() - x - kPadX + 1;
    painter.drawText(QRectF(x, 0, room, height()), Qt::AlignVCenter | Qt::AlignLeft,
                     QFontMetricsF(font, this).elidedText(m_face.text, Qt::ElideMiddle, room));
}

} // namespace tw

#include "views/syncpage/CapsuleChip.h"

#include "design/ContrastRatio.h"
#include "design/DerivedForeground.h"
#include "design/ElidedLine.h"
#include "design/TextStyle.h"
#include "design/Theme.h"
#include "views/kit/FocusRing.h"
#include "views/kit/KeyActivation.h"

#include <QFontMetricsF>
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
    // The ring follows the capsule's round ends.
    FocusRing::setShape(*this, 0, QWIDGETSIZE_MAX);
    // A tool button is fixed at its size; a chip gives way down to its
    // least size, its text elided, when its line is narrower.
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
}

void CapsuleChip::setFace(Face face)
{
    if (face == m_face)
        return;
    const bool resized = face.text != m_face.text || face.font != m_face.font || hasMark(face) != hasMark(m_face);
    m_face = std::move(face);
    // The widget's font is the text's, as a label's is.
    if (font() != m_face.font)
        setFont(m_face.font);
    if (resized)
        updateGeometry();
    update();
}

void CapsuleChip::setInteractive(bool interactive)
{
    setFocusPolicy(interactive ? Qt::StrongFocus : Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents, !interactive);
    // Space presses a tool button already; Return does as well.
    if (interactive && !findChild<QObject *>(QString::fromLatin1(KeyActivation::objectName), Qt::FindDirectChildrenOnly))
        KeyActivation::install(*this, [this] { menu() ? showMenu() : click(); }, KeyActivation::Keys::ReturnOnly);
}

int CapsuleChip::textLeft() const
{
    return kPadX + (hasMark(m_face) ? m_face.markSize + kGap : 0);
}

int CapsuleChip::textRoom() const
{
    return width() - textLeft() - kPadX;
}

QString CapsuleChip::shownText() const
{
    return elidedToFit(m_face.text, m_face.font, Qt::ElideMiddle, textRoom());
}

QSize CapsuleChip::sizeHint() const
{
    const QFontMetricsF metrics(m_face.font, this);
    const int height = std::max(int(std::ceil(metrics.height())), m_face.markSize);
    return {textLeft() + oneLineWidth(m_face.text, m_face.font) + kPadX, height + 2 * kPadY};
}

QSize CapsuleChip::minimumSizeHint() const
{
    return {textLeft() + leastOneLineWidth(m_face.text, m_face.font) + kPadX, sizeHint().height()};
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

    const int side = m_face.markSize;
    const QRectF markArea(kPadX, (height() - side) / 2.0, side, side);
    if (m_face.symbol) {
        drawSymbol(painter, *m_face.symbol, markArea, side, readableOn(hue, shown, markContrast, ground));
    } else if (m_face.health) {
        const QColor color = readableOn(Theme::healthColor(*m_face.health), shown, markContrast, ground);
        if (const std::optional<Symbol> symbol = Theme::healthSymbol(*m_face.health))
            drawSymbol(painter, *symbol, markArea, side, color);
        else {
            painter.setBrush(color);
            painter.drawEllipse(markArea.adjusted(2, 2, -2, -2));
        }
    }
    QFont font = m_face.font;
    font.setStrikeOut(m_face.struckOut);
    painter.setFont(font);
    painter.setPen(readableOn(hue, shown, textContrast, ground));
    painter.drawText(QRectF(textLeft(), 0, textRoom() + 1, height()), Qt::AlignVCenter | Qt::AlignLeft, shownText());
}

} // namespace tw

#include "views/window/IncomingBanner.h"

#include "design/CardFrame.h"
#include "design/ContrastRatio.h"
#include "design/ElidedLine.h"
#include "design/Symbol.h"
#include "design/TextStyle.h"
#include "design/Theme.h"
#include "views/kit/FocusRing.h"
#include "views/kit/KeyActivation.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace tw {

const QString IncomingBanner::textAfterCount =
    QStringLiteral(" incoming \u2014 a teammate wants to share with you. Review");
const QString IncomingBanner::reviewText = QStringLiteral("Review");

namespace {

constexpr int kOuter = 10;       // around the pill
constexpr int kPadX = 14;        // inside the pill
constexpr int kPadY = 10;
constexpr int kSpacing = 8;
constexpr qreal kRadius = 10;
constexpr int kMarkRoom = 3;    // around the pill, for a mark of the focus

QFont labelFont()
{
    return styledFont(TextStyle::Callout, QFont::Medium);
}

QFont chevronFont()
{
    return styledFont(TextStyle::Caption);
}

// White on the syncing orange reads at about 2 : 1; a dark shade of the
// same orange keeps the banner's colour and reads as body text should.
QColor foreground()
{
    return readableShade(Theme::syncing(), Theme::syncing(), textContrast);
}

} // namespace

QString IncomingBanner::textFor(int count)
{
    return QString::number(count) + textAfterCount;
}

IncomingBanner::IncomingBanner(QWidget *parent)
    : QAbstractButton(parent)
{
    setObjectName(QStringLiteral("incomingBanner"));
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    setFont(labelFont());
    // Space opens Incoming as a button does, Return too; the ring goes
    // around the pill, on the window.
    KeyActivation::install(*this, [this] { click(); }, KeyActivation::Keys::ReturnOnly);
}

void IncomingBanner::setCount(int count)
{
    if (count == m_count)
        return;
    m_count = count;
    setText(textFor(count));
    setAccessibleName(text());
    updateGeometry();
    update();
}

QSize IncomingBanner::sizeHint() const
{
    const QFontMetrics metrics(font());
    const int line = metrics.height();
    const int width = line + kSpacing + metrics.horizontalAdvance(text()) + kSpacing +
                      QFontMetrics(chevronFont()).height() + 2 * kPadX + 2 * kOuter;
    return {width, line + 2 * kPadY + 2 * kOuter};
}

// Room for the symbol, the sentence's first letters, "Review" and the
// chevron: short of the whole sentence, its words are cut, never "Review".
QSize IncomingBanner::minimumSizeHint() const
{
    const QFontMetrics metrics(font());
    const int width = metrics.height() + kSpacing + leastOneLineWidth(sentence(), font()) +
                      metrics.horizontalAdvance(QLatin1Char(' ') + reviewText) + kSpacing +
                      QFontMetrics(chevronFont()).height() + 2 * (kMarkRoom + kPadX);
    return {width, markedHeight()};
}

QString IncomingBanner::sentence() const
{
    return text().chopped(reviewText.size()).trimmed();
}

int IncomingBanner::markedHeight() const
{
    return sizeHint().height() - 2 * kOuter + 2 * kMarkRoom;
}

// The pill keeps its height; laid over a low row, the room around it
// shrinks to what a focus mark needs, alike on every side.
int IncomingBanner::room() const
{
    return std::clamp((height() - (sizeHint().height() - 2 * kOuter)) / 2, kMarkRoom, kOuter);
}

QRect IncomingBanner::pillRect() const
{
    const int around = room();
    return rect().adjusted(around, around, -around, -around);
}

// Drawn over other widgets: around the pill, clicks reach the page beneath.
void IncomingBanner::resizeEvent(QResizeEvent *event)
{
    QAbstractButton::resizeEvent(event);
    setMask(pillRect().adjusted(-kMarkRoom, -kMarkRoom, kMarkRoom, kMarkRoom));
    FocusRing::setShape(*this, room() - kMarkRoom, kRadius + kMarkRoom);
}

void IncomingBanner::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect pill = pillRect();
    const CardStyle style{.radius = kRadius, .padding = {}, .strokeWidth = 0, .fill = Theme::syncing(), .stroke = {}};
    paintCard(painter, pill, style, palette());

    const QRect inner = pill.adjusted(kPadX, kPadY, -kPadX, -kPadY);
    const int line = QFontMetrics(font()).height();
    const int chevron = QFontMetrics(chevronFont()).height();
    const QColor ink = foreground();
    drawSymbol(painter, Symbol::TrayArrowDown, QRectF(inner.left(), inner.top(), line, inner.height()), line, ink);
    drawSymbol(painter, Symbol::ChevronRight, QRectF(inner.right() - chevron, inner.top(), chevron, inner.height()),
               chevron, ink);
    // The sentence gives way before "Review", which says what a click does.
    const QRect textArea = inner.adjusted(line + kSpacing, 0, -(chevron + kSpacing), 0);
    const QFontMetricsF metrics(font());
    const int review = int(std::ceil(metrics.horizontalAdvance(QLatin1Char(' ') + reviewText)));
    const int room = std::max(0, textArea.width() - review);
    const QString shown = elidedToFit(sentence(), font(), Qt::ElideRight, room);
    const int used = std::min(int(std::ceil(metrics.horizontalAdvance(shown))), room);
    drawElidedLine(painter, textArea.adjusted(0, 0, -(textArea.width() - used), 0), font(), ink, shown,
                   Qt::ElideRight);
    drawElidedLine(painter, textArea.adjusted(used, 0, 0, 0), font(), ink, QLatin1Char(' ') + reviewText,
                   Qt::ElideRight);
    m_shownText = shown + QLatin1Char(' ') + reviewText;
}

} // namespace tw

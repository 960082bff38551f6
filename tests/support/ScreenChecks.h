#pragma once

#include "design/DeviceSyncRing.h"
#include "design/ElidedLabel.h"
#include "design/StatusBubble.h"
#include "design/StatusDot.h"
#include "views/panels/OmitLevelModel.h"
#include "views/panels/OmitRowDelegate.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QColor>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QHash>
#include <QSet>
#include <QImage>
#include <QLabel>
#include <QGraphicsOpacityEffect>
#include <QLayoutItem>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QRegion>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QString>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QToolBar>
#include <QToolButton>
#include <QTextBlock>
#include <QTextDocument>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

// What a person sees wrong on a screen, found without looking: widgets cut
// by their parent or lying under the window's bottom bar, text that needs
// more room than its label has, and text too faint on what is drawn behind
// it. Each function answers one line per fault; no line means none found.
namespace tw::screenchecks {

// Contrast bounds: every text, whatever its size, tone or colour; and the
// marks that carry meaning (symbols, status dots, progress arcs and tracks,
// the frames of check boxes and the edges of fields).
constexpr double kTextContrast = 4.5;
constexpr double kMarkContrast = 3.0;

inline double relativeLuminance(const QColor &colour)
{
    auto channel = [](double value) {
        return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    const QColor rgb = colour.toRgb();
    return 0.2126 * channel(rgb.redF()) + 0.7152 * channel(rgb.greenF()) + 0.0722 * channel(rgb.blueF());
}

// The colour seen when `over` (possibly translucent) is drawn on `under`.
inline QColor composited(const QColor &over, const QColor &under)
{
    const double a = over.alphaF();
    auto mix = [a](double top, double bottom) { return top * a + bottom * (1 - a); };
    return QColor::fromRgbF(float(mix(over.redF(), under.redF())), float(mix(over.greenF(), under.greenF())),
                            float(mix(over.blueF(), under.blueF())));
}

// The contrast ratio of a text colour (alpha counts) on an opaque background,
// 1 to 21.
inline double contrastRatio(const QColor &text, const QColor &background)
{
    const double a = relativeLuminance(composited(text, background));
    const double b = relativeLuminance(background);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

// A short name of the widget for a fault's line.
inline QString describe(const QWidget &widget)
{
    QString name = QString::fromLatin1(widget.metaObject()->className());
    if (!widget.objectName().isEmpty())
        name += '#' + widget.objectName();
    if (auto *label = qobject_cast<const QLabel *>(&widget))
        name += QStringLiteral(" \"%1\"").arg(label->text().left(40));
    return name;
}

// The part of the area, of a widget of the pages, that the incoming banner
// drawn over the pages' top leaves in sight. The banner spans the pages'
// width, so what is left is a rectangle.
inline QRect uncoveredPart(QRect area, const QWidget &widget, const QWidget &root)
{
    const auto *banner = root.findChild<const QWidget *>(QStringLiteral("incomingBanner"));
    if (!banner || !banner->isVisible() || banner == &widget || banner->isAncestorOf(&widget))
        return area;
    const QRect pill = banner->mask().boundingRect().translated(banner->mapTo(&root, QPoint(0, 0)));
    if (area.intersects(pill))
        area.setTop(std::max(area.top(), pill.bottom() + 1));
    return area.isValid() ? area : QRect();
}

// Whether the widget is drawn at all, as part of the root's window: shown,
// in no window of its own (a sheet, a menu) below the root, and not
// scrolled or cut away entirely by one of its parents.
inline QRect visibleRectIn(const QWidget &widget, const QWidget &root)
{
    if (!widget.isVisible())
        return {};
    for (const QWidget *up = &widget; up && up != &root; up = up->parentWidget())
        if (up->isWindow())
            return {};
    QRect seen(widget.mapTo(&root, QPoint(0, 0)), widget.size());
    for (const QWidget *up = widget.parentWidget(); up && up != &root; up = up->parentWidget())
        seen &= QRect(up->mapTo(&root, QPoint(0, 0)), up->size());
    return uncoveredPart(seen & root.rect(), widget, root);
}

inline bool isScrolledContent(const QWidget &widget)
{
    const QWidget *parent = widget.parentWidget();
    return parent && qobject_cast<const QAbstractScrollArea *>(parent->parentWidget())
           && static_cast<const QAbstractScrollArea *>(parent->parentWidget())->viewport() == parent;
}

// Widgets reaching beyond their parent (other than a scroll area's content),
// pages scrolling sideways, anything of the page under `bottomBar`, and the
// window beyond its screen's available area.
inline QStringList placementFaults(QWidget &root, const QWidget *bottomBar = nullptr)
{
    QStringList faults;
    if (root.isWindow() && root.screen()) {
        const QRect available = root.screen()->availableGeometry();
        if (!available.contains(root.frameGeometry()))
            faults << QStringLiteral("the window (%1×%2 with its frame) reaches beyond the screen's %3×%4")
                          .arg(root.frameGeometry().width()).arg(root.frameGeometry().height())
                          .arg(available.width()).arg(available.height());
    }
    const QRect bar = bottomBar && bottomBar->isVisible()
                          ? QRect(bottomBar->mapTo(&root, QPoint(0, 0)), bottomBar->size()) : QRect();
    if (bottomBar && bottomBar->isVisible() && !root.rect().contains(bar))
        faults << QStringLiteral("the status bar is not whole in the window");
    // A fault is told of the outermost widget it shows in, not again of
    // each widget inside that one.
    QSet<const QWidget *> faulty;
    for (QWidget *widget : root.findChildren<QWidget *>()) {
        if (visibleRectIn(*widget, root).isEmpty() || faulty.contains(widget->parentWidget()))
            continue;
        const qsizetype before = faults.size();
        const QWidget *parent = widget->parentWidget();
        if (parent && !isScrolledContent(*widget) && !parent->rect().contains(widget->geometry()))
            faults << QStringLiteral("%1 is cut by %2 (%3,%4 %5×%6 in %7×%8)")
                          .arg(describe(*widget), describe(*parent))
                          .arg(widget->x()).arg(widget->y()).arg(widget->width()).arg(widget->height())
                          .arg(parent->width()).arg(parent->height());
        // What a layout gives below a widget's least size is drawn squeezed.
        // Not counted: Qt's own parts of a widget (named "qt_…"), placed by
        // their owner's style, and stacks, whose least size is that of their
        // largest page, shown or not (the shown page is checked itself).
        const QSize least = QWidgetItem(widget).minimumSize();
        const bool ownPart = widget->objectName().startsWith(QLatin1String("qt_"));
        if (!isScrolledContent(*widget) && !ownPart && !qobject_cast<QStackedWidget *>(widget)
            && (widget->width() < least.width() || widget->height() < least.height()))
            faults << QStringLiteral("%1 is squeezed to %2×%3, needs %4×%5")
                          .arg(describe(*widget)).arg(widget->width()).arg(widget->height())
                          .arg(least.width()).arg(least.height());
        if (auto *area = qobject_cast<QScrollArea *>(widget); area && area->horizontalScrollBar()->isVisible())
            faults << describe(*widget) + QStringLiteral(" scrolls sideways");
        if (bottomBar && !bar.isEmpty() && widget != bottomBar && !bottomBar->isAncestorOf(widget)
            && !widget->isAncestorOf(bottomBar) && visibleRectIn(*widget, root).intersects(bar))
            faults << describe(*widget) + QStringLiteral(" lies under the status bar");
        if (faults.size() > before)
            faulty.insert(widget);
    }
    return faults;
}

// Labels whose text needs more width than they have and shows no "…" for
// what is left out (the height: textFootFaults).
inline QStringList labelFitFaults(QWidget &root)
{
    QStringList faults;
    for (QLabel *label : root.findChildren<QLabel *>()) {
        if (visibleRectIn(*label, root).isEmpty() || label->text().isEmpty())
            continue;
        const QRect inside = label->contentsRect();
        const int margins = 2 * label->margin();
        if (label->wordWrap())
            continue;
        const bool rich = label->textFormat() == Qt::RichText
                          || (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()));
        int width = 0;
        if (rich) {
            QTextDocument document;
            document.setDefaultFont(label->font());
            document.setDocumentMargin(0);
            document.setHtml(label->text());
            width = int(std::ceil(document.idealWidth()));
        } else {
            const QFontMetrics metrics(label->font());
            for (const QString &line : label->text().split('\n'))
                width = std::max(width, metrics.horizontalAdvance(line));
        }
        if (width + margins > inside.width() + 1)
            faults << QStringLiteral("%1 needs %2 px of width, has %3").arg(describe(*label)).arg(width + margins)
                          .arg(inside.width());
    }
    return faults;
}

// Whether a scroll area's viewport lies between the widget and the root:
// what it cuts off is scrolled away, not lost.
inline bool insideScrollArea(const QWidget &widget, const QWidget &root)
{
    for (const QWidget *up = &widget; up && up != &root; up = up->parentWidget())
        if (isScrolledContent(*up))
            return true;
    return false;
}

// Labels whose drawn text needs more height than they have, so the foot of
// the last line (descenders, a wrapped last line) is cut; and labels whose
// text lies partly outside what their parents show with no scroll area to
// bring it into view.
inline QStringList textFootFaults(QWidget &root)
{
    QStringList faults;
    for (QLabel *label : root.findChildren<QLabel *>()) {
        const QRect seen = visibleRectIn(*label, root);
        if (seen.isEmpty() || label->text().isEmpty())
            continue;
        const int needed = label->wordWrap() ? label->heightForWidth(label->width()) : label->sizeHint().height();
        if (needed > label->height()) {
            faults << QStringLiteral("%1 cuts the foot of its text: needs %2 px of height, has %3")
                          .arg(describe(*label)).arg(needed).arg(label->height());
            continue;
        }
        const Qt::Alignment vertical = label->alignment() & Qt::AlignVertical_Mask;
        const int top = vertical == Qt::AlignTop      ? 0
                        : vertical == Qt::AlignBottom ? label->height() - needed
                                                      : (label->height() - needed) / 2;
        const QRect text(label->mapTo(&root, QPoint(0, top)), QSize(label->width(), needed));
        if (!insideScrollArea(*label, root) && (text.top() < seen.top() || text.bottom() > seen.bottom()))
            faults << QStringLiteral("%1 shows %2 of its %3 px of text, with no scroll area to show the rest")
                          .arg(describe(*label)).arg(seen.height()).arg(needed);
    }
    return faults;
}

// The whole text a widget stands for and the text it draws: an elided
// label's, a painted text's (its "fullText" and "shownText" properties), a
// label's own otherwise.
inline std::pair<QString, QString> fullAndShown(const QWidget &widget)
{
    if (const auto *elided = qobject_cast<const ElidedLabel *>(&widget))
        return {elided->fullText(), elided->text()};
    if (const QVariant shown = widget.property("shownText"); shown.isValid())
        return {widget.property("fullText").toString(), shown.toString()};
    const auto *label = qobject_cast<const QLabel *>(&widget);
    return {label ? label->text() : QString(), label ? label->text() : QString()};
}

// Widgets that end a text in "…" although the whole of it fits the width
// they were given: a name cut where there was room for it.
inline QStringList needlessEllipsisFaults(QWidget &root)
{
    QStringList faults;
    const QChar ellipsis(0x2026);
    for (QWidget *widget : root.findChildren<QWidget *>()) {
        const auto [full, shown] = fullAndShown(*widget);
        if (visibleRectIn(*widget, root).isEmpty() || shown.count(ellipsis) <= full.count(ellipsis))
            continue;
        // The room its text is drawn in (in the widget's font): a chip tells
        // it, a label's is its contents less its margin.
        const QVariant told = widget->property("textRoom");
        const auto *label = qobject_cast<const QLabel *>(widget);
        const int room = told.isValid() ? told.toInt()
                         : label        ? label->contentsRect().width() - 2 * label->margin()
                                        : widget->width();
        QString oneLine = full;
        for (QChar &c : oneLine)
            if (c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line
                || c.category() == QChar::Separator_Paragraph)
                c = QLatin1Char(' ');
        // Less than half a pixel beyond the room draws nothing that shows.
        const qreal whole = QFontMetricsF(widget->font()).horizontalAdvance(oneLine);
        if (whole <= room + 0.5)
            faults << QStringLiteral("%1 shows \"%2\" although \"%3\" fits its %4 px (needs %5)")
                          .arg(describe(*widget), shown, full).arg(room).arg(whole, 0, 'f', 1);
    }
    return faults;
}

// Whether the text holds a line break or another control character that
// starts a line or shows as a box.
inline bool holdsLineBreak(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) {
        return c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line
               || c.category() == QChar::Separator_Paragraph;
    });
}

// Texts whose line holds a line break: labels, wrapping ones included,
// buttons and chips. A name drawn there takes two lines and stretches its
// row, shows a box, or starts a line that reads as the screen's own. A
// wrapping label's lines are those it tells it draws ("shownLines"), each
// of which must hold none; rich text and Markdown are the screens' own.
inline QStringList lineBreakFaults(QWidget &root)
{
    QStringList faults;
    for (QWidget *widget : root.findChildren<QWidget *>()) {
        if (visibleRectIn(*widget, root).isEmpty())
            continue;
        const auto *label = qobject_cast<const QLabel *>(widget);
        if (label && (label->textFormat() == Qt::RichText || label->textFormat() == Qt::MarkdownText
                      || (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()))))
            continue;
        const QVariant lines = widget->property("shownLines");
        QStringList shown = lines.isValid() ? lines.toStringList() : QStringList{fullAndShown(*widget).second};
        if (const auto *button = qobject_cast<const QAbstractButton *>(widget); button && shown.join("").isEmpty())
            shown = {button->text()};
        // A selectable label draws the document QLabel keeps: its blocks are
        // the lines drawn, whatever the label says it shows.
        QStringList drawn = shown;
        if (const auto *document = label ? widget->findChild<QTextDocument *>() : nullptr; document && lines.isValid()) {
            drawn.clear();
            for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
                drawn << block.text();
        }
        if (std::any_of(shown.cbegin(), shown.cend(), holdsLineBreak)
            || std::any_of(drawn.cbegin(), drawn.cend(), holdsLineBreak) || drawn.size() > shown.size())
            faults << QStringLiteral("%1 draws a line break within a line").arg(describe(*widget));
    }
    return faults;
}

// The colour most of the area shows: what a text is drawn on.
inline QColor backgroundIn(const QImage &shot, const QRect &area)
{
    QHash<QRgb, int> counts;
    const QRect inside = area.intersected(shot.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            ++counts[shot.pixel(x, y) | 0xff000000u];
    QRgb best = 0;
    int most = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > most) {
            best = it.key();
            most = it.value();
        }
    return QColor::fromRgb(best);
}

// Enabled labels whose text colour (their palette's) is too faint on what
// the picture `shot` of `root` shows behind them.
inline QStringList contrastFaults(QWidget &root, const QImage &shot)
{
    QStringList faults;
    const qreal scale = shot.devicePixelRatio();
    for (QLabel *label : root.findChildren<QLabel *>()) {
        const QRect seen = visibleRectIn(*label, root);
        if (seen.isEmpty() || label->text().trimmed().isEmpty() || !label->isEnabled())
            continue;
        const QRect area((seen.topLeft().toPointF() * scale).toPoint(), (QSizeF(seen.size()) * scale).toSize());
        const QColor background = backgroundIn(shot, area);
        const QColor text = label->palette().color(QPalette::Active, label->foregroundRole());
        const double ratio = contrastRatio(text, background);
        const double needed = kTextContrast;
        // Whether the view set the label's colours itself.
        const QString own = label->testAttribute(Qt::WA_SetPalette) ? QStringLiteral(", own palette") : QString();
        if (ratio + 0.005 < needed)
            faults << QStringLiteral("%1: contrast %2:1 (%3 on %4%5), needs %6:1")
                          .arg(describe(*label)).arg(ratio, 0, 'f', 2)
                          .arg(composited(text, background).name(), background.name(), own).arg(needed);
    }
    return faults;
}

// Symbols (icons, drawn marks, check box frames, progress tracks) too faint
// on what the picture shows behind them.
namespace symbols {

// How far two colours lie apart, on the channel that differs most.
inline int distance(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

inline double ratio(QRgb a, QRgb b)
{
    return contrastRatio(QColor::fromRgb(a), QColor::fromRgb(b));
}

inline QRect inShot(const QImage &shot, const QWidget &widget, const QWidget &root, QRect within = {})
{
    if (within.isNull())
        within = widget.rect();
    const qreal scale = shot.devicePixelRatio();
    const QRect area(widget.mapTo(&root, within.topLeft()), within.size());
    return QRect((area.topLeft().toPointF() * scale).toPoint(), (QSizeF(area.size()) * scale).toSize())
        .intersected(shot.rect());
}

// The colour most of the pixels show, of those for which `counted` holds;
// near colours count as one (a face shaded from top to bottom is one
// colour), answered as their mean.
template <typename Counted>
QRgb mostCommon(const QImage &shot, const QRect &area, Counted counted)
{
    struct Bucket
    {
        int count = 0;
        qint64 red = 0, green = 0, blue = 0;
    };
    QHash<QRgb, Bucket> buckets;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            if (!counted(x, y))
                continue;
            const QRgb pixel = shot.pixel(x, y);
            Bucket &bucket = buckets[qRgb(qRed(pixel) >> 4, qGreen(pixel) >> 4, qBlue(pixel) >> 4)];
            ++bucket.count;
            bucket.red += qRed(pixel);
            bucket.green += qGreen(pixel);
            bucket.blue += qBlue(pixel);
        }
    Bucket best;
    for (const Bucket &bucket : std::as_const(buckets))
        if (bucket.count > best.count)
            best = bucket;
    if (best.count == 0)
        return qRgb(0, 0, 0);
    return qRgb(int(best.red / best.count), int(best.green / best.count), int(best.blue / best.count));
}

inline QRgb mostCommon(const QImage &shot, const QRect &area)
{
    return mostCommon(shot, area, [](int, int) { return true; });
}

// The colour of the picture around the area: what lies behind a widget
// that draws no ground of its own.
inline QRgb around(const QImage &shot, const QRect &area)
{
    const QRect ring = area.adjusted(-2, -2, 2, 2).intersected(shot.rect());
    return mostCommon(shot, ring, [&](int x, int y) { return !area.contains(x, y); });
}

// The strongest contrast of the area's pixels on the ground.
inline double strongest(const QImage &shot, const QRect &area, QRgb ground)
{
    double best = 1;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            best = std::max(best, ratio(shot.pixel(x, y), ground));
    return best;
}

// An icon's shape: the pixels it leaves clear and those it covers.
struct Shape
{
    QSize size;
    QImage image;
    QList<QPoint> clear, solid;

    explicit Shape(const QImage &icon) : size(icon.size()), image(icon.convertToFormat(QImage::Format_ARGB32))
    {
        int solidest = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                solidest = std::max(solidest, qAlpha(image.pixel(x, y)));
        for (int y = 0; y < image.height() && solidest > 0; ++y)
            for (int x = 0; x < image.width(); ++x) {
                const int alpha = qAlpha(image.pixel(x, y));
                if (alpha == 0)
                    clear.append({x, y});
                else if (alpha * 4 >= solidest * 3)
                    solid.append({x, y});
            }
    }
};

// Where in the area the picture shows the shape on the face: its clear
// pixels showing the face, its solid ones as far from it as anywhere.
inline std::optional<QPoint> placeOf(const QImage &shot, const QRect &area, const Shape &shape, QRgb face)
{
    std::optional<QPoint> found;
    qint64 widest = 0;
    for (int top = area.top(); top + shape.size.height() - 1 <= area.bottom(); ++top)
        for (int left = area.left(); left + shape.size.width() - 1 <= area.right(); ++left) {
            const auto onFace = std::count_if(shape.clear.cbegin(), shape.clear.cend(), [&](const QPoint &p) {
                return distance(shot.pixel(left + p.x(), top + p.y()), face) <= 16;
            });
            if (onFace * 10 < shape.clear.size() * 9)
                continue;
            qint64 apart = 0;
            for (const QPoint &p : shape.solid)
                apart += distance(shot.pixel(left + p.x(), top + p.y()), face);
            if (apart > widest) {
                widest = apart;
                found = QPoint(left, top);
            }
        }
    return found;
}

// The contrast an icon is drawn with in the area: its solid pixels on what
// its clear ones show, where the picture shows its shape on one of the
// faces. 1 when it shows nowhere; 0 when there is no icon to look for.
inline double iconContrast(const QImage &shot, const QRect &area, const QImage &icon, QList<QRgb> faces)
{
    if (icon.isNull() || icon.width() > area.width() || icon.height() > area.height())
        return 0;
    const Shape shape(icon);
    if (shape.solid.isEmpty())
        return 0;
    for (const QRgb face : faces) {
        const std::optional<QPoint> at = placeOf(shot, area, shape, face);
        if (!at)
            continue;
        const QRect placed(*at, shape.size);
        const QRgb ground = shape.clear.isEmpty() ? around(shot, placed) : mostCommon(shot, placed, [&](int x, int y) {
            return qAlpha(shape.image.pixel(x - at->x(), y - at->y())) == 0;
        });
        double best = 1;
        for (const QPoint &p : shape.solid)
            best = std::max(best, ratio(shot.pixel(*at + p), ground));
        return best;
    }
    return 1;
}

inline QImage iconImage(const QIcon &icon, const QSize &size, const QWidget &widget, qreal scale)
{
    if (icon.isNull() || size.isEmpty())
        return {};
    const QIcon::Mode mode = widget.isEnabled() ? QIcon::Normal : QIcon::Disabled;
    return icon.pixmap(size, scale, mode).toImage();
}

// The size a button draws its icon at: a tool bar's own for its buttons.
inline QSize iconSizeOf(const QAbstractButton &button)
{
    if (auto *bar = qobject_cast<const QToolBar *>(button.parentWidget()); bar && qobject_cast<const QToolButton *>(&button))
        return bar->iconSize();
    return button.iconSize();
}

// Where a widget paints a mark that carries meaning: a status dot's whole
// disc, or the progress arc of a syncing badge where it starts, at twelve
// o'clock (its number and track lie elsewhere); none for other widgets.
inline std::optional<QRect> markArea(const QWidget &widget)
{
    if (qobject_cast<const StatusDot *>(&widget))
        return widget.rect();
    const auto *bubble = qobject_cast<const StatusBubble *>(&widget);
    const auto *ring = qobject_cast<const DeviceSyncRing *>(&widget);
    const SyncHealth health = bubble ? bubble->health() : ring ? ring->health() : SyncHealth::allSynced();
    if ((bubble || ring) && health.kind == SyncHealth::Kind::Syncing)
        return QRect(widget.width() / 2, 0, 3, std::max(1, widget.height() / 4));
    return std::nullopt;
}

// A field a user types in, drawn with an edge of its own: a line edit (not
// the bare one inside a spin box) or a spin box.
inline bool framedField(const QWidget &widget)
{
    if (auto *field = qobject_cast<const QLineEdit *>(&widget))
        return field->hasFrame();
    if (auto *spinBox = qobject_cast<const QAbstractSpinBox *>(&widget))
        return spinBox->hasFrame();
    return false;
}

// Whether a parent hides the widget by drawing it fully transparent.
inline bool faded(const QWidget &widget, const QWidget &root)
{
    for (const QWidget *up = &widget; up && up != &root; up = up->parentWidget())
        if (auto *effect = qobject_cast<const QGraphicsOpacityEffect *>(up->graphicsEffect());
            effect && effect->isEnabled() && effect->opacity() <= 0.01)
            return true;
    return false;
}

} // namespace symbols

// Enabled symbols and marks too faint on what the picture `shot` of `root`
// shows behind them, each held to 3 : 1: icons of labels, buttons and tabs,
// painted marks (status dots, the progress arcs of badges), check box
// frames, the edges of text fields, and the empty part of progress bars.
inline QStringList symbolContrastFaults(QWidget &root, const QImage &shot)
{
    using namespace symbols;
    QStringList faults;
    const qreal scale = shot.devicePixelRatio();
    const auto check = [&](const QWidget &widget, const char *what, double ratio) {
        if (ratio > 0 && ratio + 0.005 < kMarkContrast)
            faults << QStringLiteral("%1: %2 contrast %3:1, needs %4:1")
                          .arg(describe(widget), QString::fromLatin1(what)).arg(ratio, 0, 'f', 2).arg(kMarkContrast);
    };
    for (QWidget *widget : root.findChildren<QWidget *>()) {
        if (visibleRectIn(*widget, root).isEmpty() || !widget->isEnabled() || faded(*widget, root))
            continue;
        const QRect area = inShot(shot, *widget, root);
        if (auto *label = qobject_cast<QLabel *>(widget); label && !label->pixmap().isNull()) {
            const QPixmap pixmap = label->pixmap();
            const QSize size = (pixmap.deviceIndependentSize() * scale).toSize();
            // A label draws no ground of its own, unless styled to.
            check(*label, "symbol",
                  iconContrast(shot, area, pixmap.toImage().scaled(size), {around(shot, area), mostCommon(shot, area)}));
        }
        if (auto *button = qobject_cast<QAbstractButton *>(widget))
            check(*button, "icon", iconContrast(shot, area, iconImage(button->icon(), iconSizeOf(*button), *button, scale),
                                                {mostCommon(shot, area), around(shot, area)}));
        // A painted mark on what lies around it.
        if (const std::optional<QRect> mark = markArea(*widget))
            check(*widget, "mark", strongest(shot, inShot(shot, *widget, root, *mark), around(shot, area)));
        // A field's edge: its top lines (a spin box's lies a pixel lower
        // than a line edit's), inside its rounded corners, on what lies
        // around the field. A focused field is ringed in the highlight.
        if (framedField(*widget) && !widget->hasFocus() && area.width() > 8) {
            const QRect edge(area.left() + 4, area.top(), area.width() - 8, 2);
            check(*widget, "field edge", strongest(shot, edge, around(shot, area)));
        }
        if (auto *tabs = qobject_cast<QTabBar *>(widget))
            for (int i = 0; i < tabs->count(); ++i) {
                const QRect tab = inShot(shot, *tabs, root, tabs->tabRect(i));
                check(*tabs, "tab icon", iconContrast(shot, tab, iconImage(tabs->tabIcon(i), tabs->iconSize(), *tabs, scale),
                                                      {mostCommon(shot, tab)}));
            }
        if (auto *box = qobject_cast<QCheckBox *>(widget)) {
            QStyleOptionButton option;
            option.initFrom(box);
            const QRect indicator =
                inShot(shot, *box, root, box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box));
            const QRgb ground = mostCommon(shot, area, [&](int x, int y) { return !indicator.contains(x, y); });
            check(*box, "check box frame", strongest(shot, indicator, ground));
        }
        // The exclusion browser's switches that are off: the track on its row.
        if (auto *list = qobject_cast<QAbstractItemView *>(widget))
            if (auto *rows = qobject_cast<OmitRowDelegate *>(list->itemDelegate()))
                for (int row = 0; row < list->model()->rowCount(); ++row) {
                    const QModelIndex index = list->model()->index(row, 0);
                    const QRect track = rows->switchRect(index);
                    if (list->viewport()->rect().contains(track) && !index.data(OmitLevelModel::ExcludedRole).toBool()) {
                        const QRect drawn = inShot(shot, *list->viewport(), root, track);
                        check(*list, "switch track", ratio(mostCommon(shot, drawn), around(shot, drawn)));
                    }
                }
        if (auto *bar = qobject_cast<QProgressBar *>(widget); bar && bar->maximum() > bar->minimum()) {
            // The track shows where the bar is not yet filled.
            const double done = double(bar->value() - bar->minimum()) / (bar->maximum() - bar->minimum());
            QRect track = area;
            track.setLeft(area.left() + int(std::ceil(area.width() * done)) + 2);
            if (track.width() > 2)
                check(*bar, "progress track", strongest(shot, track, around(shot, area)));
        }
    }
    return faults;
}

// Texts as drawn, each held to 4.5 : 1: the pixel standing out most of what
// it draws, on the colour most of its area shows. A colour worked out at the
// bound draws fainter, a small text's stems covering no pixel wholly; and a
// text may stand on a face its colour was not worked out for. Labels,
// buttons' texts, fields' placeholders, and each half (a line) of the chosen
// rows of a list, between the symbol at a row's start and what it shows at
// its end.
inline QStringList drawnTextFaults(QWidget &root, const QImage &shot)
{
    using namespace symbols;
    QStringList faults;
    const auto check = [&](const QWidget &widget, const char *what, const QRect &area) {
        const double drawn = area.isEmpty() ? 1 : strongest(shot, area, mostCommon(shot, area));
        if (drawn > 1.05 && drawn + 0.005 < kTextContrast)
            faults << QStringLiteral("%1: %2 drawn at %3:1, needs %4:1")
                          .arg(describe(widget), QString::fromLatin1(what)).arg(drawn, 0, 'f', 2).arg(kTextContrast);
    };
    for (QWidget *widget : root.findChildren<QWidget *>()) {
        if (visibleRectIn(*widget, root).isEmpty() || !widget->isEnabled() || faded(*widget, root) || widget->hasFocus())
            continue;
        const QRect inner = widget->rect().adjusted(4, 4, -4, -4);
        auto *label = qobject_cast<QLabel *>(widget);
        auto *button = qobject_cast<QAbstractButton *>(widget);
        auto *field = qobject_cast<QLineEdit *>(widget);
        auto *view = qobject_cast<QAbstractItemView *>(widget);
        if (label && label->pixmap().isNull() && !label->text().trimmed().isEmpty())
            check(*label, "text", inShot(shot, *label, root, label->contentsRect()));
        else if (button && !button->text().isEmpty())
            check(*button, "text", inShot(shot, *button, root, inner));
        else if (field && field->text().isEmpty() && !field->placeholderText().isEmpty())
            check(*field, "placeholder", inShot(shot, *field, root, inner));
        else if (view && view->selectionModel())
            for (const QModelIndex &index : view->selectionModel()->selectedIndexes()) {
                const QRect row = view->visualRect(index).intersected(view->viewport()->rect());
                const QRect texts = row.adjusted(row.height(), 0, -row.width() * 2 / 5, 0);
                for (const QRect &line : {texts.adjusted(0, 0, 0, -texts.height() / 2),
                                          texts.adjusted(0, texts.height() / 2, 0, 0)})
                    check(*view, "chosen row's text", inShot(shot, *view->viewport(), root, line));
            }
    }
    return faults;
}

// Rows of a menu too faint on the menu as the picture `shot` of it shows:
// each row's strongest pixel (its text's ink) against the colour most of the
// row shows. Every row a person can see is held to the bound of text,
// enabled or not: a row that only tells something (a state, a rate) is
// still read, and a disabled one is drawn at about 1.9 : 1.
inline QStringList menuFaults(QMenu &menu, const QImage &shot)
{
    QStringList faults;
    const qreal scale = shot.devicePixelRatio();
    for (QAction *action : menu.actions()) {
        if (!action->isVisible() || action->isSeparator() || action->text().isEmpty() || action == menu.activeAction())
            continue;
        const QRect row = menu.actionGeometry(action);
        const QRect area((row.topLeft().toPointF() * scale).toPoint(), (QSizeF(row.size()) * scale).toSize());
        const QColor ground = backgroundIn(shot, area);
        const double ratio = symbols::strongest(shot, area.intersected(shot.rect()), ground.rgb());
        if (ratio + 0.005 < kTextContrast)
            faults << QStringLiteral("menu row \"%1\"%2: contrast %3:1, needs %4:1")
                          .arg(action->text(), action->isEnabled() ? QString() : QStringLiteral(" (disabled)"))
                          .arg(ratio, 0, 'f', 2).arg(kTextContrast);
    }
    return faults;
}

// A screen kept open while the appearance changed, against the same screen
// built anew in that appearance: where they differ, a colour worked out in
// the other appearance was kept (a tile's fill, a card's ground). Pictures
// of the same size; channels a step or two apart are the same colour.
inline QStringList keptColourFaults(const QImage &kept, const QImage &built, const QString &what)
{
    if (kept.size() != built.size())
        return {QStringLiteral("%1 is %2×%3 kept open through the change of appearance, %4×%5 built in it")
                    .arg(what).arg(kept.width()).arg(kept.height()).arg(built.width()).arg(built.height())};
    QRect differing;
    qint64 count = 0;
    for (int y = 0; y < kept.height(); ++y)
        for (int x = 0; x < kept.width(); ++x)
            if (symbols::distance(kept.pixel(x, y), built.pixel(x, y)) > 2) {
                differing |= QRect(x, y, 1, 1);
                ++count;
            }
    if (count == 0)
        return {};
    return {QStringLiteral("%1 kept open through the change of appearance differs from %1 built in it in %2 pixels "
                           "(%3,%4 %5×%6): a colour left from the other appearance")
                .arg(what).arg(count).arg(differing.x()).arg(differing.y()).arg(differing.width())
                .arg(differing.height())};
}

// Every check of a screen: `shot` is the picture of `root` as grabbed.
inline QStringList screenFaults(QWidget &root, const QImage &shot, const QWidget *bottomBar = nullptr)
{
    return placementFaults(root, bottomBar) + labelFitFaults(root) + textFootFaults(root)
           + needlessEllipsisFaults(root) + lineBreakFaults(root) + contrastFaults(root, shot)
           + symbolContrastFaults(root, shot) + drawnTextFaults(root, shot);
}

} // namespace tw::screenchecks

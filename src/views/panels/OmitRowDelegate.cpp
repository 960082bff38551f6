#include "views/panels/OmitRowDelegate.h"

#include "design/ContrastRatio.h"
#include "design/DerivedForeground.h"
#include "design/ElidedLine.h"
#include "design/Symbol.h"
#include "design/TextStyle.h"
#include "design/Theme.h"
#include "views/panels/OmitLevelModel.h"

#include <QAbstractItemView>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace tw {
namespace {

constexpr qreal kCornerRadius = 8;
constexpr int kMinNameGap = 12;

QFont rowFont(const QModelIndex &index)
{
    QFont font = pointsFont(13);
    font.setStrikeOut(index.data(OmitLevelModel::ExcludedRole).toBool());
    return font;
}

void drawSwitch(QPainter &painter, const QRectF &track, bool on, const QPalette &palette, const QColor &wash)
{
    painter.setPen(Qt::NoPen);
    // Off, the track is the text colour only as strong as it must be to
    // stand out from the row as a mark does. On, the orange is shaded to
    // stand out from its washed row and to carry the white knob alike: the
    // plain orange read at 2 : 1 against both.
    const QColor off = readableAlpha(palette.color(QPalette::Text), 0.25,
                                     {palette.color(QPalette::Base), palette.color(QPalette::Window)}, markContrast);
    const QColor onRow = readableOn(Theme::syncing(), palette, markContrast, wash);
    painter.setBrush(on ? readableShade(onRow, Qt::white, markContrast) : off);
    const qreal radius = track.height() / 2;
    painter.drawRoundedRect(track, radius, radius);
    const qreal knob = track.height() - 4;
    const qreal x = on ? track.right() - 2 - knob : track.left() + 2;
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(x, track.top() + 2, knob, knob));
}

} // namespace

OmitRowDelegate::OmitRowDelegate(QAbstractItemView &view) : QStyledItemDelegate(&view), m_view(view) {}

QRect OmitRowDelegate::bodyOf(const QRect &row)
{
    return row.adjusted(0, 0, 0, -rowGap);
}

QRect OmitRowDelegate::switchIn(const QRect &row)
{
    const QRect body = bodyOf(row);
    return QRect(body.right() - paddingX - switchWidth + 1, body.center().y() - switchHeight / 2 + 1, switchWidth,
                 switchHeight);
}

QRect OmitRowDelegate::nameIn(const QRect &row, const QModelIndex &index)
{
    const QRect body = bodyOf(row);
    const int left = body.left() + paddingX + iconWidth + spacing;
    const int room = std::max(0, switchIn(row).left() - kMinNameGap - left);
    // The width of the line as drawn, a line break shown as a space: the raw
    // text measured its break as nothing and the name was cut with room to
    // spare.
    const int full = oneLineWidth(index.data(Qt::DisplayRole).toString(), rowFont(index));
    const int width = std::min(room, full);
    return QRect(left, body.top() + paddingY, width, body.height() - 2 * paddingY);
}

QRect OmitRowDelegate::switchRect(const QModelIndex &index) const
{
    return switchIn(m_view.visualRect(index));
}

QRect OmitRowDelegate::nameRect(const QModelIndex &index) const
{
    return nameIn(m_view.visualRect(index), index);
}

QSize OmitRowDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const
{
    const int content = std::max({QFontMetrics(pointsFont(13)).height(), iconWidth, switchHeight});
    return {paddingX * 2 + iconWidth + spacing + kMinNameGap + switchWidth + 120, content + 2 * paddingY + rowGap};
}

void OmitRowDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QRect body = bodyOf(option.rect);
    const bool excluded = index.data(OmitLevelModel::ExcludedRole).toBool();
    if (excluded) {
        QPainterPath shape;
        shape.addRoundedRect(QRectF(body), kCornerRadius, kCornerRadius);
        painter->fillPath(shape, index.data(Qt::BackgroundRole).value<QColor>());
    }
    const QRect icon(body.left() + paddingX, body.top(), iconWidth, body.height());
    drawSymbol(*painter, Symbol(index.data(OmitLevelModel::SymbolRole).toInt()), icon, iconWidth,
               secondaryRowTextColor(option.palette));

    // A tinted name in the shade of its colour that reads on its row.
    const QVariant tint = index.data(Qt::ForegroundRole);
    const QVariant wash = index.data(Qt::BackgroundRole);
    const QFont font = rowFont(index);
    const QColor ink = tint.isValid() ? readableOn(tint.value<QColor>(), option.palette, textContrast,
                                                   wash.isValid() ? wash.value<QColor>() : QColor())
                                      : option.palette.color(QPalette::Text);
    drawElidedLine(*painter, nameIn(option.rect, index), font, ink, index.data(Qt::DisplayRole).toString(),
                   Qt::ElideMiddle);

    drawSwitch(*painter, QRectF(switchIn(option.rect)), excluded, option.palette,
               wash.isValid() ? wash.value<QColor>() : QColor());
    painter->restore();
}

QString OmitRowDelegate::partAt(const QRect &row, const QModelIndex &index, const QPoint &at)
{
    const auto *level = qobject_cast<const OmitLevelModel *>(index.model());
    const QString path = level ? OmitLevelModel::relPath(level->stack(), index.data(Qt::DisplayRole).toString())
                               : index.data(Qt::DisplayRole).toString();
    if (switchIn(row).contains(at))
        return QStringLiteral("switch:") + path;
    if (index.data(OmitLevelModel::IsLinkRole).toBool() && nameIn(row, index).contains(at))
        return QStringLiteral("name:") + path;
    return {};
}

bool OmitRowDelegate::editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                                  const QModelIndex &index)
{
    const bool press = event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick;
    if (!press && event->type() != QEvent::MouseButtonRelease)
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    const auto *mouse = static_cast<QMouseEvent *>(event);
    if (mouse->button() != Qt::LeftButton)
        return false;
    const QString part = partAt(option.rect, index, mouse->position().toPoint());
    if (press) {
        m_pressed = part;
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    }
    const bool wasPressed = !part.isEmpty() && part == m_pressed;
    m_pressed.clear();
    if (!wasPressed)
        return false;
    if (part.startsWith(QStringLiteral("switch:"))) {
        const bool on = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
        model->setData(index, on ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
    } else {
        emit openRequested(index);
    }
    return true;
}

} // namespace tw

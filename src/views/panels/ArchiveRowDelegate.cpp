#include "views/panels/ArchiveRowDelegate.h"

#include "controllers/ArchiveNode.h"
#include "design/ContrastRatio.h"
#include "design/DerivedForeground.h"
#include "design/ElidedLine.h"
#include "design/Symbol.h"
#include "design/TextStyle.h"
#include "design/Theme.h"
#include "views/panels/ArchiveTreeModel.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

namespace tw {
namespace {

constexpr int kNameGap = 2;
constexpr int kButtonPaddingX = 10;
constexpr int kButtonPaddingY = 4;

QFont nameFont(bool folder)
{
    return pointsFont(13, folder ? QFont::Medium : QFont::Normal);
}

QFont subtitleFont()
{
    return pointsFont(11);
}

QFont buttonFont()
{
    return pointsFont(12);
}

bool isFolder(const QModelIndex &index)
{
    return index.data(ArchiveTreeModel::KindRole).toInt() == int(ArchiveNode::Kind::Folder);
}

} // namespace

ArchiveRowDelegate::ArchiveRowDelegate(QAbstractItemView &view) : QStyledItemDelegate(&view), m_view(view) {}

QSize ArchiveRowDelegate::buttonSize(const QString &text) const
{
    const QFontMetrics metrics(buttonFont());
    return {metrics.horizontalAdvance(text) + 2 * kButtonPaddingX, metrics.height() + 2 * kButtonPaddingY};
}

QRect ArchiveRowDelegate::buttonRect(const QRect &row, const QString &text) const
{
    const QSize size = buttonSize(text);
    return QRect(QPoint(row.right() - rowPadding - size.width() + 1, row.center().y() - size.height() / 2 + 1), size);
}

QRect ArchiveRowDelegate::buttonRect(const QModelIndex &index) const
{
    return buttonRect(m_view.visualRect(index), index.data(ArchiveTreeModel::ButtonTextRole).toString());
}

QSize ArchiveRowDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &index) const
{
    const int lines = QFontMetrics(nameFont(isFolder(index))).height() + kNameGap +
                      QFontMetrics(subtitleFont()).height();
    const int tallest = std::max({lines, iconWidth, buttonSize(QStringLiteral("X")).height()});
    return {iconWidth + 3 * spacing + 200, tallest + 2 * rowPadding};
}

void ArchiveRowDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                               const QModelIndex &index) const
{
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    background.icon = {};
    QStyle *style = m_view.style();
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, &m_view);

    painter->save();
    const QRect row = option.rect;
    const bool folder = isFolder(index);
    const auto symbol = Symbol(index.data(ArchiveTreeModel::SymbolRole).toInt());
    const QRect icon(row.left(), row.top(), iconWidth, row.height());
    // A chosen row's text stands on the highlight in its own text colour.
    const bool chosen = option.state & QStyle::State_Selected;
    const QPalette::ColorGroup group = option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
    const QColor text = option.palette.color(group, chosen ? QPalette::HighlightedText : QPalette::Text);
    const QColor secondary = chosen ? readableAlpha(text, 0.8, {option.palette.color(group, QPalette::Highlight)},
                                                    textContrast)
                                    : secondaryRowTextColor(option.palette);
    const QColor symbolColour = chosen ? text
                                : folder ? readableOn(Theme::accent(), option.palette, markContrast)
                                         : secondary;
    drawSymbol(*painter, symbol, icon, iconWidth - 2, symbolColour);

    const QString buttonText = index.data(ArchiveTreeModel::ButtonTextRole).toString();
    const QRect button = buttonRect(row, buttonText);
    const int textLeft = icon.right() + 1 + spacing;
    const int textWidth = std::max(0, button.left() - spacing - textLeft);
    const QFont name = nameFont(folder);
    const QFont subtitle = subtitleFont();
    const int nameHeight = QFontMetrics(name).height();
    const int blockHeight = nameHeight + kNameGap + QFontMetrics(subtitle).height();
    const int top = row.top() + (row.height() - blockHeight) / 2;
    drawElidedLine(*painter, QRect(textLeft, top, textWidth, nameHeight), name, text,
                   index.data(Qt::DisplayRole).toString(), Qt::ElideMiddle);
    drawElidedLine(*painter,
                   QRect(textLeft, top + nameHeight + kNameGap, textWidth, blockHeight - nameHeight - kNameGap),
                   subtitle, secondary,
                   index.data(ArchiveTreeModel::SubtitleRole).toString(), Qt::ElideRight);

    QStyleOptionButton push;
    push.initFrom(&m_view);
    push.rect = button;
    push.text = buttonText;
    push.state = QStyle::State_Raised;
    if (!index.data(ArchiveTreeModel::BusyRole).toBool())
        push.state |= QStyle::State_Enabled;
    if (m_pressed.isValid() && m_pressed == index)
        push.state |= QStyle::State_Sunken;
    painter->setFont(buttonFont());
    push.fontMetrics = QFontMetrics(buttonFont());
    style->drawControl(QStyle::CE_PushButton, &push, painter, &m_view);
    painter->restore();
}

bool ArchiveRowDelegate::editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                                     const QModelIndex &index)
{
    const bool press = event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick;
    const bool release = event->type() == QEvent::MouseButtonRelease;
    if (!press && !release)
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    const auto *mouse = static_cast<QMouseEvent *>(event);
    const bool onButton = mouse->button() == Qt::LeftButton &&
                          buttonRect(option.rect, index.data(ArchiveTreeModel::ButtonTextRole).toString())
                              .contains(mouse->position().toPoint());
    const bool usable = onButton && !index.data(ArchiveTreeModel::BusyRole).toBool();
    if (press) {
        if (!usable)
            return QStyledItemDelegate::editorEvent(event, model, option, index);
        m_pressed = index;
        m_view.viewport()->update(option.rect);
        return true;
    }
    const bool wasPressed = m_pressed.isValid() && m_pressed == index;
    m_pressed = QPersistentModelIndex();
    m_view.viewport()->update(option.rect);
    if (wasPressed && usable) {
        emit buttonClicked(index);
        return true;
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}

} // namespace tw

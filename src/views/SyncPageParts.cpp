#include "views/SyncPageParts.h"

#include "design/TextStyle.h"
#include "design/Theme.h"
#include "views/LiteralText.h"

#include <QLabel>
#include <QPalette>
#include <QWidget>

namespace tw {

void setTextIfChanged(QLabel &label, const QString &text)
{
    if (label.text() != text)
        label.setText(text);
}

void setToolTipIfChanged(QWidget &widget, const QString &text)
{
    const QString tip = literalToolTip(text);
    if (widget.toolTip() != tip)
        widget.setToolTip(tip);
}

void setForeground(QWidget &widget, const QColor &color)
{
    if (widget.palette().color(QPalette::WindowText) == color && widget.palette().color(QPalette::ButtonText) == color)
        return;
    QPalette palette = widget.palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::ButtonText, color);
    palette.setColor(QPalette::Text, color);
    widget.setPalette(palette);
}

void showNow(QWidget &child)
{
    if (child.parentWidget() && child.parentWidget()->isVisible())
        child.show();
}

Symbol deviceSymbol(const ProjectDeviceRef &device)
{
    if (device.isThisMac)
        return Symbol::Desktopcomputer;
    return device.isAlwaysOnNode ? Symbol::ExternaldriveBadgeCheckmark : Symbol::Laptopcomputer;
}

QColor deviceSymbolColor(const ProjectDeviceRef &device, const QWidget &widget)
{
    return device.isThisMac ? Theme::accent() : secondaryTextColor(widget.palette());
}

} // namespace tw

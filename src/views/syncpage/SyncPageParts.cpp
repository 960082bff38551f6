#include "views/syncpage/SyncPageParts.h"

#include "design/ContrastRatio.h"
#include "design/DerivedForeground.h"
#include "design/ElidedLabel.h"
#include "design/TextStyle.h"
#include "design/Theme.h"
#include "views/kit/LiteralText.h"

#include <QLabel>
#include <QPalette>
#include <QWidget>

namespace tw {

void setTextIfChanged(QLabel &label, const QString &text)
{
    if (auto *elided = qobject_cast<ElidedLabel *>(&label))
        elided->setFullText(text);
    else if (label.text() != text)
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
    tintText(widget, color);
}

void setSecondaryForeground(QWidget &widget)
{
    DerivedForeground::apply(widget, windowTextAt(secondaryStrength));
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

ForegroundRule deviceSymbolColor(const ProjectDeviceRef &device)
{
    return device.isThisMac ? readableTint(Theme::accent(), markContrast) : windowTextAt(secondaryStrength);
}

} // namespace tw

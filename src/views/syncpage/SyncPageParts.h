#pragma once

#include "app/ProjectDeviceRef.h"
#include "design/DerivedForeground.h"
#include "design/Symbol.h"

#include <QColor>
#include <QString>

class QLabel;
class QWidget;

namespace tw {

// Small shared steps of the Mac cards, folder chips and inspectors, which
// update their widgets in place and only where a value changed.

// An elided label's whole text.
void setTextIfChanged(QLabel &label, const QString &text);
void setToolTipIfChanged(QWidget &widget, const QString &text);
// The widget's foreground (text and tinted marks) in that colour.
void setForeground(QWidget &widget, const QColor &color);
// The secondary text colour of whatever palette the widget inherits.
void setSecondaryForeground(QWidget &widget);
// A child added to a shown widget would show only in the next turn, after a
// first paint without it.
void showNow(QWidget &child);
// "desktopcomputer", "externaldrive.badge.checkmark" or "laptopcomputer".
Symbol deviceSymbol(const ProjectDeviceRef &device);
// The accent for this Mac, the secondary colour for any other.
ForegroundRule deviceSymbolColor(const ProjectDeviceRef &device);

} // namespace tw

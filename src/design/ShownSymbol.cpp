#include "design/ShownSymbol.h"

#include <QAbstractButton>
#include <QLabel>

namespace tw {
namespace {

constexpr const char *kProperty = "tidewellSymbol";

void note(QWidget &widget, Symbol symbol)
{
    widget.setProperty(kProperty, int(symbol));
}

} // namespace

void showSymbol(QLabel &label, Symbol symbol, int side, const QColor &color)
{
    label.setPixmap(tintedSymbol(symbol, side, color, label.devicePixelRatioF()));
    note(label, symbol);
}

void showSymbol(QAbstractButton &button, Symbol symbol)
{
    button.setIcon(symbolIcon(symbol));
    note(button, symbol);
}

std::optional<Symbol> shownSymbol(const QWidget &widget)
{
    const QVariant value = widget.property(kProperty);
    if (!value.isValid())
        return std::nullopt;
    return Symbol(value.toInt());
}

} // namespace tw

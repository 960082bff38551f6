#include "design/DestructiveItem.h"

#include "design/Theme.h"

#include <QAction>
#include <QWidget>

namespace tw {
namespace {

constexpr const char *kProperty = "tidewellDestructive";
constexpr const char *kWideEffect = "tidewellWideEffect";

} // namespace

void markDestructive(QAction &action, Symbol symbol)
{
    action.setIcon(symbolIcon(symbol, Theme::danger()));
    action.setProperty(kProperty, true);
}

bool isDestructive(const QAction &action)
{
    return action.property(kProperty).toBool();
}

void markDestructive(QWidget &widget)
{
    widget.setProperty(kProperty, true);
}

bool isDestructive(const QWidget &widget)
{
    return widget.property(kProperty).toBool();
}

void markWideEffect(QWidget &widget)
{
    widget.setProperty(kWideEffect, true);
}

bool isHarmless(const QWidget &widget)
{
    return !isDestructive(widget) && !widget.property(kWideEffect).toBool();
}

} // namespace tw

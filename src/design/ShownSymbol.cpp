#include "design/ShownSymbol.h"

#include "design/ContrastRatio.h"

#include <QAbstractButton>
#include <QEvent>
#include <QLabel>

namespace tw {
namespace {

constexpr const char *kProperty = "tidewellSymbol";

void note(QWidget &widget, Symbol symbol)
{
    widget.setProperty(kProperty, int(symbol));
}

// Draws a widget's symbol again in its text colour after each palette
// change: a label's picture, or a button's icon at the button's icon size.
class SymbolInTextColour : public QObject
{
public:
    static inline const QString name = QStringLiteral("symbolInTextColour");

    SymbolInTextColour(QWidget &widget, Symbol symbol, int side) : QObject(&widget), m_widget(widget)
    {
        setObjectName(name);
        set(symbol, side);
        widget.installEventFilter(this);
    }
    // Found by name: the type has no meta-object of its own to cast by.
    static SymbolInTextColour *of(const QWidget &widget)
    {
        return static_cast<SymbolInTextColour *>(widget.findChild<QObject *>(name, Qt::FindDirectChildrenOnly));
    }
    void set(Symbol symbol, int side)
    {
        m_symbol = symbol;
        m_side = side;
        draw();
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == &m_widget && event->type() == QEvent::PaletteChange)
            draw();
        return QObject::eventFilter(watched, event);
    }

private:
    void draw()
    {
        auto *button = qobject_cast<QAbstractButton *>(&m_widget);
        const int side = button ? button->iconSize().width() : m_side;
        const QColor colour = m_widget.palette().color(button ? QPalette::ButtonText : QPalette::WindowText);
        if (colour == m_drawn && m_symbol == m_drawnSymbol && side == m_drawnSide)
            return;
        m_drawn = colour;
        m_drawnSymbol = m_symbol;
        m_drawnSide = side;
        const QPixmap symbol = tintedSymbol(m_symbol, side, colour, m_widget.devicePixelRatioF());
        if (button)
            button->setIcon(QIcon(symbol));
        else
            static_cast<QLabel &>(m_widget).setPixmap(symbol);
    }

    QWidget &m_widget;
    Symbol m_symbol = Symbol::Checkmark;
    int m_side = 0;
    QColor m_drawn;
    Symbol m_drawnSymbol = Symbol::Checkmark;
    int m_drawnSide = -1;
};

void drawInTextColour(QWidget &widget, Symbol symbol, int side)
{
    if (SymbolInTextColour *drawer = SymbolInTextColour::of(widget))
        drawer->set(symbol, side);
    else
        (void)new SymbolInTextColour(widget, symbol, side);
    note(widget, symbol);
}

} // namespace

void showSymbol(QLabel &label, Symbol symbol, int side, const ForegroundRule &rule)
{
    DerivedForeground::apply(label, rule);
    drawInTextColour(label, symbol, side);
}

void showSymbol(QAbstractButton &button, Symbol symbol, const ForegroundRule &rule)
{
    DerivedForeground::apply(button, rule);
    drawInTextColour(button, symbol, 0);
}

void showSymbol(QLabel &label, Symbol symbol, int side, const QColor &color)
{
    showSymbol(label, symbol, side, readableTint(color, markContrast));
}

void showSymbol(QAbstractButton &button, Symbol symbol)
{
    // A symbol drawn in a text colour before stops following it.
    delete SymbolInTextColour::of(button);
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

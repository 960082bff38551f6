#include "design/ShownSymbol.h"

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

// Draws a label's symbol again in its text colour after each palette change.
class SymbolInTextColour : public QObject
{
public:
    static inline const QString name = QStringLiteral("symbolInTextColour");

    SymbolInTextColour(QLabel &label, Symbol symbol, int side) : QObject(&label), m_label(label)
    {
        setObjectName(name);
        set(symbol, side);
        label.installEventFilter(this);
    }
    void set(Symbol symbol, int side)
    {
        m_symbol = symbol;
        m_side = side;
        draw();
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == &m_label && event->type() == QEvent::PaletteChange)
            draw();
        return QObject::eventFilter(watched, event);
    }

private:
    void draw()
    {
        const QColor colour = m_label.palette().color(QPalette::WindowText);
        if (colour == m_drawn && m_symbol == m_drawnSymbol && m_side == m_drawnSide)
            return;
        m_drawn = colour;
        m_drawnSymbol = m_symbol;
        m_drawnSide = m_side;
        m_label.setPixmap(tintedSymbol(m_symbol, m_side, colour, m_label.devicePixelRatioF()));
    }

    QLabel &m_label;
    Symbol m_symbol = Symbol::Checkmark;
    int m_side = 0;
    QColor m_drawn;
    Symbol m_drawnSymbol = Symbol::Checkmark;
    int m_drawnSide = -1;
};

} // namespace

void showSymbol(QLabel &label, Symbol symbol, int side, const ForegroundRule &rule)
{
    DerivedForeground::apply(label, rule);
    // Found by name: the type has no meta-object of its own to cast by.
    if (auto *drawer = label.findChild<QObject *>(SymbolInTextColour::name, Qt::FindDirectChildrenOnly))
        static_cast<SymbolInTextColour *>(drawer)->set(symbol, side);
    else
        (void)new SymbolInTextColour(label, symbol, side);
    note(label, symbol);
}

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

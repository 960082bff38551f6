#pragma once

#include "design/Symbol.h"

#include <QColor>
#include <QIconEngine>
#include <optional>

class QPainter;

namespace tw {

// Draws a symbol as vector strokes at any size: the stand-in for a symbol the
// icon theme lacks. It paints in the grey of secondary text on the
// application's palette of the moment (dimmed when disabled), so it reads in
// either appearance; badges tint it. Given a design colour, it paints the
// theme's symbol or its own in the shade of that colour that reads on the
// palette of the moment.
class SymbolIconEngine : public QIconEngine
{
public:
    explicit SymbolIconEngine(Symbol symbol, std::optional<QColor> tint = std::nullopt);

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override;
    QIconEngine *clone() const override;
    // The theme name the symbol stands in for, so whoever is told the icon's
    // name (a tray host) hears the same name with or without the theme.
    QString iconName() override;

    // The colour an untinted symbol of that mode is drawn in now.
    static QColor ink(QIcon::Mode mode);

private:
    void drawShape(QPainter &painter, const QRect &rect) const;
    void drawDrive(QPainter &painter) const;
    void drawFolder(QPainter &painter) const;
    void drawShield(QPainter &painter) const;
    void drawTrayArrowDown(QPainter &painter) const;
    void drawExclamationTriangle(QPainter &painter) const;

    Symbol m_symbol;
    std::optional<QColor> m_tint;
};

} // namespace tw

#pragma once

#include "design/Symbol.h"

#include <QIconEngine>

class QPainter;

namespace tw {

// Draws a symbol as vector strokes at any size: the stand-in for a symbol the
// icon theme lacks. It paints in one neutral grey; badges tint it.
class SymbolIconEngine : public QIconEngine
{
public:
    explicit SymbolIconEngine(Symbol symbol);

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override;
    QIconEngine *clone() const override;
    // The theme name the symbol stands in for, so whoever is told the icon's
    // name (a tray host) hears the same name with or without the theme.
    QString iconName() override;

private:
    void drawDrive(QPainter &painter) const;
    void drawFolder(QPainter &painter) const;
    void drawShield(QPainter &painter) const;
    void drawTrayArrowDown(QPainter &painter) const;
    void drawExclamationTriangle(QPainter &painter) const;

    Symbol m_symbol;
};

} // namespace tw

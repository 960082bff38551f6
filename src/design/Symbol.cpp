#include "design/Symbol.h"

#include "design/PanelSymbols.h"
#include "design/SymbolIconEngine.h"

#include <QPainter>

namespace tw {

QString symbolThemeName(Symbol symbol)
{
    switch (symbol) {
    case Symbol::CircleDashed:
        return QStringLiteral("process-stop-symbolic");
    case Symbol::Checkmark:
        return QStringLiteral("object-select-symbolic");
    case Symbol::PauseFill:
        return QStringLiteral("media-playback-pause-symbolic");
    case Symbol::DriveOffline:
        // No common theme marks a drive as unavailable, and Qt would settle
        // for a plain drive by dropping name parts: this one is always drawn.
        return {};
    case Symbol::Exclamationmark:
        return QStringLiteral("dialog-error-symbolic");
    case Symbol::Drive:
        return QStringLiteral("drive-harddisk");
    case Symbol::Folder:
        return QStringLiteral("folder");
    case Symbol::PauseCircleFill:
        return QStringLiteral("media-playback-pause-symbolic");
    case Symbol::PlayFill:
        return QStringLiteral("media-playback-start-symbolic");
    case Symbol::ChevronRight:
        return QStringLiteral("go-next-symbolic");
    case Symbol::TrayArrowDown:
        // Themes have no tray with an arrow; an inbox or a download would
        // say something else.
        return {};
    case Symbol::ExclamationTriangle:
        return QStringLiteral("dialog-warning-symbolic");
    default:
        return panelSymbolThemeName(symbol);
    }
    return {};
}

QIcon symbolIcon(Symbol symbol)
{
    QIcon drawn(new SymbolIconEngine(symbol));
    const QString name = symbolThemeName(symbol);
    return name.isEmpty() ? drawn : QIcon::fromTheme(name, drawn);
}

QIcon symbolIcon(Symbol symbol, const QColor &tint)
{
    return QIcon(new SymbolIconEngine(symbol, tint));
}

QPixmap tintedSymbol(Symbol symbol, int side, const QColor &color, qreal devicePixelRatio)
{
    QPixmap pixmap = symbolIcon(symbol).pixmap(QSize(side, side), devicePixelRatio);
    QPainter painter(&pixmap);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(QRectF(QPointF(0, 0), pixmap.deviceIndependentSize()), color);
    return pixmap;
}

void drawSymbol(QPainter &painter, Symbol symbol, const QRectF &area, int side, const QColor &color)
{
    if (side <= 0)
        return;
    QRectF target(0, 0, side, side);
    target.moveCenter(area.center());
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    painter.drawPixmap(target.topLeft(), tintedSymbol(symbol, side, color, ratio));
}

} // namespace tw

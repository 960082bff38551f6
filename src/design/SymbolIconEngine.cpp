#include "design/SymbolIconEngine.h"

#include "design/ContrastRatio.h"
#include "design/DerivedForeground.h"
#include "design/PanelSymbols.h"
#include "design/TextStyle.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>

namespace tw {

namespace {

constexpr qreal grid = kSymbolGrid;

QColor shapeInk()
{
    return symbolInk();
}

QPen strokePen(const QPainter &painter, qreal width, Qt::PenStyle style = Qt::SolidLine)
{
    return symbolStroke(painter, width, style);
}

} // namespace

SymbolIconEngine::SymbolIconEngine(Symbol symbol, std::optional<QColor> tint)
    : m_symbol(symbol), m_tint(std::move(tint))
{
}

QColor SymbolIconEngine::ink(QIcon::Mode mode)
{
    const QPalette palette = QGuiApplication::palette();
    switch (mode) {
    case QIcon::Disabled:
        return palette.color(QPalette::Disabled, QPalette::WindowText);
    case QIcon::Selected:
        return palette.color(QPalette::HighlightedText);
    case QIcon::Normal:
    case QIcon::Active:
        break;
    }
    // The secondary text's grey, made opaque on the window: strokes that
    // cross do not darken.
    const QColor window = palette.color(QPalette::Window);
    const QColor text = palette.color(QPalette::WindowText);
    const auto mix = [](float over, float under) { return over * float(secondaryStrength) + under * float(1 - secondaryStrength); };
    return QColor::fromRgbF(mix(text.redF(), window.redF()), mix(text.greenF(), window.greenF()),
                            mix(text.blueF(), window.blueF()));
}

// The base class paints onto an uninitialised pixmap; a symbol needs a
// transparent one. The shape is drawn first, then coloured pixel by pixel
// for the mode in the palette shown now: a painter's fill of a large image
// would wait for the global thread pool, which may be busy with slow work.
QPixmap SymbolIconEngine::pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state)
{
    QImage canvas(size, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    const QString themed = m_tint ? symbolThemeName(m_symbol) : QString();
    if (!themed.isEmpty() && QIcon::hasThemeIcon(themed))
        painter.drawPixmap(0, 0, QIcon::fromTheme(themed).pixmap(size, 1.0, QIcon::Normal, state));
    else
        drawShape(painter, QRect(QPoint(0, 0), size));
    painter.end();
    const bool tinted = m_tint && (mode == QIcon::Normal || mode == QIcon::Active);
    const QColor colour = tinted ? readableOn(*m_tint, QGuiApplication::palette(), markContrast) : ink(mode);
    for (int y = 0; y < canvas.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(canvas.scanLine(y));
        for (int x = 0; x < canvas.width(); ++x) {
            const int alpha = qAlpha(line[x]) * colour.alpha() / 255;
            line[x] = qRgba(colour.red() * alpha / 255, colour.green() * alpha / 255, colour.blue() * alpha / 255, alpha);
        }
    }
    return QPixmap::fromImage(std::move(canvas));
}

void SymbolIconEngine::paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state)
{
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    QPixmap drawn = pixmap((QSizeF(rect.size()) * ratio).toSize(), mode, state);
    drawn.setDevicePixelRatio(ratio);
    painter->drawPixmap(rect.topLeft(), drawn);
}

QIconEngine *SymbolIconEngine::clone() const
{
    return new SymbolIconEngine(m_symbol, m_tint);
}

QString SymbolIconEngine::iconName()
{
    return symbolThemeName(m_symbol);
}

void SymbolIconEngine::drawShape(QPainter &target, const QRect &rect) const
{
    QPainter *painter = &target;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->translate(rect.topLeft());
    painter->scale(rect.width() / grid, rect.height() / grid);
    painter->setBrush(Qt::NoBrush);
    switch (m_symbol) {
    case Symbol::CircleDashed: {
        QPen pen = strokePen(*painter, 2.2, Qt::CustomDashLine);
        pen.setDashPattern({1.6, 1.8});
        pen.setCapStyle(Qt::FlatCap);
        painter->setPen(pen);
        painter->drawEllipse(QRectF(3, 3, 18, 18));
        break;
    }
    case Symbol::Checkmark:
        painter->setPen(strokePen(*painter, 3));
        painter->drawPolyline(QPolygonF({QPointF(4, 12.5), QPointF(9.5, 18), QPointF(20, 6)}));
        break;
    case Symbol::PauseFill:
        painter->setPen(Qt::NoPen);
        painter->setBrush(shapeInk());
        painter->drawRoundedRect(QRectF(5, 3, 5, 18), 1.2, 1.2);
        painter->drawRoundedRect(QRectF(14, 3, 5, 18), 1.2, 1.2);
        break;
    case Symbol::DriveOffline:
        drawDrive(*painter);
        painter->setPen(strokePen(*painter, 2));
        painter->drawLine(QPointF(15, 2), QPointF(21, 8));
        painter->drawLine(QPointF(21, 2), QPointF(15, 8));
        break;
    case Symbol::Exclamationmark:
        painter->setPen(strokePen(*painter, 3.2));
        painter->drawLine(QPointF(12, 3.5), QPointF(12, 14.5));
        painter->setPen(Qt::NoPen);
        painter->setBrush(shapeInk());
        painter->drawEllipse(QPointF(12, 20), 1.9, 1.9);
        break;
    case Symbol::Drive:
        drawDrive(*painter);
        break;
    case Symbol::Folder:
        drawFolder(*painter);
        break;
    case Symbol::PauseCircleFill:
        painter->setPen(strokePen(*painter, 2));
        painter->drawEllipse(QRectF(2.5, 2.5, 19, 19));
        painter->setPen(Qt::NoPen);
        painter->setBrush(shapeInk());
        painter->drawRoundedRect(QRectF(8.5, 7.5, 2.5, 9), 0.8, 0.8);
        painter->drawRoundedRect(QRectF(13, 7.5, 2.5, 9), 0.8, 0.8);
        break;
    case Symbol::PlayFill:
        painter->setPen(Qt::NoPen);
        painter->setBrush(shapeInk());
        painter->drawPolygon(QPolygonF({QPointF(6, 3.5), QPointF(20, 12), QPointF(6, 20.5)}));
        break;
    case Symbol::ChevronRight:
        painter->setPen(strokePen(*painter, 2.6));
        painter->drawPolyline(QPolygonF({QPointF(9, 5), QPointF(16, 12), QPointF(9, 19)}));
        break;
    case Symbol::TrayArrowDown:
        drawTrayArrowDown(*painter);
        break;
    case Symbol::ExclamationTriangle:
        drawExclamationTriangle(*painter);
        break;
    default:
        drawPanelSymbol(*painter, m_symbol);
        break;
    }
    painter->restore();
}

void SymbolIconEngine::drawDrive(QPainter &painter) const
{
    painter.setPen(strokePen(painter, 1.8));
    painter.drawRoundedRect(QRectF(2, 10, 20, 9), 2.5, 2.5);
    painter.setPen(Qt::NoPen);
    painter.setBrush(shapeInk());
    painter.drawEllipse(QPointF(17.5, 14.5), 1.2, 1.2);
    painter.setBrush(Qt::NoBrush);
}

void SymbolIconEngine::drawTrayArrowDown(QPainter &painter) const
{
    QPainterPath tray;
    tray.moveTo(2, 13);
    tray.lineTo(7.5, 13);
    tray.lineTo(9, 16);
    tray.lineTo(15, 16);
    tray.lineTo(16.5, 13);
    tray.lineTo(22, 13);
    tray.lineTo(22, 21);
    tray.lineTo(2, 21);
    tray.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(shapeInk());
    painter.drawPath(tray);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(strokePen(painter, 2.2));
    painter.drawLine(QPointF(12, 2.5), QPointF(12, 11));
    painter.drawPolyline(QPolygonF({QPointF(8, 7.5), QPointF(12, 11.5), QPointF(16, 7.5)}));
}

void SymbolIconEngine::drawExclamationTriangle(QPainter &painter) const
{
    QPainterPath triangle;
    triangle.moveTo(12, 2.5);
    triangle.lineTo(22.5, 21);
    triangle.lineTo(1.5, 21);
    triangle.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(shapeInk());
    painter.drawPath(triangle);
    // The mark is cut out of the filled triangle.
    painter.setCompositionMode(QPainter::CompositionMode_Clear);
    painter.setPen(strokePen(painter, 2.4));
    painter.drawLine(QPointF(12, 9), QPointF(12, 14.5));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPointF(12, 18), 1.4, 1.4);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setBrush(Qt::NoBrush);
}

void SymbolIconEngine::drawFolder(QPainter &painter) const
{
    QPainterPath path;
    path.moveTo(2, 6);
    path.lineTo(9, 6);
    path.lineTo(11, 8);
    path.lineTo(22, 8);
    path.lineTo(22, 20);
    path.lineTo(2, 20);
    path.closeSubpath();
    painter.setPen(strokePen(painter, 1.8));
    painter.drawPath(path);
}

} // namespace tw

#include "design/PanelSymbols.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace tw {
namespace {

using P = QPointF;

void stroke(QPainter &painter, qreal width = 1.8)
{
    painter.setPen(symbolStroke(painter, width));
    painter.setBrush(Qt::NoBrush);
}

void fill(QPainter &painter)
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(symbolInk());
}

// Later strokes cut through what is drawn: the marks of filled symbols.
void cut(QPainter &painter, qreal width = 2.4)
{
    painter.setCompositionMode(QPainter::CompositionMode_Clear);
    stroke(painter, width);
}

void polyline(QPainter &painter, std::initializer_list<P> points)
{
    painter.drawPolyline(QPolygonF(QList<P>(points)));
}

void closedPath(QPainter &painter, std::initializer_list<P> points)
{
    painter.drawPolygon(QPolygonF(QList<P>(points)));
}

void checkmark(QPainter &painter, qreal scale, P at)
{
    polyline(painter, {at + P(-4, 0) * scale, at + P(-1, 3) * scale, at + P(4.5, -3.5) * scale});
}

void plus(QPainter &painter, P at, qreal half)
{
    painter.drawLine(at - P(half, 0), at + P(half, 0));
    painter.drawLine(at - P(0, half), at + P(0, half));
}

void arrowHead(QPainter &painter, P tip, P back1, P back2)
{
    polyline(painter, {back1, tip, back2});
}

void doc(QPainter &painter, const QRectF &page)
{
    const qreal fold = page.width() * 0.33;
    closedPath(painter, {page.topLeft(), P(page.right() - fold, page.top()), P(page.right(), page.top() + fold),
                         page.bottomRight(), page.bottomLeft()});
}

void drive(QPainter &painter)
{
    stroke(painter);
    painter.drawRoundedRect(QRectF(2, 10, 20, 9), 2.5, 2.5);
    fill(painter);
    painter.drawEllipse(P(17.5, 14.5), 1.2, 1.2);
}

void folder(QPainter &painter)
{
    stroke(painter);
    closedPath(painter, {P(2, 6), P(9, 6), P(11, 8), P(22, 8), P(22, 20), P(2, 20)});
}

void stack(QPainter &painter)
{
    stroke(painter);
    painter.drawRoundedRect(QRectF(3, 10, 18, 11), 2, 2);
    painter.drawLine(P(5, 7), P(19, 7));
    painter.drawLine(P(7, 4), P(17, 4));
}

void person(QPainter &painter, P head, qreal size)
{
    painter.drawEllipse(head, size, size);
    painter.drawArc(QRectF(head.x() - size * 2, head.y() + size * 1.6, size * 4, size * 4), 0, 180 * 16);
}

void numbered(QPainter &painter, const QString &digit)
{
    stroke(painter);
    painter.drawEllipse(P(12, 12), 9.5, 9.5);
    QFont font = painter.font();
    font.setPixelSize(12);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(QRectF(0, 0, 24, 24), Qt::AlignCenter, digit);
}

void circlePath(QPainter &painter, int startDegrees, int spanDegrees)
{
    stroke(painter, 2);
    painter.drawArc(QRectF(4, 4, 16, 16), startDegrees * 16, spanDegrees * 16);
}

void drawDocuments(QPainter &painter, Symbol symbol)
{
    stroke(painter);
    switch (symbol) {
    case Symbol::Doc:
        doc(painter, QRectF(5, 2.5, 14, 19));
        break;
    case Symbol::DocOnDoc:
        painter.drawRoundedRect(QRectF(4, 7, 11, 14), 2, 2);
        painter.drawRoundedRect(QRectF(9, 3, 11, 14), 2, 2);
        break;
    case Symbol::DocOnClipboard:
        painter.drawRoundedRect(QRectF(5, 4, 14, 18), 2, 2);
        painter.drawRoundedRect(QRectF(9, 2, 6, 4), 1, 1);
        break;
    case Symbol::DocTextMagnifyingglass:
        doc(painter, QRectF(4, 2.5, 13, 18));
        painter.drawEllipse(P(15, 15), 3.5, 3.5);
        painter.drawLine(P(17.5, 17.5), P(21, 21));
        break;
    case Symbol::FilmStack:
        painter.drawRoundedRect(QRectF(3, 8, 18, 13), 2, 2);
        painter.drawLine(P(5, 5), P(19, 5));
        painter.drawLine(P(7, 11), P(7, 18));
        painter.drawLine(P(17, 11), P(17, 18));
        break;
    case Symbol::Tray:
        closedPath(painter, {P(3, 13), P(5.5, 5), P(18.5, 5), P(21, 13), P(21, 20), P(3, 20)});
        polyline(painter, {P(3, 13), P(8, 13), P(9.5, 16), P(14.5, 16), P(16, 13), P(21, 13)});
        break;
    case Symbol::Trash:
        painter.drawLine(P(4, 6), P(20, 6));
        painter.drawLine(P(10, 3.5), P(14, 3.5));
        polyline(painter, {P(6.5, 6), P(7.5, 21), P(16.5, 21), P(17.5, 6)});
        break;
    case Symbol::RectangleStack:
        stack(painter);
        break;
    case Symbol::RectangleStackBadgePlus:
        stack(painter);
        plus(painter, P(12, 15.5), 3);
        break;
    case Symbol::FolderBadgePlus:
        folder(painter);
        plus(painter, P(12, 14), 3);
        break;
    default:
        break;
    }
}

void drawDevices(QPainter &painter, Symbol symbol)
{
    stroke(painter);
    switch (symbol) {
    case Symbol::Desktopcomputer:
        painter.drawRoundedRect(QRectF(3, 4, 18, 12), 1.5, 1.5);
        painter.drawLine(P(12, 16), P(12, 20));
        painter.drawLine(P(8, 20), P(16, 20));
        break;
    case Symbol::Laptopcomputer:
        painter.drawRoundedRect(QRectF(4, 6, 16, 11), 1.5, 1.5);
        painter.drawLine(P(1, 20), P(23, 20));
        break;
    case Symbol::LaptopcomputerAndArrowDown:
        painter.drawRoundedRect(QRectF(5, 11, 14, 8), 1.5, 1.5);
        painter.drawLine(P(2, 21), P(22, 21));
        painter.drawLine(P(12, 2), P(12, 8));
        arrowHead(painter, P(12, 8.5), P(9.5, 6), P(14.5, 6));
        break;
    case Symbol::ExternaldriveBadgeCheckmark:
        drive(painter);
        stroke(painter, 2);
        checkmark(painter, 0.8, P(17, 5));
        break;
    case Symbol::LockShield:
        polyline(painter, {P(12, 2), P(20, 5), P(20, 11), P(12, 22), P(4, 11), P(4, 5), P(12, 2)});
        painter.drawRect(QRectF(9, 11, 6, 5));
        painter.drawArc(QRectF(10, 7.5, 4, 6), 0, 180 * 16);
        break;
    case Symbol::Network:
    case Symbol::Safari:
        painter.drawEllipse(P(12, 12), 9.5, 9.5);
        if (symbol == Symbol::Network) {
            painter.drawEllipse(P(12, 12), 4, 9.5);
            painter.drawLine(P(2.5, 12), P(21.5, 12));
        } else {
            fill(painter);
            closedPath(painter, {P(16, 8), P(13, 13), P(8, 16), P(11, 11)});
        }
        break;
    case Symbol::Speedometer:
        painter.drawArc(QRectF(2.5, 5, 19, 19), 0, 180 * 16);
        painter.drawLine(P(12, 14.5), P(16.5, 9));
        break;
    case Symbol::Stethoscope:
        polyline(painter, {P(6, 3), P(6, 10)});
        painter.drawArc(QRectF(6, 4, 8, 12), 180 * 16, 180 * 16);
        polyline(painter, {P(14, 3), P(14, 10)});
        painter.drawArc(QRectF(10, 10, 8, 10), 180 * 16, 180 * 16);
        painter.drawEllipse(P(18, 13), 2, 2);
        break;
    case Symbol::EnvelopeBadge:
        painter.drawRoundedRect(QRectF(2, 6, 17, 13), 2, 2);
        polyline(painter, {P(2.5, 7), P(10.5, 13), P(18.5, 7)});
        fill(painter);
        painter.drawEllipse(P(19.5, 5.5), 3, 3);
        break;
    default:
        break;
    }
}

void drawPeople(QPainter &painter, Symbol symbol)
{
    stroke(painter);
    switch (symbol) {
    case Symbol::PersonCropCircle:
        painter.drawEllipse(P(12, 12), 9.5, 9.5);
        painter.drawEllipse(P(12, 9.5), 3.2, 3.2);
        painter.drawArc(QRectF(6.5, 14.5, 11, 9), 30 * 16, 120 * 16);
        break;
    case Symbol::HandTap:
        // A raised finger over a palm, and the tap's two short arcs.
        painter.drawRoundedRect(QRectF(9.5, 6, 4, 10), 2, 2);
        painter.drawRoundedRect(QRectF(7, 13, 11, 9), 3, 3);
        painter.drawArc(QRectF(6, 1, 11, 10), 30 * 16, 120 * 16);
        break;
    case Symbol::Person2Slash:
        person(painter, P(8, 8), 2.6);
        person(painter, P(16, 8), 2.6);
        painter.drawLine(P(3, 21), P(21, 3));
        break;
    case Symbol::PersonBadgeMinus:
        person(painter, P(9.5, 8), 3.2);
        painter.drawLine(P(16, 18), P(22, 18));
        break;
    case Symbol::Pencil:
        // Its body slanted up to the right, the tip at the lower left.
        closedPath(painter, {P(3.5, 20.5), P(4.5, 15.5), P(15.5, 4.5), P(19.5, 8.5), P(8.5, 19.5)});
        painter.drawLine(P(13, 7), P(17, 11));
        break;
    case Symbol::SliderHorizontal3:
        for (const qreal y : {6.0, 12.0, 18.0})
            painter.drawLine(P(3, y), P(21, y));
        painter.setBrush(painter.pen().color());
        painter.drawEllipse(P(15, 6), 2.2, 2.2);
        painter.drawEllipse(P(8, 12), 2.2, 2.2);
        painter.drawEllipse(P(13, 18), 2.2, 2.2);
        break;
    case Symbol::ArrowClockwise:
        // Open at the upper right, where the arrow points on round.
        painter.drawArc(QRectF(4, 4, 16, 16), 45 * 16, 315 * 16);
        arrowHead(painter, P(17.7, 6.3), P(13.8, 6), P(17.3, 2.5));
        break;
    case Symbol::Person3:
        person(painter, P(5.5, 9), 2.2);
        person(painter, P(18.5, 9), 2.2);
        person(painter, P(12, 7), 2.8);
        break;
    case Symbol::Gearshape:
        painter.drawEllipse(P(12, 12), 6.5, 6.5);
        painter.drawEllipse(P(12, 12), 2.5, 2.5);
        for (int tooth = 0; tooth < 8; ++tooth) {
            painter.save();
            painter.translate(12, 12);
            painter.rotate(tooth * 45);
            painter.drawLine(P(0, -6.5), P(0, -9.5));
            painter.restore();
        }
        break;
    case Symbol::EyeSlash:
        painter.drawArc(QRectF(2, 6, 20, 16), 30 * 16, 120 * 16);
        painter.drawArc(QRectF(2, 2, 20, 16), 210 * 16, 120 * 16);
        painter.drawEllipse(P(12, 12), 2.5, 2.5);
        painter.drawLine(P(4, 20), P(20, 4));
        break;
    case Symbol::EyeSlashFill: {
        // The eye filled, its pupil and the slash cut out of it.
        QPainterPath eye;
        eye.moveTo(P(2, 12));
        eye.quadTo(P(12, 2), P(22, 12));
        eye.quadTo(P(12, 22), P(2, 12));
        painter.fillPath(eye, painter.pen().color());
        painter.save();
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
        painter.setBrush(Qt::black);
        painter.drawEllipse(P(12, 12), 2.8, 2.8);
        painter.setPen(symbolStroke(painter, 3.2));
        painter.drawLine(P(4, 20), P(20, 4));
        painter.restore();
        painter.drawLine(P(4, 20), P(20, 4));
        break;
    }
    case Symbol::House:
        polyline(painter, {P(3, 12), P(12, 3.5), P(21, 12)});
        polyline(painter, {P(6, 10), P(6, 20.5), P(18, 20.5), P(18, 10)});
        break;
    case Symbol::Link:
        painter.translate(12, 12);
        painter.rotate(-45);
        painter.drawRoundedRect(QRectF(-10, -3.5, 11, 7), 3.5, 3.5);
        painter.drawRoundedRect(QRectF(-1, -3.5, 11, 7), 3.5, 3.5);
        break;
    case Symbol::SquareAndArrowUp:
        polyline(painter, {P(8, 10), P(5, 10), P(5, 21), P(19, 21), P(19, 10), P(16, 10)});
        painter.drawLine(P(12, 3), P(12, 15));
        arrowHead(painter, P(12, 2.5), P(8.5, 6), P(15.5, 6));
        break;
    default:
        break;
    }
}

void drawMarks(QPainter &painter, Symbol symbol)
{
    switch (symbol) {
    case Symbol::CheckmarkCircleFill:
    case Symbol::MinusCircleFill:
        fill(painter);
        painter.drawEllipse(P(12, 12), 10, 10);
        cut(painter);
        if (symbol == Symbol::CheckmarkCircleFill)
            checkmark(painter, 1, P(12, 12));
        else
            painter.drawLine(P(7, 12), P(17, 12));
        break;
    case Symbol::ExclamationmarkTriangleFill:
        fill(painter);
        closedPath(painter, {P(12, 2), P(22.5, 21), P(1.5, 21)});
        cut(painter);
        painter.drawLine(P(12, 9), P(12, 14));
        painter.drawPoint(P(12, 17.5));
        break;
    case Symbol::PlusCircle:
        stroke(painter);
        painter.drawEllipse(P(12, 12), 9.5, 9.5);
        plus(painter, P(12, 12), 4.5);
        break;
    case Symbol::Plus:
        stroke(painter, 2.4);
        plus(painter, P(12, 12), 8);
        break;
    case Symbol::EllipsisCircle:
        stroke(painter);
        painter.drawEllipse(P(12, 12), 9.5, 9.5);
        for (const qreal x : {7.5, 12.0, 16.5})
            painter.drawEllipse(P(x, 12), 0.6, 0.6);
        break;
    case Symbol::Xmark:
        stroke(painter, 2.6);
        painter.drawLine(P(5, 5), P(19, 19));
        painter.drawLine(P(19, 5), P(5, 19));
        break;
    case Symbol::ChevronLeft:
        stroke(painter, 2.6);
        polyline(painter, {P(15, 4), P(7, 12), P(15, 20)});
        break;
    case Symbol::ArrowTriangle2Circlepath:
        circlePath(painter, 20, 140);
        arrowHead(painter, P(19.5, 9), P(16, 9.5), P(19.5, 5.5));
        circlePath(painter, 200, 140);
        arrowHead(painter, P(4.5, 15), P(8, 14.5), P(4.5, 18.5));
        break;
    case Symbol::ClockArrowCirclepath:
        circlePath(painter, 120, 300);
        arrowHead(painter, P(6, 5.5), P(5.5, 9.5), P(9.5, 8.5));
        painter.drawLine(P(12, 8), P(12, 12));
        painter.drawLine(P(12, 12), P(15, 14));
        break;
    case Symbol::Number1Circle:
        numbered(painter, QStringLiteral("1"));
        break;
    case Symbol::Number2Circle:
        numbered(painter, QStringLiteral("2"));
        break;
    case Symbol::Number3Circle:
        numbered(painter, QStringLiteral("3"));
        break;
    default:
        break;
    }
}

} // namespace

QPen symbolStroke(const QPainter &painter, qreal width, Qt::PenStyle style)
{
    const QTransform toDevice = painter.deviceTransform();
    const qreal scale = std::hypot(toDevice.m11(), toDevice.m12());
    const qreal least = scale > 0 ? 1.4 / scale : width;
    return QPen(symbolInk(), std::max(width, least), style, Qt::RoundCap, Qt::RoundJoin);
}

QString panelSymbolThemeName(Symbol symbol)
{
    switch (symbol) {
    case Symbol::ArrowTriangle2Circlepath:
        return QStringLiteral("emblem-synchronizing-symbolic");
    case Symbol::CheckmarkCircleFill:
        return QStringLiteral("emblem-ok-symbolic");
    case Symbol::ChevronLeft:
        return QStringLiteral("go-previous-symbolic");
    case Symbol::ClockArrowCirclepath:
        return QStringLiteral("document-open-recent-symbolic");
    case Symbol::Desktopcomputer:
        return QStringLiteral("computer-symbolic");
    case Symbol::Laptopcomputer:
        return QStringLiteral("computer-laptop-symbolic");
    case Symbol::Doc:
        return QStringLiteral("text-x-generic-symbolic");
    case Symbol::DocOnClipboard:
        return QStringLiteral("edit-paste-symbolic");
    case Symbol::DocOnDoc:
        return QStringLiteral("edit-copy-symbolic");
    case Symbol::DocTextMagnifyingglass:
        return QStringLiteral("edit-find-symbolic");
    case Symbol::EnvelopeBadge:
        return QStringLiteral("mail-unread-symbolic");
    case Symbol::ExclamationmarkTriangleFill:
        return QStringLiteral("dialog-warning-symbolic");
    case Symbol::EyeSlash:
        return QStringLiteral("view-conceal-symbolic");
    case Symbol::FilmStack:
        return QStringLiteral("video-x-generic-symbolic");
    case Symbol::FolderBadgePlus:
        return QStringLiteral("folder-new-symbolic");
    case Symbol::Gearshape:
        return QStringLiteral("emblem-system-symbolic");
    case Symbol::House:
        return QStringLiteral("go-home-symbolic");
    case Symbol::Link:
        return QStringLiteral("insert-link-symbolic");
    case Symbol::LockShield:
        return QStringLiteral("security-high-symbolic");
    case Symbol::MinusCircleFill:
        return QStringLiteral("list-remove-symbolic");
    case Symbol::Network:
        return QStringLiteral("network-workgroup-symbolic");
    case Symbol::Person3:
        return QStringLiteral("system-users-symbolic");
    case Symbol::PersonCropCircle:
        return QStringLiteral("avatar-default-symbolic");
    case Symbol::PlusCircle:
        return QStringLiteral("list-add-symbolic");
    case Symbol::EllipsisCircle:
        return QStringLiteral("view-more-horizontal-symbolic");
    case Symbol::Plus:
        return QStringLiteral("list-add-symbolic");
    case Symbol::Pencil:
        return QStringLiteral("document-edit-symbolic");
    case Symbol::ArrowClockwise:
        return QStringLiteral("view-refresh-symbolic");
    case Symbol::Safari:
        return QStringLiteral("web-browser-symbolic");
    case Symbol::SquareAndArrowUp:
        return QStringLiteral("emblem-shared-symbolic");
    case Symbol::Trash:
        return QStringLiteral("user-trash-symbolic");
    case Symbol::Xmark:
        return QStringLiteral("window-close-symbolic");
    default:
        // No common theme has them (a drive with a check, a numbered
        // circle, a stethoscope…): always drawn.
        return {};
    }
}

void drawPanelSymbol(QPainter &painter, Symbol symbol)
{
    painter.save();
    drawDocuments(painter, symbol);
    drawDevices(painter, symbol);
    drawPeople(painter, symbol);
    drawMarks(painter, symbol);
    painter.restore();
}

} // namespace tw

#pragma once

#include "WaitUntil.h"

#include "design/MoveFadeTransition.h"

#include <cstdlib>

#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QImage>
#include <QRect>
#include <QString>
#include <QWidget>

namespace tw {

// Layouts follow changed texts and shown widgets only when their posted
// requests are seen; each pass settles one more level of nested layouts (a
// group expanded inside a scrolled form needs two), so before a widget is
// scrolled into view too.
inline void settleLayouts()
{
    for (int pass = 0; pass < 3; ++pass)
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
}

// Grabs the widget and keeps the picture as "<name>.png" under the build
// tree's screenshots/ folder, for a person to look at; answers the grab, so
// the test that saves it asserts something of it. A banner on its way in or
// out is waited for: the picture shows where it comes to rest, and there is
// none if it never does. View tests only.
inline QImage saveShot(QWidget &widget, const QString &name)
{
    if (!waitUntil([] { return !MoveFadeTransition::anyRunning(); }))
        return {};
    settleLayouts();
    const QImage image = widget.grab().toImage();
    const QDir folder(QStringLiteral(TIDEWELL_SCREENSHOT_DIR));
    folder.mkpath(QStringLiteral("."));
    image.save(folder.filePath(name + QStringLiteral(".png")));
    return image;
}

// Where `part` (or the rectangle `within` it) lies in a grab of `grabbed`,
// in the grab's pixels.
inline QRect shotArea(const QImage &shot, const QWidget &grabbed, const QWidget &part, QRect within = {})
{
    if (within.isNull())
        within = part.rect();
    const QRect area(part.mapTo(&grabbed, within.topLeft()), within.size());
    const qreal scale = shot.devicePixelRatio();
    return QRect((area.topLeft().toPointF() * scale).toPoint(), (QSizeF(area.size()) * scale).toSize());
}

// Whether some pixel of the area is within `tolerance` of the colour on each
// channel, or a strong pixel of its hue: antialiased text reaches its full
// colour only inside its strokes, and a design colour is drawn in the shade
// of it that reads on its ground.
inline bool shotShowsColour(const QImage &shot, const QRect &area, const QColor &colour, int tolerance = 40)
{
    const QColor hue = colour.toHsl();
    const QRect inside = area.intersected(shot.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x) {
            const QColor seen = shot.pixelColor(x, y);
            if (std::abs(seen.red() - colour.red()) <= tolerance &&
                std::abs(seen.green() - colour.green()) <= tolerance &&
                std::abs(seen.blue() - colour.blue()) <= tolerance)
                return true;
            const QColor shade = seen.toHsl();
            const float apart = std::abs(shade.hslHueF() - hue.hslHueF());
            if (shade.hslSaturationF() >= 0.6f * hue.hslSaturationF() && hue.hslSaturationF() > 0.2f
                && std::min(apart, 1 - apart) <= 0.02f)
                return true;
        }
    return false;
}

} // namespace tw

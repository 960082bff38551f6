#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QImage>
#include <QString>
#include <QWidget>

namespace tw {

// Grabs the widget and keeps the picture as "<name>.png" under the build
// tree's screenshots/ folder, for a person to look at; answers the grab, so
// the test that saves it asserts something of it. View tests only.
inline QImage saveShot(QWidget &widget, const QString &name)
{
    // Layouts follow changed texts only when their posted requests are seen.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    const QImage image = widget.grab().toImage();
    const QDir folder(QStringLiteral(TIDEWELL_SCREENSHOT_DIR));
    folder.mkpath(QStringLiteral("."));
    image.save(folder.filePath(name + QStringLiteral(".png")));
    return image;
}

} // namespace tw

#include "views/shell/WidgetAppearance.h"

#include "design/ContrastRatio.h"
#include "views/shell/ReadableStyle.h"

#include <QApplication>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

namespace tw {

namespace {

struct DesktopLook
{
    QString styleName;
    QPalette palette;
};

// What the desktop gave before any setting was applied, to go back to.
const DesktopLook &desktopLook()
{
    static const DesktopLook look{QApplication::style()->name(), QApplication::palette()};
    return look;
}

QPalette darkPalette()
{
    QPalette palette;
    const QColor window(45, 45, 48), base(30, 30, 32), text(232, 232, 235), disabled(130, 130, 135);
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, window);
    palette.setColor(QPalette::ToolTipBase, window);
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, disabled);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, window);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, Qt::white);
    palette.setColor(QPalette::Highlight, QColor(10, 132, 255));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, QColor(100, 170, 255));
    // The shades frames, sunken lines and scroll bars are drawn in, around
    // the button colour as Qt derives them; the defaults are a light
    // palette's, white lines on the dark window.
    palette.setColor(QPalette::Light, QColor(70, 70, 74));
    palette.setColor(QPalette::Midlight, QColor(58, 58, 62));
    palette.setColor(QPalette::Mid, QColor(36, 36, 38));
    palette.setColor(QPalette::Dark, QColor(24, 24, 26));
    palette.setColor(QPalette::Shadow, QColor(0, 0, 0));
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, disabled);
    return palette;
}

// A field's placeholder: its text colour only as faint as still reads on
// the field. Qt's own, the text at half strength, reads at about 4 : 1.
void readablePlaceholder(QPalette &palette, QPalette::ColorGroup group)
{
    palette.setColor(group, QPalette::PlaceholderText,
                     readableAlpha(palette.color(group, QPalette::Text), 0.5, {palette.color(group, QPalette::Base)},
                                   textContrast));
}

// The palette with its selection dark enough (or light enough) for the
// selected text on it to read: Fusion's and the dark palette's blues carry
// white text at under 4 : 1.
QPalette readable(QPalette palette)
{
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Highlight,
                         readableShade(palette.color(group, QPalette::Highlight),
                                       palette.color(group, QPalette::HighlightedText), textContrast));
        readablePlaceholder(palette, group);
    }
    return palette;
}

// The readable style over the named one, set only when another is in use:
// setting a style polishes every widget again.
void useReadableStyle(const QString &base)
{
    if (const auto *current = qobject_cast<ReadableStyle *>(QApplication::style());
        current && current->baseStyle()->name().compare(base, Qt::CaseInsensitive) == 0)
        return;
    QApplication::setStyle(new ReadableStyle(QStyleFactory::create(base)));
}

void usePalette(const QPalette &palette)
{
    if (QApplication::palette() != palette)
        QApplication::setPalette(palette);
}

} // namespace

void applyWidgetAppearance(AppPreferences::Appearance appearance)
{
    const DesktopLook &desktop = desktopLook();
    switch (appearance) {
    case AppPreferences::Appearance::System:
        // The desktop's own look, with the same readable marks and texts.
        useReadableStyle(desktop.styleName);
        usePalette(readable(desktop.palette));
        return;
    case AppPreferences::Appearance::Light:
        useReadableStyle(QStringLiteral("Fusion"));
        usePalette(readable(QApplication::style()->standardPalette()));
        return;
    case AppPreferences::Appearance::Dark:
        useReadableStyle(QStringLiteral("Fusion"));
        usePalette(readable(darkPalette()));
        return;
    }
}

} // namespace tw

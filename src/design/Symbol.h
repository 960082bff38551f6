#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

class QPainter;

namespace tw {

// The few pictograms the pages draw. Each comes from the desktop's icon theme
// when the theme has it, and is drawn by hand otherwise, so a bare theme (or
// none, as on a headless machine) still shows every one.
enum class Symbol {
    CircleDashed,
    Checkmark,
    PauseFill,
    DriveOffline,
    Exclamationmark,
    Drive,
    Folder,
    // The folder panels, the joining sheets and the settings window.
    ArrowTriangle2Circlepath,
    CheckmarkCircleFill,
    ChevronLeft,
    ClockArrowCirclepath,
    Desktopcomputer,
    Doc,
    DocOnClipboard,
    DocOnDoc,
    DocTextMagnifyingglass,
    EnvelopeBadge,
    ExclamationmarkTriangleFill,
    ExternaldriveBadgeCheckmark,
    EyeSlash,
    FilmStack,
    FolderBadgePlus,
    Gearshape,
    House,
    LaptopcomputerAndArrowDown,
    Link,
    LockShield,
    MinusCircleFill,
    Network,
    Number1Circle,
    Number2Circle,
    Number3Circle,
    Person3,
    PersonCropCircle,
    PlusCircle,
    RectangleStack,
    RectangleStackBadgePlus,
    Safari,
    Speedometer,
    SquareAndArrowUp,
    Stethoscope,
    Trash,
    Tray,
    Xmark,
    PauseCircleFill,
    PlayFill,
    ChevronRight,
    TrayArrowDown,
    ExclamationTriangle,
    Laptopcomputer,
    EllipsisCircle,
    Plus,
    SliderHorizontal3,
    Person2Slash,
    ArrowClockwise,
    EyeSlashFill,
    HandTap,
    Pencil,
    PersonBadgeMinus,
};

// The icon theme name of a symbol; the only place the names are spelled.
QString symbolThemeName(Symbol symbol);

QIcon symbolIcon(Symbol symbol);
// The symbol in the shade of a design colour that reads on the palette it is
// drawn with (a destructive item's red, an accent).
QIcon symbolIcon(Symbol symbol, const QColor &tint);

// The symbol as a one-colour silhouette, side × side logical pixels.
QPixmap tintedSymbol(Symbol symbol, int side, const QColor &color, qreal devicePixelRatio);

// Draws the tinted symbol, side × side, centred in the area.
void drawSymbol(QPainter &painter, Symbol symbol, const QRectF &area, int side, const QColor &color);

} // namespace tw

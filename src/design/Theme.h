#pragma once

#include "app/SyncHealth.h"
#include "design/Symbol.h"

#include <QColor>
#include <optional>

namespace tw {

// The palette every page shares. Fixed colours are sRGB and opaque; the card
// background follows the desktop's palette so cards read in light and dark.
struct Theme
{
    static QColor accent();
    static QColor cardBackground();
    static QColor synced();
    static QColor syncing();
    static QColor danger();
    static QColor offline();
    // The system's orange, for notes and struck-out names.
    static QColor orange();
    // A mid grey that reads on light and dark grounds alike: symbols shown
    // outside the window, on the desktop's own panel (the tray's).
    static QColor neutral();

    static QColor healthColor(const SyncHealth &health);
    // Syncing has none: it is drawn as a progress arc instead.
    static std::optional<Symbol> healthSymbol(const SyncHealth &health);
    // The tray icon's mark for the health of everything.
    static Symbol traySymbol(const SyncHealth &health);
};

} // namespace tw

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
    // Warnings that are no failure (the system orange).
    static QColor warning();

    static QColor healthColor(const SyncHealth &health);
    // Syncing has none: it is drawn as a progress arc instead.
    static std::optional<Symbol> healthSymbol(const SyncHealth &health);
    // The tray icon's mark for the health of everything.
    static Symbol traySymbol(const SyncHealth &health);
};

} // namespace tw

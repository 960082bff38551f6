#pragma once

#include "app/SyncHealth.h"

#include <QString>

namespace tw {

// A health value as the status page shows it: a short text and its colour as
// a CSS hex value.
struct HealthBadge
{
    QString text = {};
    QString colour = {};

    bool operator==(const HealthBadge &) const = default;
};

// The page is narrow, so the badge's percentage follows "Syncing" without the
// ellipsis and the space of the window's label.
HealthBadge healthBadge(const SyncHealth &health);

} // namespace tw

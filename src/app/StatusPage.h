#pragma once

#include "app/HealthInputs.h"

#include <QString>
#include <functional>
#include <optional>

namespace tw {

// The read-only page a phone on the LAN opens. Names on it come from
// teammates' Macs, so every one of them is escaped before it reaches HTML.

// Seconds left for another Mac to catch up, when the estimator knows.
using DeviceTimeLeft = std::function<std::optional<double>(const QString &deviceID)>;

// "&" first, so that nothing is escaped twice.
QString htmlEscaped(const QString &text);

// The whole page for this Mac; it reloads itself every 5 seconds.
QString dashboardHTML(const HealthInputs &in, const DeviceTimeLeft &timeLeft);

// What the page reads while the environment is gone.
inline const QString noStatusHTML = QStringLiteral("<!doctype html><title>\u2014</title>No status.");

// The page's token is compared in time independent of where the texts differ;
// an empty token never matches, nor does a prefix of the stored one.
bool tokensMatch(const QString &presented, const QString &stored);

} // namespace tw

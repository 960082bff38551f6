#pragma once

#include <QString>
#include <optional>

namespace tw {

// A device ID as the engine writes it (eight groups of seven upper-case
// characters joined by "-", each fourth character a check digit), from the
// forms it also takes: lower case, without dashes or with spaces, "0", "1"
// and "8" typed for "O", "I" and "B", or the older 52 characters without
// check digits. Nothing when the text is no device ID or a check digit is
// wrong. The engine stores every device in this form, so a member recorded in
// another form would never match its own device.
std::optional<QString> normalizedDeviceID(const QString &text);

} // namespace tw

#pragma once

#include <QString>

// The texts of the folder panels, the joining and invitation sheets and the
// settings window, exactly as the user reads them: one constant per text,
// non-ASCII characters written as \u escapes so that no editor or encoding
// can change them ("\u2026" the ellipsis, "\u2014" the em dash, "\u2019" the
// typographic apostrophe, "\u26A0\uFE0F" the warning sign). The typographic
// apostrophe stands only where the text prints it; every other apostrophe
// is ASCII. Each screen adds its own texts here, in a section of its own;
// tests compare against these constants by code point.
namespace tw::texts {

// Shared by every screen.
inline const QString cancel = QStringLiteral("Cancel");
// The running forms of buttons whose operation takes a while.
inline const QString freeing = QStringLiteral("Freeing\u2026");
inline const QString applying = QStringLiteral("Applying\u2026");
inline const QString connecting = QStringLiteral("Connecting\u2026");
// A row's button while its operation runs.
inline const QString rowBusy = QStringLiteral("\u2026");
// What the settings call the always-on node, and what the folder panels do.
inline const QString alwaysOnBackup = QStringLiteral("always-on backup");
inline const QString backup = QStringLiteral("backup");
inline const QString alwaysOnNodeNAS = QStringLiteral("always-on node (NAS)");

} // namespace tw::texts

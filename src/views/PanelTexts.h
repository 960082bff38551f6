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

// The archive panel.
inline const QString archiveHeader = QStringLiteral(
    "Deleted or overwritten files are kept here, in their original folder structure. Restore puts them back.");
inline const QString emptyArchiveButton = QStringLiteral("Empty archive\u2026");
inline const QString archiveIsEmpty = QStringLiteral("Archive is empty.");
inline const QString emptyArchiveTitle = QStringLiteral("Empty this archive?");
inline const QString emptyArchiveMessage = QStringLiteral(
    "Permanently removes all archived (deleted/overwritten) versions in this folder to free up space. Files "
    "currently in the folder are NOT affected. This can\u2019t be undone.");
inline const QString emptyArchiveAction = QStringLiteral("Empty archive");
inline const QString restoreAll = QStringLiteral("Restore all");
inline const QString restoreNewest = QStringLiteral("Restore newest");
inline const QString restore = QStringLiteral("Restore");
// Joined around counts and names by the archive panel.
inline const QString restoreFolderTitleBefore = QStringLiteral("Restore \u201C");
inline const QString restoreFolderTitleAfter = QStringLiteral("\u201D?");
inline const QString restoreFolderMessagePuts = QStringLiteral("Puts all ");
inline const QString restoreFolderMessageFrom = QStringLiteral(" from \u201C");
inline const QString restoreFolderMessageBack = QStringLiteral(
    "\u201D back into the folder, in their original structure. Any current file with the same name is "
    "overwritten.");
inline const QString archivedFile = QStringLiteral(" archived file");
inline const QString restoreCountBefore = QStringLiteral("Restore ");
inline const QString file = QStringLiteral(" file");
inline const QString versions = QStringLiteral(" versions");
// A space, a middle dot and a space.
inline const QString subtitleSeparator = QStringLiteral(" \u00B7 ");

// The folder settings panel.
inline const QString ignoreHiddenFiles = QStringLiteral("Ignore hidden files (.DS_Store, system files)");
inline const QString ignoreHiddenNote = QStringLiteral(
    "Recommended \u2014 skips .DS_Store, Spotlight, .Trashes and other system files so the sync stays clean and "
    "finishes.");
inline const QString archiveDeletedFiles = QStringLiteral("Archive deleted files");
inline const QString archiveNote =
    QStringLiteral("Keeps a copy when a file is deleted or overwritten, so you can restore it later.");
inline const QString keepDeletedFilesFor = QStringLiteral("Keep deleted files for");
inline const QString retentionNote = QStringLiteral(
    "Applies to this Mac and the always-on node (NAS). Older archived copies are removed automatically so the "
    "archive doesn't fill your disk. \u201CForever\u201D never auto-removes.");
inline const QString localArchive = QStringLiteral("Local archive: ");
inline const QString localArchiveEmpty = QStringLiteral("empty");
inline const QString freeUpSpaceNow = QStringLiteral("Free up space now");
// Names what Linux carries: the file manager's tags (user.xdg.tags) and the
// creation date.
inline const QString syncMetadata = QStringLiteral("Sync file manager tags & metadata (Mac \u2194 Mac)");
inline const QString save = QStringLiteral("Save");
inline const QString freeArchiveTitle = QStringLiteral("Delete the local recovery archive for this sync?");
inline const QString freeArchiveMessage = QStringLiteral(
    "Removes THIS Mac's archived copies of deleted/overwritten files (.stversions). Your current synced files are "
    "NOT touched, and other devices are unaffected. This cannot be undone.");
inline const QString freeArchiveAction = QStringLiteral("Delete archive (free up space)");
inline const QString retentionForever = QStringLiteral("Forever");
inline const QString retention90 = QStringLiteral("90 days");
inline const QString retention30 = QStringLiteral("30 days");
inline const QString retention7 = QStringLiteral("7 days");

// The exclusion browser.
inline const QString omitInstruction =
    QStringLiteral("Switch on an item to EXCLUDE it from syncing on this Mac. (Each device sets its own.)");
inline const QString goToRootFolder = QStringLiteral("Go to root folder");
inline const QString omitFolderEmpty = QStringLiteral("This folder is empty (or not indexed yet).");
inline const QString omit = QStringLiteral("Omit");

// The removal from the other Macs.
inline const QString purgeWarning = QStringLiteral(
    "Removes the chosen subfolder from your teammates' Macs to free their space. Your copy on THIS Mac is KEPT "
    "\u2014 but it stops syncing and lives only here from now on. On each teammate's Mac it's moved to the Trash "
    "(recoverable); the NAS only hides it (files stay).");
// Names the settings tab the node is really set up in.
inline const QString purgeNeedsNode = QStringLiteral(
    "Needs an always-on node (NAS) configured \u2014 its key secures the delete command so only your real devices "
    "can trigger it. Set it up under Settings \u2192 Team.");
inline const QString subfolderToRemoveBefore = QStringLiteral("Subfolder to remove (relative to \u201C");
inline const QString subfolderToRemoveAfter = QStringLiteral("\u201D)");
inline const QString subfolderPlaceholder = QStringLiteral("e.g. Backups/Old");
// Two spaces at its end.
inline const QString keptOnThisMac = QStringLiteral("KEPT on this Mac:  ");
// Three spaces after the first full stop.
inline const QString removedFrom = QStringLiteral("Removed from: your teammates' Macs.   NAS: hidden (files kept).");
inline const QString typeToConfirm = QStringLiteral("Type the subfolder path exactly to confirm:");
inline const QString typeThePathAbove = QStringLiteral("type the path above");
inline const QString removeFromOtherMacs = QStringLiteral("Remove from other Macs");
inline const QString removing = QStringLiteral("Removing\u2026");
// The warning sign, its variation selector and one space.
inline const QString warningPrefix = QStringLiteral("\u26A0\uFE0F ");
inline const QString removedOnBefore = QStringLiteral("\u2713 Removed on ");
inline const QString removedOnAfter = QStringLiteral(" Mac(s). Your copy here is untouched.");
inline const QString failedTryAgain = QStringLiteral("Failed (try again): ");
inline const QString offlineRunAgain = QStringLiteral("Offline \u2014 run again when online: ");
inline const QString nasHiddenFilesKept = QStringLiteral("NAS: hidden, files kept.");

} // namespace tw::texts

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
inline const QString save = QStringLiteral("Save");
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
inline const QString freeArchiveTitle = QStringLiteral("Delete the local recovery archive for this sync?");
inline const QString freeArchiveMessage = QStringLiteral(
    "Removes THIS Mac's archived copies of deleted/overwritten files (.stversions). Your current synced files are "
    "NOT touched, and other devices are unaffected. This cannot be undone.");
inline const QString freeArchiveAction = QStringLiteral("Delete archive (free up space)");
inline const QString retentionForever = QStringLiteral("Forever");
inline const QString retention90 = QStringLiteral("90 days");
inline const QString retention30 = QStringLiteral("30 days");
inline const QString retention7 = QStringLiteral("7 days");

// The settings window: its tabs, in order.
inline const QString tabGeneral = QStringLiteral("General");
inline const QString tabNetwork = QStringLiteral("Network");
inline const QString tabIgnores = QStringLiteral("Ignores");
inline const QString tabTeam = QStringLiteral("Team");
inline const QString tabIdentity = QStringLiteral("Identity");
inline const QString tabDiagnostics = QStringLiteral("Diagnostics");

// The General and Identity tabs.
inline const QString deviceNameLabel = QStringLiteral("Device name");
inline const QString sectionThisMac = QStringLiteral("This Mac");
inline const QString sectionStartup = QStringLiteral("Startup");
inline const QString startAtLogin = QStringLiteral("Start at login");
inline const QString showNotifications = QStringLiteral("Show notifications");
inline const QString sectionAppearance = QStringLiteral("Appearance");
inline const QString appearance = QStringLiteral("Appearance");
inline const QString appearanceSystem = QStringLiteral("System");
inline const QString appearanceLight = QStringLiteral("Light");
inline const QString appearanceDark = QStringLiteral("Dark");
inline const QString sectionEngine = QStringLiteral("Engine");
inline const QString backend = QStringLiteral("Backend");
inline const QString status = QStringLiteral("Status");
inline const QString running = QStringLiteral("Running");
inline const QString stopped = QStringLiteral("Stopped");
inline const QString license = QStringLiteral("License");
inline const QString engineLicense = QStringLiteral("Syncthing \u00B7 MPL-2.0");
inline const QString viewSourceAndLicense = QStringLiteral("View source & license");
inline const QString engineSourceAddress = QStringLiteral("https://github.com/syncthing/syncthing");
inline const QString engineNote =
    QStringLiteral("Active: Syncthing (open source, MPL-2.0 \u2014 free, no per-device licensing). Swappable for "
                   "iroh (Vantor) once mature \u2014 the app logic stays the same.");
inline const QString sectionThisDevice = QStringLiteral("This device");
inline const QString deviceID = QStringLiteral("Device ID");
inline const QString noDeviceID = QStringLiteral("\u2014");
inline const QString copyDeviceID = QStringLiteral("Copy Device ID");
inline const QString sectionPairing = QStringLiteral("Pairing");
inline const QString pairingNote =
    QStringLiteral("Share your Device ID with teammates to pair, or add theirs under a sync's members. iCloud-based "
                   "device linking (CloudKit) is the planned convenience layer on top \u2014 the Device ID stays "
                   "the trust anchor.");

// The Team tab.
inline const QString sectionJoining = QStringLiteral("Joining a sync");
inline const QString autoJoinNode = QStringLiteral("Automatically connect to the sync's always-on backup");
inline const QString autoJoinOnCaption =
    QStringLiteral("When you join a sync, its always-on backup (and the other members) are added automatically "
                   "\u2014 no extra clicks. Recommended.");
inline const QString autoJoinOffCaption =
    QStringLiteral("When you join a sync, the always-on backup appears as a one-time \u201Cdevice wants to "
                   "connect\u201D request that you allow yourself.");
inline const QString resetIgnoredInvitationsPrefix = QStringLiteral("Reset ignored invitations (");
inline const QString resetIgnoredInvitationsSuffix = QStringLiteral(")");
inline const QString resetIgnoredCaption =
    QStringLiteral("Folders you ignored aren\u2019t offered again. Reset to see them once more if a teammate "
                   "re-shares.");
inline const QString sectionBackup = QStringLiteral("Always-on backup");
inline const QString nodeName = QStringLiteral("Name");
inline const QString nodeAddress = QStringLiteral("Address");
inline const QString reachable = QStringLiteral("Reachable");
inline const QString notReachable = QStringLiteral("Not reachable");
inline const QString check = QStringLiteral("Check");
inline const QString backupCaption =
    QStringLiteral("This backup is automatically part of every sync, with version history. New teammates you add "
                   "are registered on it for you \u2014 no manual NAS steps.");
inline const QString removeBackup = QStringLiteral("Remove backup");
inline const QString sectionOptionalBackup = QStringLiteral("Always-on backup (optional)");
inline const QString optionalBackupCaption =
    QStringLiteral("Keep a 24/7 copy of everything on a NAS or server, so your team's files stay available even "
                   "when every Mac is off. One person on the team usually sets this up once \u2014 most people "
                   "never need to touch this.");
inline const QString setUpAutomatically = QStringLiteral("Set up automatically\u2026");
inline const QString connectManually = QStringLiteral("Connect manually (advanced)");
inline const QString connectManuallyCaption =
    QStringLiteral("Only needed if automatic setup above didn't work, or someone already set one up and gave you "
                   "its details.");
inline const QString apiKey = QStringLiteral("API key");
inline const QString nodeAddressPlaceholder = QStringLiteral("http://192.168.1.50:8384");
inline const QString apiKeyPlaceholder = QStringLiteral("Printed by the installer, or from the backup's Syncthing page");
inline const QString defaultNodeName = QStringLiteral("Synology NAS");
inline const QString connect = QStringLiteral("Connect");
inline const QString sectionShareChoices = QStringLiteral("Share folder choices with your team");
inline const QString shareChoicesCaption =
    QStringLiteral("Normally, excluding or pausing a Mac for a folder only affects your own Mac. Turn this on to "
                   "make that choice apply to your whole team automatically. One person sets this up once \u2014 "
                   "everyone else just uses the switch below.");
inline const QString clusterSync = QStringLiteral("Apply my folder choices to the whole team");
inline const QString clusterSyncNote = QStringLiteral("This is still being refined and may change.");
inline const QString manageTeamKey = QStringLiteral("Advanced: manage the shared team key");
inline const QString teamKeyName = QStringLiteral("Team key");
inline const QString reveal = QStringLiteral("Reveal");
inline const QString hide = QStringLiteral("Hide");
inline const QString copy = QStringLiteral("Copy");
inline const QString copied = QStringLiteral("Copied \u2713");
// The key as shown while masked: 24 bullets, whatever its length.
inline const QString maskedTeamKey = QString(24, QChar(0x2022));
inline const QString teamKeyCaptionBefore =
    QStringLiteral("Only share this with your own team \u2014 anyone with it can propagate per-folder choices. "
                   "Cluster folder ID: ");
inline const QString teamKeyCaptionAfter =
    QStringLiteral(" \u2014 every Mac with the same key must show the SAME ID here before you trust propagation.");
inline const QString noTeamKeyCaption =
    QStringLiteral("Needed to share folder choices with the whole team \u2014 the SAME key on every Mac. A "
                   "backup's own API key is no longer used for this.");
inline const QString generateTeamKey = QStringLiteral("Generate a new team key");
inline const QString teamKeyPlaceholder = QStringLiteral("Paste a team key from another Mac");
inline const QString use = QStringLiteral("Use");

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

// The incoming page.
inline const QString incoming = QStringLiteral("Incoming");
inline const QString noIncomingRequests = QStringLiteral("No incoming requests");
inline const QString noIncomingNote = QStringLiteral(
    "When a teammate shares a sync with you, its folders show up here so you can choose where each one goes on "
    "this Mac.");
inline const QString foldersSharedWithYou = QStringLiteral("Folders shared with you");
inline const QString devicesWantToConnect = QStringLiteral("Devices that want to connect");
inline const QString folderCountFolder = QStringLiteral(" folder");
inline const QString folderCountPlural = QStringLiteral("s");
inline const QString cardSharedBy = QStringLiteral(" \u00B7 shared by ");
inline const QString soloSharedBy = QStringLiteral("Shared by ");
inline const QString soloMoreBefore = QStringLiteral(" +");
inline const QString soloMoreAfter = QStringLiteral(" more");
inline const QString ignore = QStringLiteral("Ignore");
inline const QString placeEllipsis = QStringLiteral("Place\u2026");
inline const QString accept = QStringLiteral("Accept");
inline const QString couldntAddDevice =
    QStringLiteral("Couldn't add this device to Syncthing \u2014 check the connection and try again.");

// The placing sheet. Joined around the folder part, names and paths.
inline const QString placeFolder = QStringLiteral("Place folder");
inline const QString openQuote = QStringLiteral("\u201C");
inline const QString closeQuote = QStringLiteral("\u201D");
inline const QString fromSync = QStringLiteral("\u201D \u2014 from sync \u201C");
inline const QString syncSharedBy = QStringLiteral("\u201D, shared by ");
inline const QString quoteSharedBy = QStringLiteral("\u201D \u2014 shared by ");
inline const QString whereShouldBefore = QStringLiteral("Where should the folder \u201C");
inline const QString whereShouldAfter = QStringLiteral("\u201D be placed?");
inline const QString noLocationChosen = QStringLiteral("No location chosen");
inline const QString choose = QStringLiteral("Choose\u2026");
inline const QString syncedFolderWillBe = QStringLiteral("The synced folder will be: ");
inline const QString willBeCreatedBefore =
    QStringLiteral("It doesn\u2019t exist here yet \u2014 it will be created and filled with ");
inline const QString willBeCreatedAfter =
    QStringLiteral("\u2019s files. Only this folder syncs; anything next to it stays untouched.");
inline const QString alreadyExistsBefore = QStringLiteral("A \u201C");
inline const QString alreadyExistsMiddle = QStringLiteral("\u201D already exists here \u2014 it will be synced with ");
inline const QString alreadyExistsAfter =
    QStringLiteral("\u2019s. Only this folder syncs; anything next to it stays untouched.");
inline const QString inTheWayBefore = QStringLiteral("A file named \u201C");
inline const QString inTheWayAfter = QStringLiteral("\u201D is in the way \u2014 choose another location.");
inline const QString couldntCreateBefore = QStringLiteral("Couldn't create \u201C");
inline const QString couldntCreateAfter = QStringLiteral("\u201D \u2014 choose another location.");
inline const QString createsSyncBefore = QStringLiteral("Creates the sync \u201C");
inline const QString createsSyncAfter = QStringLiteral("\u201D on this Mac.");
inline const QString addsToSyncBefore = QStringLiteral("Adds to your existing sync \u201C");
inline const QString addsToSyncAfter = QStringLiteral("\u201D.");
inline const QString place = QStringLiteral("Place");

// The invite sheet.
inline const QString inviteAMac = QStringLiteral("Invite a Mac");
inline const QString inviteSubtitleBefore = QStringLiteral("to \u201C");
inline const QString inviteSubtitleAfter = QStringLiteral("\u201D \u2014 no codes to type.");
inline const QString sendYourInvite = QStringLiteral("1 \u00B7 SEND YOUR INVITE");
inline const QString copyInviteLink = QStringLiteral("Copy invite link");
inline const QString shareEllipsis = QStringLiteral("Share\u2026");
inline const QString scanOrOpen =
    QStringLiteral("They scan the code or open the link \u2014 their Mac opens ready to join.");
inline const QString notReadyYet = QStringLiteral("This Mac isn't ready yet \u2014 try again in a moment.");
inline const QString tailscaleBefore = QStringLiteral("Tailscale active (");
inline const QString tailscaleAfter =
    QStringLiteral(") \u2014 this invite also works through locked-down office networks.");
inline const QString orAddSomeone = QStringLiteral("2 \u00B7 OR ADD SOMEONE YOU ALREADY SYNC WITH");
inline const QString oneTapNote = QStringLiteral(
    "One tap shares this sync with them \u2014 it pops up in their app automatically (they tap Allow). No link "
    "needed.");
inline const QString alwaysOnNode = QStringLiteral("ALWAYS-ON NODE");
inline const QString inThisSync = QStringLiteral("In this sync");
inline const QString addToThisSync = QStringLiteral("Add to this sync");
inline const QString nasKeepsCopy =
    QStringLiteral("Your NAS keeps a full copy with version history, online even when all Macs are off.");
inline const QString whenTheyConnect = QStringLiteral(
    "When they connect, you\u2019ll get a one-tap \u201CAllow\u201D to add them to this sync \u2014 then files "
    "start syncing.");
inline const QString pasteTheirInvite = QStringLiteral("Already got their invite? Paste it");
inline const QString pastePlaceholder = QStringLiteral("Paste invite or Device ID");
inline const QString willAdd = QStringLiteral("\u2192 will add ");
inline const QString theirMac = QStringLiteral("their Mac");
inline const QString theyGet = QStringLiteral("They get:");
inline const QString done = QStringLiteral("Done");
inline const QString fullAccess = QStringLiteral("Full access");
inline const QString receiveOnly = QStringLiteral("Receive-only");
inline const QString myMac = QStringLiteral("My Mac");
inline const QString pastedMacName = QStringLiteral("Mac");

// The welcome and join sheets.
inline const QString welcomeTitle = QStringLiteral("Welcome to TidewellMesh");
inline const QString welcomeIntro = QStringLiteral(
    "Keep the same folders in sync across your team\u2019s Macs. No account, no login \u2014 your files never "
    "touch a cloud.");
inline const QString thisMacPrefix = QStringLiteral("This Mac: ");
inline const QString howItWorks = QStringLiteral("HOW IT WORKS");
inline const QString welcomeStep1 = QStringLiteral("Make a sync (e.g. your film)");
inline const QString welcomeStep2 = QStringLiteral("Add the drive or folder to sync");
inline const QString welcomeStep3 = QStringLiteral("Invite your team \u2014 one tap each");
inline const QString maybeLater = QStringLiteral("Maybe later");
inline const QString createFirstSync = QStringLiteral("Create your first sync");
inline const QString joinASync = QStringLiteral("Join a sync?");
inline const QString anotherMac = QStringLiteral("Another Mac");
inline const QString wantsToSync = QStringLiteral("wants to sync with you");
inline const QString afterYouJoin = QStringLiteral(
    "After you join, we\u2019ll ask where to save it on this Mac. Nothing copies until you pick a place.");
inline const QString decline = QStringLiteral("Decline");
inline const QString join = QStringLiteral("Join");

} // namespace tw::texts

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
inline const QString ok = QStringLiteral("OK");
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
// Led by a check mark only when some Mac removed it, else by the warning sign.
inline const QString checkMark = QStringLiteral("\u2713 ");
inline const QString removedOnBefore = QStringLiteral("Removed on ");
inline const QString removedOnAfter = QStringLiteral(" Mac(s). Your copy here is untouched.");
// What this Mac's copy does after a run, one sentence each time.
inline const QString noLongerSyncs = QStringLiteral("It no longer syncs \u2014 new files in it stay on this Mac.");
inline const QString outOfSyncSinceEarlier =
    QStringLiteral("It stays out of syncing since an earlier removal \u2014 new files in it stay on this Mac.");
inline const QString syncsAsBefore = QStringLiteral("It goes on syncing as before.");
// The records no longer hold the line; the sweep's next pass puts the
// folder's lines back without it.
inline const QString stoppedSyncing =
    QStringLiteral("It no longer syncs for now \u2014 it syncs again by itself within a few minutes.");
inline const QString unusableAddress = QStringLiteral("Not asked \u2014 their connection address can\u2019t be used: ");
inline const QString failedTryAgain = QStringLiteral("Failed (try again): ");
inline const QString refusedBy = QStringLiteral("Refused by ");
inline const QString offlineRunAgain = QStringLiteral("Offline \u2014 run again when online: ");
inline const QString nasHiddenFilesKept = QStringLiteral("NAS: hidden, files kept.");
inline const QString nasNotReached =
    QStringLiteral("NAS: not reached \u2014 run again when online to hide it (files kept).");

// The Network tab.
inline const QString sectionConnection = QStringLiteral("Connection (LAN + WAN)");
inline const QString natTraversal = QStringLiteral("UPnP / NAT port mapping");
inline const QString localDiscovery = QStringLiteral("Local discovery (LAN)");
inline const QString globalDiscovery = QStringLiteral("Internet discovery (WAN)");
inline const QString relayFallback = QStringLiteral("Use relay fallback");
inline const QString sectionSpeedLimits = QStringLiteral("Speed limits");
inline const QString speedLimitsCaption =
    QStringLiteral("Caps how fast THIS Mac syncs \u2014 across all syncs and devices together. 0 = no limit (full "
                   "speed). In kilobytes per second (1000 KB/s \u2248 1 MB/s).");
inline const QString maxDownload = QStringLiteral("Max download");
inline const QString receivingFromOthers = QStringLiteral("Receiving from others");
inline const QString maxUpload = QStringLiteral("Max upload");
inline const QString sendingToOthers = QStringLiteral("Sending to others");
inline const QString kbps = QStringLiteral("KB/s");
inline const QString sectionScheduledThrottling = QStringLiteral("Scheduled throttling");
inline const QString throttleDuringHours = QStringLiteral("Throttle during set hours");
inline const QString throttleCaption =
    QStringLiteral("Slow syncing down during work hours so it doesn't choke the office internet \u2014 then full "
                   "speed the rest of the time. 0 = unlimited. Your local network is never throttled.");
inline const QString fromHour = QStringLiteral("From ");
inline const QString toHour = QStringLiteral("To ");
// Weekday buttons, Monday first.
inline const QString weekdayNames[7] = {QStringLiteral("Mon"), QStringLiteral("Tue"), QStringLiteral("Wed"),
                                        QStringLiteral("Thu"), QStringLiteral("Fri"), QStringLiteral("Sat"),
                                        QStringLiteral("Sun")};
inline const QString throttledDownload = QStringLiteral("Throttled download");
inline const QString throttledUpload = QStringLiteral("Throttled upload");
inline const QString scheduleSlowsNothing =
    QStringLiteral("Both limits are 0 (= unlimited) \u2014 this schedule won't slow anything down. Set a download "
                   "and/or upload limit above.");
inline const QString sectionAutoTune = QStringLiteral("Auto-tune (recommended)");
// Names the tool that measures on Linux, and the servers it uses.
inline const QString autoTuneCaption =
    QStringLiteral("Not sure what to enter? Measure your internet with speedtest-cli (it uses the public "
                   "Speedtest.net servers), then apply a limit that leaves 10% headroom so syncing never chokes "
                   "your connection. Your local network always runs at full speed.");
inline const QString testSpeed = QStringLiteral("Test my internet speed");
inline const QString testingSpeed = QStringLiteral("Testing your internet\u2026 (~20\u201330s)");
inline const QString speedTestFailed =
    QStringLiteral("The speed test didn't work. Check that speedtest-cli is installed and this Mac is online, then "
                   "try again.");
inline const QString measured = QStringLiteral("Measured");
// "↓ %1 Mbit/s   ↑ %2 Mbit/s", three spaces before the up arrow.
inline const QString measuredRates = QStringLiteral("\u2193 %1 Mbit/s   \u2191 %2 Mbit/s");
inline const QString suggestedUploadLimit = QStringLiteral("Suggested upload limit: %1 KB/s (90% of your upload).");
inline const QString applySuggestedLimit = QStringLiteral("Apply suggested upload limit (%1 KB/s)");
inline const QString sectionCustomWan = QStringLiteral("Custom fast WAN path (optional)");
inline const QString customRelay = QStringLiteral("Custom relay (relay://host:port)");
inline const QString customDiscovery = QStringLiteral("Custom discovery server (https://\u2026)");
inline const QString customWanCaption =
    QStringLiteral("Empty = public servers. For fast WAN sync, point this at your own dedicated relay.");
inline const QString sectionLocalNetworks = QStringLiteral("Treat these networks as local (advanced)");
inline const QString localNetworksCaption =
    QStringLiteral("If Macs on the same office network sometimes connect slower than expected (via relay instead "
                   "of directly), it's usually because your network uses VLANs/subnets Syncthing doesn't "
                   "recognize as \"local\" automatically. Add the IP ranges here (one per line, e.g. "
                   "10.20.0.0/16) \u2014 this Mac only, set it on each Mac.");
inline const QString apply = QStringLiteral("Apply");
// Beside "Apply" while the engine has never told its settings.
inline const QString networkNotRead =
    QStringLiteral("Network settings couldn't be read yet \u2014 is the engine running? Reopen Settings to try "
                   "again.");

// The Ignores tab.
inline const QString sectionSkipAutomatically = QStringLiteral("Skip these automatically");
inline const QString skipCaption =
    QStringLiteral("Clutter that never needs syncing. Leave these on \u2014 it keeps syncs clean and fast. Nothing "
                   "is ever deleted; matching files are just not synced.");
inline const QString sectionOwnRules = QStringLiteral("Your own rules (optional)");
inline const QString ownRulesHint =
    QStringLiteral("Add names or patterns to skip, e.g. \u201CRenders\u201D or \u201C*.wav\u201D. A bare name "
                   "matches at any depth; \u201C*\u201D is a wildcard.");
inline const QString addPatternPlaceholder = QStringLiteral("Add a pattern\u2026");
inline const QString add = QStringLiteral("Add");
inline const QString applyToAllSyncs = QStringLiteral("Apply to all current syncs now");
// The parenthesis says what the apply replaces (it asks first).
inline const QString applyToAllCaption =
    QStringLiteral("New syncs use these automatically. This button also applies them to your EXISTING syncs (it "
                   "replaces each folder's own hidden-files and \u201CIgnore files\u201D choices; it never "
                   "deletes). Ignores are per-Mac, so this list ships as the default on each Mac.");
inline const QString applyToAllTitle = QStringLiteral("Apply this list to all syncs?");
inline const QString applyToAllMessage =
    QStringLiteral("Every folder on this Mac gets this list, keeping only its protections for subfolders removed "
                   "from the other Macs. Its own choices go: hidden files it skipped and items switched off under "
                   "\u201CIgnore files\u201D sync to this Mac again unless this list skips them. Nothing is "
                   "deleted.");
inline const QString applyToAllAction = QStringLiteral("Apply to all syncs");
inline const QString restoreRecommended = QStringLiteral("Restore recommended defaults");
inline const QString editRawList = QStringLiteral("Advanced \u2014 edit the raw list");
inline const QString saveRawList = QStringLiteral("Save raw list");
inline const QString rawListCaption =
    QStringLiteral("One pattern per line. A line starting with \u201C# \u201D (hash + space) is a comment; "
                   "patterns like #recycle are kept. Power users only \u2014 the toggles above cover the usual "
                   "cases.");

// The Diagnostics tab.
inline const QString backendFound = QStringLiteral("Backend found");
inline const QString engineRunning = QStringLiteral("Engine running");
inline const QString deviceIDPresent = QStringLiteral("Device ID present");
inline const QString sectionFeedback = QStringLiteral("Feedback");
inline const QString feedbackCaption =
    QStringLiteral("Reach Tamsel directly from the app. Type, optionally attach a screenshot, done \u2014 no email "
                   "needed.");
inline const QString sendFeedback = QStringLiteral("Send Feedback\u2026");
// The shell's binding of "Send Feedback…".
inline const QString feedbackShortcut = QStringLiteral("Shortcut: Ctrl+?");
inline const QString feedbackOrigin = QStringLiteral("TidewellMesh \u2013 Settings");
inline const QString sectionVolumes = QStringLiteral("Volumes & filesystems");
inline const QString noSyncedFolders = QStringLiteral("No synced folders yet.");
inline const QString offline = QStringLiteral("Offline");
inline const QString noPermissions = QStringLiteral("No permissions/metadata");
inline const QString sectionLastError = QStringLiteral("Last error");
inline const QString sectionFolderErrors = QStringLiteral("Folder errors");
inline const QString folderErrorUnknown =
    QStringLiteral("Syncthing reports an error for this folder, but no details are available yet \u2014 try again "
                   "shortly.");
inline const QString sectionLastSyncActivity = QStringLiteral("Last sync activity");
inline const QString sectionExcludedStillReceiving = QStringLiteral("Excluded devices still receiving");
inline const QString exclusionStill = QStringLiteral("\u201C%1\u201D still receives \u201C%2");
inline const QString exclusionIntroduced =
    QStringLiteral("\u201D \u2014 the exclusion is enforced once every always-on node reconnects (converges, not "
                   "instant).");
inline const QString exclusionManual =
    QStringLiteral("\u201D via a manual share not managed by this app \u2014 exclude it there too, or re-share only "
                   "through the node.");
inline const QString sectionDeviceDetails = QStringLiteral("Device details");
inline const QString alwaysShowTechnicalDetails = QStringLiteral("Always show technical details for each Mac");
inline const QString technicalDetailsNote =
    QStringLiteral("Off (default): address, connection type, version and speed are tucked away under \"Technical "
                   "details\" per Mac \u2014 one click to see them. On: shown right away, no clicking needed.");
inline const QString sectionCrossCheck = QStringLiteral("Cross-check & diagnostics (LAN)");
inline const QString readOtherMacs = QStringLiteral("Read other Macs from here (share read-only status over the LAN)");
inline const QString readOtherMacsNote =
    QStringLiteral("When on, this Mac offers a read-only status endpoint to your PAIRED Macs and reads theirs "
                   "\u2014 so the app shows each Mac's REAL state (never a stale local guess) and you can read "
                   "every Mac from this one window.");
inline const QString readAllMacs = QStringLiteral("Read all Macs & copy");
inline const QString readingAllMacs = QStringLiteral("Reading all Macs\u2026");
inline const QString copiedToClipboard = QStringLiteral("Copied to clipboard \u2713");
inline const QString refresh = QStringLiteral("Refresh");
inline const QString reportNote =
    QStringLiteral("Raw per-folder, per-device truth (completion, files, needs, connections, recent log) \u2014 "
                   "this Mac AND every reachable peer, in one report.");
inline const QString sectionPhoneStatus = QStringLiteral("Status on your phone (read-only)");
inline const QString showStatusPage = QStringLiteral("Show a status page in the browser");
inline const QString statusPageNote =
    QStringLiteral("A read-only status page you can open from your phone or any browser on the same network (or "
                   "Tailscale). It shows sync progress only \u2014 no files, no settings, nothing can be changed "
                   "from it.");
inline const QString link = QStringLiteral("Link");
inline const QString copyLink = QStringLiteral("Copy link");
inline const QString openLink = QStringLiteral("Open");
inline const QString newToken = QStringLiteral("New token");
inline const QString newTokenHelp = QStringLiteral("Generates a new link and makes the old one stop working.");
inline const QString statusLinkNote =
    QStringLiteral("Anyone with this link can see the status. Generate a new token to revoke old links. Keep it on "
                   "your trusted network/Tailscale.");
inline const QString sectionMaintenance = QStringLiteral("Maintenance");
inline const QString rebuildDatabase = QStringLiteral("Rebuild database (re-index)");
inline const QString rebuilding = QStringLiteral("Rebuilding\u2026");
inline const QString rebuildNote =
    QStringLiteral("Use only if sync seems stuck/corrupted. Rebuilds the local index from disk + peers. Your files "
                   "and pairings are kept \u2014 nothing is deleted.");
inline const QString rebuildTitle = QStringLiteral("Rebuild the local sync database?");
inline const QString rebuildMessage =
    QStringLiteral("The index is rebuilt from your files and peers. No media or pairings are lost. The engine "
                   "restarts briefly.");
inline const QString rebuild = QStringLiteral("Rebuild");

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
inline const QString insideSyncedBefore = QStringLiteral("This location lies inside \u201C");
inline const QString insideSyncedAfter =
    QStringLiteral("\u201D, which a sync already keeps \u2014 choose a location outside it.");
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
// An opened invite link that no Mac can be joined by, and one that reads as
// no invitation at all.
inline const QString unusableInvite =
    QStringLiteral("This invite link can't be used \u2014 it names no Mac to join. Ask for a new invite link.");
inline const QString unreadableInvite = QStringLiteral(
    "This invite link can't be read \u2014 it may have been cut short or changed. Ask for a new invite link.");
inline const QString anotherMac = QStringLiteral("Another Mac");
inline const QString wantsToSync = QStringLiteral("wants to sync with you");
inline const QString afterYouJoin = QStringLiteral(
    "After you join, we\u2019ll ask where to save it on this Mac. Nothing copies until you pick a place.");
inline const QString decline = QStringLiteral("Decline");
inline const QString join = QStringLiteral("Join");

} // namespace tw::texts

// The whole application on the fake engine, visited screen by screen with
// clicks and menu actions, each screen's picture kept as tour-NN-<screen>.png.
// Run by TourTest on the test's Xvfb and private bus, once per screen size
// (TIDEWELL_TOUR_SIZE, the Xvfb's own: the window fills the screen as a
// maximised one does); the screens are visited in the light appearance, then
// again in the dark one. Every picture is also checked (Tour::checkScreens).
// Prints one line per step and "FAIL: ..." for each broken expectation, and
// answers 1 if any.
// Screens whose views come later (the overview's cards, a sync's page, its
// chips and inspectors, the incoming page, the new-sync sheet) each become
// one more tour.step() where the path reaches them.
#include "app/AppEnvironment.h"
#include "app/AppSignals.h"
#include "cluster/InviteCodec.h"
#include "controllers/EngineController.h"
#include "controllers/FolderController.h"
#include "projects/ProjectController.h"
#include "services/FeedbackService.h"
#include "utilities/UserDefaults.h"
#include "views/shell/AppShell.h"
#include "views/syncpage/CapsuleChip.h"
#include "views/syncpage/DeviceCard.h"
#include "views/syncpage/DeviceInspector.h"
#include "views/kit/DisclosureGroup.h"
#include "views/syncpage/FolderChip.h"
#include "views/syncpage/FolderInspector.h"
#include "views/joining/IncomingView.h"
#include "views/joining/InviteSheet.h"
#include "views/joining/JoinSheet.h"
#include "views/joining/NasSetupGuideView.h"
#include "views/joining/NodeSetupConfirmSheet.h"
#include "views/joining/WelcomeSheet.h"
#include "views/overview/NewProjectSheet.h"
#include "views/overview/ProjectCard.h"
#include "views/overview/ProjectOverviewView.h"
#include "views/syncpage/ProjectView.h"
#include "views/syncpage/RenameSheet.h"
#include "views/window/EngineStatusBar.h"
#include "views/feedback/FeedbackSheet.h"
#include "views/window/IncomingBanner.h"
#include "views/window/JoinApprovalPrompt.h"
#include "views/window/MainWindow.h"
#include "views/shell/MenuBarContent.h"
#include "views/settings/SettingsView.h"
#include "views/settings/TeamSettingsView.h"
#include "views/shell/ShellWindow.h"
#include "views/shell/StatusTray.h"
#include "views/shell/WindowController.h"
#include "views/shell/WidgetAppearance.h"
#include "views/joining/AcceptFolderSheet.h"
#include "views/panels/ArchivePanel.h"
#include "views/panels/FolderSettingsPanel.h"
#include "views/panels/OmitPanel.h"
#include "views/panels/PurgePanel.h"

#include "AwaitTask.h"
#include "FakeHttpServer.h"
#include "FakeServices.h"
#include "FakeSyncEngine.h"
#include "ManualClock.h"
#include "MemoryKeychain.h"
#include "RecordingNotifier.h"
#include "SaveShot.h"
#include "TourSteps.h"
#include "ViewTestEnv.h"
#include "WaitUntil.h"
#include "WindowLookup.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QLabel>
#include <QListView>
#include <QProgressBar>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QMenu>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <cstdio>
#include <functional>
#include <tuple>

namespace tw {
namespace {

const QString kTeammate = QStringLiteral("TEAMMAT-AAAAAAA-BBBBBBB-CCCCCCC-DDDDDDD-EEEEEEE-FFFFFFF-GGGGGGG");
const QString kAway = QStringLiteral("AWAYMAC-AAAAAAA-BBBBBBB-CCCCCCC-DDDDDDD-EEEEEEE-FFFFFFF-GGGGGGG");
const QString kNode = QStringLiteral("NODEMAC-AAAAAAA-BBBBBBB-CCCCCCC-DDDDDDD-EEEEEEE-FFFFFFF-GGGGGGG");
const QString kStranger = QStringLiteral("STRANGE-AAAAAAA-BBBBBBB-CCCCCCC-DDDDDDD-EEEEEEE-FFFFFFF-GGGGGGG");
const QString kInviter = QStringLiteral("INVITER-AAAAAAA-BBBBBBB-CCCCCCC-DDDDDDD-EEEEEEE-FFFFFFF-GGGGGGG");
const QString kLateJoiner = QStringLiteral("LATEMAC-AAAAAAA-BBBBBBB-CCCCCCC-DDDDDDD-EEEEEEE-FFFFFFF-GGGGGGG");
const QString kJoiner = QStringLiteral("JOINERM-AAAAAAA-BBBBBBB-CCCCCCC-DDDDDDD-EEEEEEE-FFFFFFF-GGGGGGG");
// Known to this Mac but in no sync: the invite sheet offers it as a contact.
const QString kContact = QStringLiteral("CONTACT-AAAAAAA-BBBBBBB-CCCCCCC-DDDDDDD-EEEEEEE-FFFFFFF-GGGGGGG");
const QString kNodeKey = QStringLiteral("tour-node-key");
// Names longer than any row has room for: each ends in "…" where it is cut.
// Two hold a line break, as a teammate's record or a pasted name may: one
// line wherever they show.
const QString kLongMac = QStringLiteral("Laptop in the colour grading suite upstairs,\nsecond desk by the window");
const QString kLongSync =
    QStringLiteral("Archive of every film and job finished\u2028since the studio opened its doors");
const QString kLongFolder = QStringLiteral("moving the rushes from the camera cards to the edit suite before the grade");
const QString kLongPattern = QStringLiteral("Renders/**/previews-of-every-version-we-sent-to-the-client-for-approval-*.mov");
// A short name with room to spare: never cut.
const QString kNodeName = QStringLiteral("Team NAS");
// A file arriving under a name as long as cameras and exports make them.
const QString kLongFileName = QStringLiteral("A001_C002_0615_reel-3_colour-graded_master_for_review.mov");
constexpr int kStepMs = 10'000;

QCoro::Task<std::optional<QString>> pickedFolder(QString path)
{
    co_return path;
}

// The poll's two seconds and every other wait of the application, at 50 ms.
QCoro::Task<void> shortSleep(std::chrono::milliseconds delay)
{
    const Sleeper real = realSleeper();
    co_await real(std::min(delay, std::chrono::milliseconds(50)));
}

// Connected when it has an address, always on loopback.
DeviceConnection connection(const QString &id, const QString &address, const QString &type)
{
    DeviceConnection c;
    c.id = id;
    c.connected = !address.isEmpty();
    c.address = address;
    c.connectionType = type;
    return c;
}

SyncEvent pendingDevicesChanged()
{
    SyncEvent event;
    event.type = QStringLiteral("PendingDevicesChanged");
    return event;
}

// Two syncs; this Mac, a teammate on a relay, one away and an always-on
// node that is only a member; one folder syncing, one in error, one with
// nine ignore patterns; a stranger asking to connect and a folder offered.
void fakeState(FakeSyncEngine &engine, const AppPaths &paths, const QString &folders, const QDateTime &now)
{
    FakeSyncEngine::State &s = engine.state;
    s.running = true;
    s.deviceName = QStringLiteral("Tour Mac");
    s.network.natTraversalEnabled = false;
    s.network.relayEnabled = false;
    s.network.localDiscoveryEnabled = false;
    s.network.globalDiscoveryEnabled = false;
    const QString me = s.localDeviceID;
    s.devices = {{.id = me, .name = "Tour Mac", .isThisDevice = true},
                 {.id = kTeammate, .name = "Studio"},
                 {.id = kAway, .name = kLongMac},
                 {.id = kNode, .name = kNodeName},
                 {.id = kContact, .name = "Edit Bay"}};
    s.connections = {connection(kTeammate, "127.0.0.1:22067", "relay-client"), connection(kAway, {}, {}),
                     connection(kNode, "127.0.0.1:22000", "tcp-client")};
    const QStringList ids = {"tdw-moving", "tdw-broken", "tdw-ignoring"};
    QList<ProjectFolder> projectFolders;
    for (const QString &id : ids) {
        const QString path = folders + '/' + id;
        QDir().mkpath(path);
        SyncFolder folder{.id = id, .label = id.mid(4), .path = path};
        folder.sharedDeviceIDs = {me, kTeammate, kAway, kNode};
        s.folders.append(folder);
        projectFolders.append({.id = id + "-uuid", .label = id.mid(4), .localPath = path, .syncthingFolderID = id});
    }
    projectFolders[0].label = kLongFolder;
    s.folders[0].label = kLongFolder;
    // A short name beside the long one on each Mac's card.
    projectFolders[1].label = QStringLiteral("Footage");
    s.folders[1].label = projectFolders[1].label;
    projectFolders[2].ignorePatterns = {".*", "*.tmp", "*.bak", "node_modules", "build", "*.log", "Thumbs.db",
                                        ".DS_Store", "cache"};
    s.ignores["tdw-ignoring"] = projectFolders[2].ignorePatterns;
    s.folderStatuses["tdw-moving"] = {.id = "tdw-moving", .state = FolderState::Syncing, .completion = 0.6,
                                      .globalBytes = 80'000'000, .needBytes = 30'000'000};
    s.folderStatuses["tdw-broken"] = {.id = "tdw-broken", .state = FolderState::Error, .globalBytes = 1'000};
    s.folderStatuses["tdw-ignoring"] = {.id = "tdw-ignoring", .state = FolderState::Idle, .globalBytes = 5'000};
    s.recentFolderErrors["tdw-broken"] = QStringLiteral("folder marker missing");
    // A copy archived on this Mac: its room can be freed.
    QDir().mkpath(folders + "/tdw-moving/.stversions");
    QFile archived(folders + "/tdw-moving/.stversions/cut-v0.mov");
    archived.open(QIODevice::WriteOnly);
    archived.write(QByteArray(8192, 'x'));
    s.pendingDevices = {{.id = kStranger, .name = "Unknown Mac", .address = {}}};
    s.pendingFolders = {{.folderID = "tdw-offered", .label = "Offered", .offeredByDeviceID = kTeammate,
                         .offeredByName = "Studio"}};

    const QList<ProjectMember> members = {{.deviceID = me, .displayName = "Tour Mac", .isOwnDevice = true},
                                          {.deviceID = kTeammate, .displayName = "Studio"},
                                          {.deviceID = kAway, .displayName = kLongMac},
                                          {.deviceID = kNode, .displayName = kNodeName, .isAlwaysOnNode = true}};
    const QList<Project> projects = {
        {.id = "p-studio", .name = "Studio work", .members = members,
         .folders = {projectFolders[0], projectFolders[1]}, .createdAt = now},
        {.id = "p-archive", .name = kLongSync, .members = members.mid(0, 3), .folders = {projectFolders[2]},
         .createdAt = now}};
    QDir().mkpath(paths.root());
    QFile file(paths.file(ProjectController::storeFileName));
    file.open(QIODevice::WriteOnly);
    file.write(Project::listToFile(projects));
}

// Warnings a desktop session prints that say nothing of the application.
const QList<std::pair<const char *, const char *>> kAllowedWarnings = {
    {"QStandardPaths: wrong permissions", "the runtime dir is the test's own temporary directory"},
    {"Could not connect to the display manager", "no session manager on the test's Xvfb"},
};

Tour *g_tour = nullptr;

void messageHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    std::fprintf(stderr, "%s\n", qPrintable(message));
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    for (const auto &[allowed, reason] : kAllowedWarnings)
        if (message.contains(QLatin1String(allowed)))
            return;
    if (g_tour)
        g_tour->fail(QStringLiteral("unexpected Qt message: ") + message);
}

void click(QWidget *widget)
{
    if (!widget) {
        g_tour->fail(QStringLiteral("nothing to click"));
        return;
    }
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

ProjectCard *card(QWidget &root, const QString &projectID)
{
    for (ProjectCard *card : root.findChildren<ProjectCard *>())
        if (card->projectID() == projectID && card->isVisible())
            return card;
    return nullptr;
}

// The widget of that type whose label of that name begins with the text
// (a long one ends in "…").
template <typename Widget>
Widget *labelled(QWidget *root, const char *labelName, const char *text)
{
    if (!root)
        return nullptr;
    for (Widget *widget : root->findChildren<Widget *>()) {
        auto *label = widget->template findChild<QLabel *>(QString::fromLatin1(labelName));
        if (label && label->text().startsWith(QString::fromUtf8(text)) && widget->isVisible())
            return widget;
    }
    return nullptr;
}

CapsuleChip *teammateChip(QWidget *root)
{
    if (!root)
        return nullptr;
    for (CapsuleChip *chip : root->findChildren<CapsuleChip *>(QStringLiteral("deviceChip")))
        if (chip->property("deviceID").toString() == kTeammate && chip->isVisible())
            return chip;
    return nullptr;
}

// The message box shown over the widget, if any.
QMessageBox *shownBox(QWidget &root) { return shownChild<QMessageBox>(&root); }

int runTour()
{
    if (qEnvironmentVariable("TIDEWELL_LOOPBACK_ONLY") != "1") {
        std::fprintf(stderr, "FAIL: TIDEWELL_LOOPBACK_ONLY=1 is not set\n");
        return 1;
    }
    const QString size = qEnvironmentVariable("TIDEWELL_TOUR_SIZE", QStringLiteral("1366x768"));
    Tour tour(QStringLiteral("tour-") + size);
    tour.checkScreens(true);
    tour.walkTabs(true);
    g_tour = &tour;
    QTemporaryDir dir;
    const AppPaths paths(dir.filePath("data/TidewellSync"));
    ManualClock clock;
    FakeSyncEngine engine;
    fakeState(engine, paths, dir.filePath("folders"), clock.clock()());
    // A first start: the welcome greets the user.
    UserDefaults defaults(dir.filePath("defaults.json"));
    MemoryKeychain keychain;
    RecordingNotifier notifier;
    FeedbackService feedback(QStringLiteral("http://127.0.0.1:9") + QLatin1String(FeedbackService::kRecordsPath), paths,
                             shortSleep);
    MountEventSource mounts;

    AppEnvironment::Services services =
        fakeServices(paths, defaults, keychain, feedback, notifier, clock, mounts, dir.filePath("autostart.desktop"));
    services.sleeper = shortSleep;
    QList<int> exits;
    bool started = false;
    AppShell::Injectables injectables;
    injectables.exit = [&exits](int code) { exits.append(code); };
    injectables.aboutToQuit = [] {};
    const QString picked = dir.filePath("folders/picked");
    QDir().mkpath(picked);
    injectables.folderPicker = [picked](QWidget *) { return pickedFolder(picked); };
    injectables.started = [&started] { started = true; };
    FakeHttpServer nodeServer;
    nodeServer.setHandler(fakeNodeAnswers(kNodeKey, kNode));
    if (!nodeServer.listen())
        tour.fail(QStringLiteral("the node's server does not listen"));
    auto shell = std::make_unique<AppShell>(engine, std::move(services), std::move(injectables));
    ShellWindow &window = shell->window();
    AppEnvironment &env = shell->environment();
    env.preferences().setAppearanceHook(applyWidgetAppearance);
    env.preferences().setAppearance(AppPreferences::Appearance::Light);
    env.preferences().addCustomIgnore(kLongPattern);
    // The schedule on: the Network tab shows its weekdays, some chosen.
    BandwidthSchedule schedule = env.preferences().bandwidthSchedule();
    schedule.enabled = true;
    env.preferences().setBandwidthSchedule(schedule);

    tour.step("overview", [&] {
        shell->windowController().show();
        // Maximised on a desktop; no window manager here does it.
        if (const QScreen *screen = window.screen())
            window.setGeometry(screen->availableGeometry());
        tour.expect(waitUntil([&] { return started && env.engineState().status().isRunning; }, kStepMs),
                    "start-up reaches a running engine");
        auto *main = window.findChild<MainWindow *>();
        tour.expect(main != nullptr, "the main window's content");
        tour.expect(waitUntil([&] { return window.isActiveWindow() || window.isVisible(); }, kStepMs), "shown");
        tour.expect(menuAction(window, FeedbackSheet::kMenuTitle)->isEnabled(), "feedback is offered");
        auto *title = window.findChild<QLabel *>(QStringLiteral("statusTitle"));
        tour.expect(title && waitUntil([&] { return title->text() == EngineStatusBar::syncingText; }, kStepMs),
                    "the bar reads Syncing");
        tour.expect(waitUntil([&] { return window.findChildren<ProjectCard *>().size() == 2; }, kStepMs),
                    "a card per sync");
        return &window;
    });
    MainWindow *main = window.findChild<MainWindow *>();
    if (!main)
        return tour.finish();

    tour.step("welcome-sheet", [&] {
        auto sheet = [&] { return qobject_cast<WelcomeSheet *>(main->openSheet()); };
        return tour.expect(waitUntil([&] { return sheet() && sheet()->isVisible(); }, kStepMs),
                           "the first start shows the welcome") ? static_cast<QWidget *>(sheet()) : &window;
    });
    if (auto *welcome = qobject_cast<WelcomeSheet *>(main->openSheet()))
        click(welcome->findChild<QPushButton *>(QStringLiteral("maybeLater")));
    tour.expect(waitUntil([&] { return main->openSheet() == nullptr; }, kStepMs), "Maybe later closes the welcome");
    auto syncPage = [&] { return qobject_cast<ProjectView *>(main->topPage()); };
    // Pages, inspectors and panels leave with deleteLater(): the shown one counts.
    auto shown = [&](const char *type, const QString &name = QString()) -> QWidget * {
        if (!syncPage())
            return nullptr;
        for (QWidget *widget : syncPage()->findChildren<QWidget *>(name))
            if (widget->inherits(type) && widget->isVisible())
                return widget;
        return nullptr;
    };
    auto inspectorShown = [&] { return shown("tw::FolderInspector") != nullptr; };
    // The studio sync's page, its "moving" folder chosen: its inspector opens.
    auto openMovingFolder = [&](const char *opened) {
        main->path().setIDs({QStringLiteral("p-studio")});
        tour.expect(waitUntil([&] { return labelled<FolderChip>(syncPage(), "label", "moving") != nullptr; },
                              kStepMs), "the sync's page");
        click(labelled<FolderChip>(syncPage(), "label", "moving"));
        tour.expect(waitUntil(inspectorShown, kStepMs), opened);
    };
    // A button of the inspector's action row, and the open panel's back button.
    auto actionButton = [&](const char *name) -> QWidget * {
        QWidget *actions = shown("QWidget", QStringLiteral("actionBar"));
        return actions ? actions->findChild<QToolButton *>(QString::fromLatin1(name)) : nullptr;
    };
    auto panelBack = [&]() -> QWidget * {
        QWidget *host = shown("QWidget", QStringLiteral("panelHost"));
        return host ? host->findChild<QToolButton *>(QStringLiteral("back")) : nullptr;
    };
    // The inspector area grows and shrinks animated: pictures wait for its
    // end at the height of what it shows. A change of selection starts the
    // animation only on its next layout, so a still area is not yet settled.
    auto inspectorSettled = [&] {
        QWidget *area = shown("QWidget", QStringLiteral("inspectorArea"));
        return area && area->height() == area->maximumHeight() && area->height() == area->minimumHeight();
    };
    auto inspectorAt = [&](int height) {
        return [&, height] {
            return inspectorSettled() && shown("QWidget", QStringLiteral("inspectorArea"))->height() == height;
        };
    };

    // A confirmation the button (or another way) opens over the root,
    // pictured and cancelled.
    auto confirmation = [&](const QString &step, QWidget &root, const std::function<void()> &ask) {
        tour.step(step, [&] {
            ask();
            if (!tour.expect(waitUntil([&] { return shownBox(root) != nullptr; }, kStepMs), "the question is asked"))
                return &root;
            tour.expect(shownBox(root)->palette().color(QPalette::Window) == QApplication::palette().color(QPalette::Window),
                        "the question draws in the application's appearance");
            return static_cast<QWidget *>(shownBox(root));
        });
        if (QMessageBox *box = shownBox(root))
            click(box->findChild<QPushButton *>(QStringLiteral("cancel")));
        tour.expect(waitUntil([&] { return !shownBox(root); }, kStepMs), "Cancel closes the question");
    };
    auto confirmationOf = [&](const QString &step, QWidget &root, const char *button) {
        auto *ask = root.findChild<QAbstractButton *>(button);
        tour.expect(ask && waitUntil([&] { return ask->isEnabled(); }, kStepMs), "the button is offered");
        confirmation(step, root, [ask] { click(ask); });
    };

    // A folder panel, opened from the inspector's action row, pictured, and
    // closed again by its back button; `then` goes on in the open panel.
    auto folderPanel = [&](const QString &step, const char *button, const char *type,
                           const std::function<void(QWidget &)> &inPanel = {},
                           const std::function<void(QWidget &)> &then = {}) {
        tour.step(step, [&, button, type] {
            click(actionButton(button));
            tour.expect(waitUntil([&] { return shown(type) != nullptr; }, kStepMs), "the panel opens");
            tour.expect(waitUntil([&] {
                const auto bars = syncPage()->findChildren<QProgressBar *>();
                return std::none_of(bars.cbegin(), bars.cend(), [](QProgressBar *bar) { return bar->isVisible(); });
            }, kStepMs), "the panel has read what it shows");
            tour.expect(waitUntil(inspectorAt(ProjectView::expandedInspectorHeight), kStepMs),
                        "a panel has the taller inspector area");
            if (inPanel && shown(type))
                inPanel(*shown(type));
            return &window;
        });
        if (then && shown(type))
            then(*shown(type));
        click(panelBack());
        tour.expect(waitUntil(inspectorShown, kStepMs), "the back button returns to the folder's inspector");
    };
    auto folderPanels = [&](const QString &look) {
        // Each with the question a button of its own asks, if any.
        const QList<std::tuple<const char *, const char *, const char *, const char *, const char *>> panels = {
            {"folder-settings", "settings", "tw::FolderSettingsPanel", "freeSpace", "archive-free-confirm"},
            {"folder-ignore", "ignore", "tw::OmitPanel", nullptr, nullptr},
            {"folder-archive", "archive", "tw::ArchivePanel", nullptr, nullptr},
            {"folder-removal", "purge", "tw::PurgePanel", nullptr, nullptr}};
        for (const auto &[name, button, type, asking, step] : panels)
            folderPanel(look + QString::fromLatin1(name), button, type, {}, [&, asking, step](QWidget &panel) {
                if (asking)
                    confirmationOf(look + QString::fromLatin1(step), panel, asking);
            });
    };

    // The archive and the exclusion browser again, with something to show;
    // a refused switch's message moves no row.
    auto panelsWithContent = [&](const QString &look) {
        const QString folder = QStringLiteral("tdw-moving");
        engine.state.archives[folder] = {{"Edits/cut-v1.mov", "2024-05-01T10:00:00Z", 734'003'200},
                                         {"Edits/cut-v1.mov", "2024-05-02T16:30:00Z", 731'906'048},
                                         {"Edits/Audio/mix.wav", "2024-05-02T09:15:00Z", 52'428'800},
                                         {"notes.txt", "2024-05-03T08:00:00Z", 1},
                                         {kLongFileName, "2024-05-03T11:45:00Z", 1'288'490'188}};
        const BrowseEntry refused{QStringLiteral("new\nfile.txt"), false};
        engine.state.browse[folder][QString()] = {{"Edits", true}, {"Renders", true}, {"notes.txt", false},
                                                  refused, {kLongFileName, false}};
        folderPanel(look + "archive-with-copies", "archive", "tw::ArchivePanel", [&](QWidget &panel) {
            auto *tree = panel.findChild<QAbstractItemView *>(QStringLiteral("archiveTree"));
            if (tour.expect(waitUntil([&] { return tree && tree->isVisible() && tree->model()->rowCount() > 0; }, kStepMs),
                            "the archived copies are listed"))
                tree->setCurrentIndex(tree->model()->index(0, 0));
        }, [&](QWidget &panel) {
            confirmationOf(look + "archive-empty-confirm", panel, "emptyArchive");
            auto &archive = static_cast<ArchivePanel &>(panel);
            confirmation(look + "archive-restore-confirm", panel, [&archive] {
                for (const ArchiveNodePtr &root : archive.roots())
                    if (root->kind == ArchiveNode::Kind::Folder)
                        return archive.confirmRestoreFolder(root);
            });
        });
        folderPanel(look + "exclusions-with-items", "ignore", "tw::OmitPanel", [&](QWidget &widget) {
            auto *list = widget.findChild<QAbstractItemView *>(QStringLiteral("omitList"));
            if (!tour.expect(waitUntil([&] { return list && list->model()->rowCount() == 5; }, kStepMs),
                             "the folder's items are listed"))
                return;
            const auto rows = [&] {
                QList<QRect> rects;
                for (int row = 0; row < list->model()->rowCount(); ++row)
                    rects << list->visualRect(list->model()->index(row, 0))
                                 .translated(list->viewport()->mapTo(&window, QPoint()));
                return rects;
            };
            const QList<QRect> before = rows();
            auto &panel = static_cast<OmitPanel &>(widget);
            awaitTask(panel.toggle(refused, true));
            tour.expect(rows() == before, "a refused switch's message moves no row");
            awaitTask(panel.toggle({QStringLiteral("notes.txt"), false}, true));
            awaitTask(panel.toggle({QStringLiteral("notes.txt"), false}, false));
            tour.expect(rows() == before, "the message going moves no row");
            awaitTask(panel.toggle(refused, true));
        }, [&](QWidget &widget) {
            auto &panel = static_cast<OmitPanel &>(widget);
            const BrowseEntry notes{QStringLiteral("notes.txt"), false};
            tour.step(look + "exclusions-excluded-row", [&] {
                awaitTask(panel.toggle(notes, true));
                return &window;
            });
            awaitTask(panel.toggle(notes, false));
        });
        engine.state.archives.remove(folder);
        engine.state.browse.remove(folder);
    };

    // The Mac's rename sheet over its inspector.
    auto renameSheet = [&](const QString &look) {
        QPointer<RenameSheet> sheet;
        tour.step(look + "rename-sheet", [&] {
            auto *inspector = syncPage() ? syncPage()->findChild<DeviceInspector *>() : nullptr;
            sheet = inspector ? inspector->openRename() : nullptr;
            return tour.expect(sheet && waitUntil([&] { return sheet->isVisible(); }, kStepMs), "the sheet opens")
                       ? static_cast<QWidget *>(sheet.data()) : &window;
        });
        if (sheet)
            sheet->reject();
        tour.expect(waitUntil([&] { return !sheet || !sheet->isVisible(); }, kStepMs), "the sheet closes");
    };


    // The Mac inspector's own "⋯" menu, pictured and closed.
    auto macInspectorMenu = [&](const QString &look) {
        auto *inspector = syncPage() ? syncPage()->findChild<DeviceInspector *>() : nullptr;
        auto *more = inspector ? inspector->findChild<QToolButton *>(QStringLiteral("more")) : nullptr;
        QMenu *menu = more ? more->findChild<QMenu *>() : nullptr;
        tour.step(look + "mac-inspector-menu", [&] {
            click(more);
            return tour.expect(menu && waitUntil([&] { return menu->isVisible(); }, kStepMs), "the menu opens")
                       ? static_cast<QWidget *>(menu) : &window;
        });
        if (menu)
            menu->close();
    };

    // A card's "Remove sync…" on the overview, answered Cancel.
    auto overviewRemoveConfirm = [&](const QString &look) {
        ProjectCard *studio = card(window, QStringLiteral("p-studio"));
        if (tour.expect(studio && main->topPage(), "the overview's card"))
            confirmation(look + "overview-remove-confirm", *main->topPage(), [studio] { emit studio->removeRequested(); });
        tour.expect(env.projects().project(QStringLiteral("p-studio")).has_value(), "the sync stays");
    };

    // "Remove this sync…" from the page's menu, answered Cancel.
    auto removeSyncConfirm = [&](const QString &look) {
        tour.step(look + "remove-sync-confirm", [&] {
            auto *remove = syncPage() ? syncPage()->findChild<QAction *>(QStringLiteral("removeSync")) : nullptr;
            if (tour.expect(remove != nullptr, "the page offers the removal"))
                remove->trigger();
            return tour.expect(waitUntil([&] { return syncPage() && shownBox(*syncPage()); }, kStepMs),
                               "the question is asked") ? static_cast<QWidget *>(shownBox(*syncPage())) : &window;
        });
        if (QMessageBox *box = syncPage() ? shownBox(*syncPage()) : nullptr)
            click(box->findChild<QPushButton *>(QStringLiteral("cancel")));
        tour.expect(waitUntil([&] { return !syncPage() || !shownBox(*syncPage()); }, kStepMs),
                    "Cancel closes the question");
        tour.expect(env.projects().project(QStringLiteral("p-studio")).has_value(), "the sync stays");
    };

    // The placing sheet of the offered folder, from the incoming page.
    auto placingSheet = [&](const QString &look) {
        auto sheet = [&] { return main->topPage() ? main->topPage()->findChild<AcceptFolderSheet *>() : nullptr; };
        tour.step(look + "placing-sheet", [&] {
            QPushButton *place = nullptr;
            for (QPushButton *button : main->topPage()->findChildren<QPushButton *>(QStringLiteral("place")))
                if (button->isVisible())
                    place = button;
            click(place);
            if (!tour.expect(waitUntil([&] { return sheet() && sheet()->isVisible(); }, kStepMs), "the sheet opens"))
                return static_cast<QWidget *>(&window);
            // Chosen: the explanation and the sync's line show.
            click(sheet()->findChild<QPushButton *>(QStringLiteral("choose")));
            tour.expect(waitUntil([&] {
                auto *explanation = sheet()->findChild<QLabel *>(QStringLiteral("explanation"));
                return explanation && explanation->isVisible();
            }, kStepMs), "the chosen place is explained");
            return static_cast<QWidget *>(sheet());
        });
        if (sheet())
            sheet()->reject();
        tour.expect(waitUntil([&] { return !sheet() || !sheet()->isVisible(); }, kStepMs), "the sheet closes");
    };

    // The sync page's invite sheet.
    // The sync page's invite sheet, with a Mac to add in one tap and the
    // team's node, set up for the sheet alone: the Team tab offers the guide
    // to a team without one.
    auto inviteSheet = [&](const QString &look) {
        auto sheet = [&] { return syncPage() ? syncPage()->findChild<InviteSheet *>() : nullptr; };
        tour.expect(awaitTask(env.nasNode().configure(nodeServer.baseURL().toString(), kNodeKey, kNodeName)),
                    "the node is set up");
        tour.step(look + "invite-sheet", [&] {
            auto *invite = syncPage() ? syncPage()->findChild<QAction *>(QStringLiteral("invite")) : nullptr;
            if (tour.expect(invite != nullptr, "the page offers an invitation"))
                invite->trigger();
            if (!tour.expect(waitUntil([&] { return sheet() && sheet()->isVisible(); }, kStepMs), "the sheet opens"))
                return static_cast<QWidget *>(&window);
            tour.expect(waitUntil([&] {
                auto *chip = sheet()->findChild<QWidget *>("chip:" + kContact);
                auto *node = sheet()->findChild<QWidget *>(QStringLiteral("node"));
                return chip && chip->isVisible() && node && node->isVisible();
            }, kStepMs), "a Mac to add and the team's node");
            return static_cast<QWidget *>(sheet());
        });
        if (sheet())
            sheet()->reject();
        tour.expect(waitUntil([&] { return !sheet() || !sheet()->isVisible(); }, kStepMs), "the sheet closes");
        awaitTask(env.nasNode().remove());
        tour.expect(env.nasNode().nodes().isEmpty(), "the node is let go");
        tour.expect(waitUntil([&] { return !env.projects().lastErrorMessage(); }, kStepMs),
                    "the node's failure goes with it");
    };

    // Links no Mac can be joined by, opened as the desktop hands them over:
    // one that reads but names no Mac, and one that does not read at all.
    auto unusableInvite = [&](const QString &look) {
        const QList<std::pair<const char *, QString>> links = {
            {"unusable-invite",
             InviteCodec::url({QString(), QStringLiteral("Ann"), QStringLiteral("Film"), std::nullopt})
                 ->toString(QUrl::FullyEncoded)},
            {"unreadable-invite", QStringLiteral("tidewellsync://join?d=zzz")}};
        for (const auto &[name, link] : links) {
            tour.step(look + QString::fromLatin1(name), [&] {
                shell->open(link);
                return tour.expect(waitUntil([&] { return shownBox(window) != nullptr; }, kStepMs), "the note is shown")
                           ? static_cast<QWidget *>(shownBox(window)) : &window;
            });
            if (QMessageBox *box = shownBox(window))
                box->reject();
            tour.expect(waitUntil([&] { return !shownBox(window) && !main->openSheet(); }, kStepMs),
                        "the note closes and nothing opens");
        }
    };

    // The overview and the incoming page with nothing to show, at the end:
    // the syncs are removed and the requests answered.
    auto emptyScreens = [&](const QString &look) {
        const auto emptyShown = [&] {
            auto *empty = main->topPage() ? main->topPage()->findChild<QWidget *>(QStringLiteral("emptyState")) : nullptr;
            return empty && empty->isVisible();
        };
        tour.step(look + "overview-empty", [&] {
            // A copy: each removal changes the controller's list.
            const QList<Project> projects = env.projects().projects();
            for (const Project &project : projects)
                env.projects().remove(project);
            main->path().setIDs({});
            tour.expect(waitUntil(emptyShown, kStepMs), "the overview's empty state");
            return &window;
        });
        tour.step(look + "incoming-empty", [&] {
            engine.state.pendingDevices.clear();
            engine.state.pendingFolders.clear();
            engine.pushEvent(pendingDevicesChanged());
            main->path().setIDs({NavigationPath::incomingRoute});
            tour.expect(waitUntil(emptyShown, kStepMs), "the incoming page's empty note");
            return &window;
        });
    };

    auto newSyncSheet = [&](const QString &look) {
        auto sheet = [&] { return window.findChild<NewProjectSheet *>(); };
        tour.step(look + "new-sync-sheet", [&] {
            tour.expect(waitUntil([&] { return main->path().ids().isEmpty(); }, kStepMs), "back on the overview");
            click(toolButton(main->toolBar(), ProjectOverviewView::newSyncText));
            if (!tour.expect(waitUntil([&] { return sheet() && sheet()->isVisible(); }, kStepMs), "the sheet opens"))
                return static_cast<QWidget *>(&window);
            tour.expect(sheet()->windowTitle() == NewProjectSheet::titleText, "titled New sync");
            tour.expect(sheet()->personToggle(kTeammate) != nullptr, "the teammate can be asked along");
            tour.expect(!sheet()->createButton()->isEnabled(), "nothing to create without a name");
            return static_cast<QWidget *>(sheet());
        });
    };

    // A sheet, a question and a panel, each opened and closed from the
    // keyboard: the focus is back on the control that opened it, ringed.
    auto focusAfterClosing = [&](const QString &look) {
        const auto backOn = [&](const QPointer<QWidget> &opener, const char *what) {
            // No window manager here brings the window back to the front.
            window.activateWindow();
            if (!waitUntil([&] { return opener && QApplication::focusWidget() == opener; }, kStepMs)) {
                QWidget *focus = QApplication::focusWidget();
                tour.fail(QString::fromUtf8(what) + QStringLiteral(": the focus is on ")
                          + (focus ? screenchecks::describe(*focus) : QStringLiteral("nothing")));
                return;
            }
            if (const std::optional<QString> fault = tabwalk::ringFault(*opener))
                tour.fail(*fault);
        };
        const auto press = [&](QWidget *widget, Qt::Key key) {
            if (!tour.expect(widget != nullptr, "a control to press"))
                return;
            widget->setFocus(Qt::TabFocusReason);
            QTest::keyClick(widget, key);
        };
        const auto activeWindow = [&] {
            window.activateWindow();
            tour.expect(waitUntil([&] { return window.isActiveWindow(); }, kStepMs), "the window is active");
        };
        tour.step(look + "focus-after-sheet", [&] {
            main->path().setIDs({});
            activeWindow();
            QPointer<QWidget> tile;
            tour.expect(waitUntil([&] {
                tile = toolButton(main->toolBar(), ProjectOverviewView::newSyncText);
                return tile && tile->isVisible();
            }, kStepMs), "the New sync tile");
            press(tile, Qt::Key_Space);
            auto sheet = [&] { return shownChild<NewProjectSheet>(&window); };
            if (tour.expect(waitUntil([&] { return sheet() && sheet()->isActiveWindow(); }, kStepMs),
                            "Space opens the sheet"))
                QTest::keyClick(sheet()->focusWidget() ? sheet()->focusWidget() : sheet(), Qt::Key_Escape);
            tour.expect(waitUntil([&] { return !sheet(); }, kStepMs), "Escape closes the sheet");
            backOn(tile, "the focus is back on New sync");
            click(tile);  // opened by the mouse, closed by a key: no ring
            waitUntil([&] { return sheet() && sheet()->isActiveWindow(); }, kStepMs);
            QTest::keyClick(static_cast<QWidget *>(nullptr), Qt::Key_Escape);
            window.activateWindow();
            tour.expect(waitUntil([&] { return !sheet() && QApplication::focusWidget() == tile; }, kStepMs)
                        && !tabwalk::ringShown(), "back on New sync without a ring after the mouse");
            return &window;
        });
        tour.step(look + "focus-after-question", [&] {
            openMovingFolder("the folder's inspector");
            activeWindow();
            press(actionButton("settings"), Qt::Key_Space);
            tour.expect(waitUntil([&] { return shown("tw::FolderSettingsPanel") != nullptr; }, kStepMs),
                        "Space opens the panel");
            tour.expect(waitUntil(inspectorAt(ProjectView::expandedInspectorHeight), kStepMs),
                        "a panel has the taller inspector area");
            tour.expect(waitUntil([&] { return panelBack() && QApplication::focusWidget() == panelBack(); }, kStepMs),
                        "the panel's first stop has the focus");
            QPointer<QWidget> freeSpace = shown("QPushButton", QStringLiteral("freeSpace"));
            tour.expect(freeSpace && waitUntil([&] { return freeSpace->isEnabled(); }, kStepMs), "Free up space");
            press(freeSpace, Qt::Key_Space);
            QMessageBox *box = nullptr;
            if (tour.expect(waitUntil([&] { return (box = shownBox(*syncPage())) && box->isActiveWindow(); }, kStepMs),
                            "the question"))
                QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, Qt::Key_Escape);
            tour.expect(waitUntil([&] { return !shownBox(*syncPage()); }, kStepMs), "Escape closes the question");
            backOn(freeSpace, "the focus is back on Free up space");
            settleLayouts();
            return &window;
        });
        tour.step(look + "focus-after-panel", [&] {
            press(panelBack(), Qt::Key_Space);
            tour.expect(waitUntil(inspectorShown, kStepMs), "the back button returns to the folder's inspector");
            backOn(actionButton("settings"), "the focus is back on the button that opened the panel");
            tour.expect(waitUntil(inspectorAt(ProjectView::inspectorHeight), kStepMs), "the inspector area at its height");
            return &window;
        });
        tour.step(look + "focus-in-empty-folder", [&] {  // Shift+Tab in an empty folder stays in the panel
            engine.state.browse[QStringLiteral("tdw-moving")] = {{"", {{QStringLiteral("Edits"), true}}}, {"Edits", {}}};
            press(actionButton("ignore"), Qt::Key_Space);
            waitUntil([&] { return QApplication::focusWidget() == panelBack(); }, kStepMs);
            auto *list = static_cast<QListView *>(shown("QListView"));
            if (list && waitUntil([&] { return list->model()->rowCount() == 1; }, kStepMs))
                press(list, Qt::Key_Down), QTest::keyClick(list, Qt::Key_Return);  // the first key shows the row
            waitUntil([&] { return list && !list->isVisible() && QApplication::focusWidget()->focusPolicy() & Qt::TabFocus; }, kStepMs);
            QTest::keyClick(static_cast<QWidget *>(nullptr), Qt::Key_Backtab, Qt::ShiftModifier);
            tour.expect(panelBack()->parentWidget()->isAncestorOf(QApplication::focusWidget()), "Shift+Tab stays in the panel");
            engine.state.browse.remove(QStringLiteral("tdw-moving"));
            press(panelBack(), Qt::Key_Space);
            // Pictured once the inspector stands whole, not while it grows.
            tour.expect(waitUntil(inspectorShown, kStepMs) && waitUntil(inspectorAt(ProjectView::inspectorHeight), kStepMs),
                        "back on the folder's inspector");
            backOn(actionButton("ignore"), "the focus is back on Ignore");
            return &window;
        });
        main->path().setIDs({});
    };

    // The settings window, one picture per tab.
    auto settingsTabs = [&](const QString &look) {
        menuAction(window, QStringLiteral("Settings\u2026"))->trigger();
        auto *settings = shell->settingsWindow().findChild<SettingsView *>();
        if (!tour.expect(settings != nullptr, "the settings view"))
            return;
        QTabWidget *tabs = settings->tabs();
        for (int i = 0; i < tabs->count(); ++i) {
            const QString name = tabs->tabText(i).toLower().replace(' ', '-');
            tour.step(look + "settings-" + name, [&, i] {
                QTabBar *bar = tabs->tabBar();
                QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(i).center());
                tour.expect(waitUntil([&] { return tabs->currentIndex() == i; }, kStepMs), "the tab opens");
                return &shell->settingsWindow();
            });
            const QList<std::pair<const char *, const char *>> asking = {{"applyToAll", "apply-ignores-confirm"},
                                                                          {"rebuild", "rebuild-confirm"}};
            for (const auto &[button, step] : asking)
                if (tabs->widget(i)->findChild<QPushButton *>(QString::fromLatin1(button)))
                    confirmationOf(look + QString::fromLatin1(step), *tabs->widget(i), button);
            auto *team = qobject_cast<TeamSettingsView *>(tabs->widget(i));
            if (!team)
                continue;
            tour.step(look + "node-setup-guide", [&, team] {
                QPushButton *setUp = team->findChild<QPushButton *>(QStringLiteral("setUpAutomatically"));
                tour.expect(setUp && setUp->isVisible(), "a team without a node is offered the guide");
                click(setUp);
                if (!tour.expect(waitUntil([&] { return team->guide() && team->guide()->isVisible(); }, kStepMs),
                                 "the guide opens"))
                    return static_cast<QWidget *>(&shell->settingsWindow());
                return static_cast<QWidget *>(team->guide());
            });
            if (team->guide())
                team->guide()->reject();
            tour.expect(waitUntil([&] { return !team->guide(); }, kStepMs), "the guide closes");
        }
        shell->settingsWindow().close();
    };

    // The feedback sheet from the menu, with the window's picture attached.
    auto feedbackSheet = [&](const QString &look) {
        tour.step(look + "feedback-sheet", [&] {
            menuAction(window, FeedbackSheet::kMenuTitle)->trigger();
            auto sheet = [&] { return qobject_cast<FeedbackSheet *>(main->openSheet()); };
            if (!tour.expect(waitUntil([&] { return sheet() && sheet()->isVisible(); }, kStepMs), "the sheet opens"))
                return static_cast<QWidget *>(&window);
            if (QCheckBox *include = sheet()->findChild<QCheckBox *>(QStringLiteral("includeScreenshot")))
                include->click();
            tour.expect(waitUntil([&] { return sheet()->screenshotData().has_value(); }, kStepMs),
                        "the screenshot arrives");
            tour.expect(sheet()->origin() == FeedbackSheet::kOrigin, "opened from the main window");
            return static_cast<QWidget *>(sheet());
        });
    };

    // A Mac asking to join while the sync is open to joiners.
    auto approvalPrompt = [&](const QString &look, const QString &joiner) {
        tour.step(look + "approval-prompt", [&, joiner] {
            main->path().setIDs({});
            env.projects().openPairingWindow(QStringLiteral("p-studio"));
            // Alone in the list: the stranger asking since start-up would be surfaced otherwise.
            // A name that holds a line break, as any Mac may announce: one line in the prompt.
            engine.state.pendingDevices = {{.id = joiner, .name = "New\nMac", .address = {}}};
            engine.pushEvent(pendingDevicesChanged());
            tour.expect(waitUntil([&] { return main->approvalPrompt() && main->approvalPrompt()->isVisible(); }, kStepMs),
                        "the prompt appears after the next poll");
            JoinApprovalPrompt *prompt = main->approvalPrompt();
            if (prompt)
                tour.expect(prompt->text().contains("New Mac") || prompt->informativeText().contains("New Mac"),
                            "the prompt names the joining Mac");
            return static_cast<QWidget *>(prompt);
        });
    };

    // The sheets the two kinds of link open (and the welcome), each left
    // again as a user who declines would.
    auto linkSheets = [&](const QString &look) {
        // The first start pictured the welcome in the light appearance.
        QPointer<WelcomeSheet> welcome;
        if (!look.isEmpty()) {
            tour.step(look + "welcome-sheet", [&] {
                welcome = new WelcomeSheet(env, [] {}, &window);
                welcome->setAttribute(Qt::WA_DeleteOnClose);
                welcome->setWindowModality(Qt::WindowModal);
                welcome->open();
                tour.expect(waitUntil([&] { return welcome->isVisible(); }, kStepMs), "the welcome opens");
                return static_cast<QWidget *>(welcome.data());
            });
        }
        if (welcome)
            welcome->reject();
        const auto sheetOf = [&](const char *type) {
            return waitUntil([&] { return main->openSheet() && main->openSheet()->inherits(type)
                                          && main->openSheet()->isVisible(); }, kStepMs);
        };
        // A link's sheet, pictured, then declined: the link is dropped.
        const auto linkSheet = [&](const char *name, const std::function<void()> &open, const char *type,
                                   const std::function<bool()> &dropped) {
            tour.step(look + name, [&] {
                open();
                return tour.expect(sheetOf(type), "the link opens its sheet") ? static_cast<QWidget *>(main->openSheet())
                                                                               : &window;
            });
            if (main->openSheet())
                main->openSheet()->reject();
            tour.expect(waitUntil([&] { return dropped() && !main->openSheet(); }, kStepMs),
                        "declining drops the link");
        };
        linkSheet("join-sheet", [&] {
            // Any web page may open a link: names and addresses holding line
            // breaks, each drawn on one line.
            env.setPendingInvite(Invite{kInviter, QStringLiteral("Ann\nSecond line"), QStringLiteral("Big\u2028Film"),
                                        std::nullopt});
        }, "tw::JoinSheet", [&] { return !env.pendingInvite(); });
        linkSheet("node-confirm-sheet", [&] {
            env.setPendingNodeSetup(NodeSetupPayload{QStringLiteral("http://127.0.0.1:9\nhttp://evil"),
                                                     QStringLiteral("k3y"), QStringLiteral("Team\nNAS\nline3")});
        }, "tw::NodeSetupConfirmSheet", [&] { return !env.pendingNodeSetup(); });
    };

    // The screens again, reached by path, in another appearance.
    auto screensIn = [&](const QString &look) {
        tour.step(look + "overview", [&] {
            main->path().setIDs({});
            tour.expect(waitUntil([&] { return card(window, QStringLiteral("p-studio")) != nullptr; }, kStepMs),
                        "the overview's cards");
            return &window;
        });
        overviewRemoveConfirm(look);
        tour.step(look + "folder-chip", [&] {
            openMovingFolder("the chip opens the folder's inspector");
            tour.expect(waitUntil(inspectorAt(ProjectView::inspectorHeight), kStepMs),
                        "the inspector area at its height");
            return &window;
        });
        folderPanels(look);
        panelsWithContent(look);
        inviteSheet(look);
        removeSyncConfirm(look);
        tour.step(look + "mac-details", [&] {
            click(labelled<DeviceCard>(syncPage(), "name", "Studio"));
            tour.expect(waitUntil([&] {
                auto *inspector = syncPage()->findChild<DeviceInspector *>();
                return inspector && inspector->isVisible();
            }, kStepMs), "the card opens the Mac's inspector");
            tour.expect(waitUntil(inspectorAt(ProjectView::inspectorHeight), kStepMs),
                        "the inspector area at its height");
            return &window;
        });
        macInspectorMenu(look);
        renameSheet(look);
        tour.step(look + "incoming-page", [&] {
            main->path().setIDs({NavigationPath::incomingRoute});
            tour.expect(waitUntil([&] { return qobject_cast<IncomingView *>(main->topPage())
                                               && main->topPage()->isVisible(); }, kStepMs), "the incoming page");
            tour.expect(waitUntil([&] {
                const auto places = main->topPage()->findChildren<QPushButton *>(QStringLiteral("place"));
                return std::any_of(places.cbegin(), places.cend(), [](QPushButton *place) { return place->isVisible(); });
            }, kStepMs), "the folder offered");
            return &window;
        });
        placingSheet(look);
        main->path().setIDs({});
        newSyncSheet(look);
        if (NewProjectSheet *sheet = window.findChild<NewProjectSheet *>())
            sheet->reject();
        settingsTabs(look);
        linkSheets(look);
        unusableInvite(look);
        feedbackSheet(look);
        if (auto *sheet = qobject_cast<FeedbackSheet *>(main->openSheet()))
            sheet->reject();
        tour.expect(waitUntil([&] { return main->openSheet() == nullptr; }, kStepMs), "the feedback sheet closes");
        approvalPrompt(look, kLateJoiner);
        if (JoinApprovalPrompt *prompt = main->approvalPrompt())
            click(prompt->button(JoinApprovalPrompt::Choice::Decline));
        tour.expect(waitUntil([&] { return !main->approvalPrompt(); }, kStepMs), "Decline closes the prompt");
        focusAfterClosing(look);
    };

    tour.step("sync-page", [&] {
        click(card(window, QStringLiteral("p-studio")));
        tour.expect(waitUntil([&] { return syncPage() && syncPage()->isVisible(); }, kStepMs), "the card opens its sync");
        tour.expect(main->path().ids() == QStringList{QStringLiteral("p-studio")}, "the path names the sync");
        tour.expect(waitUntil([&] { return labelled<DeviceCard>(syncPage(), "name", "Studio")
                                           && labelled<FolderChip>(syncPage(), "label", "moving"); }, kStepMs),
                    "a card per Mac and a chip per folder");
        return &window;
    });

    tour.step("folder-chip", [&] {
        click(labelled<FolderChip>(syncPage(), "label", "moving"));
        tour.expect(waitUntil([&] { return syncPage()->findChild<FolderInspector *>() != nullptr
                                           && syncPage()->findChild<FolderInspector *>()->isVisible(); }, kStepMs),
                    "the chip opens the folder's inspector");
        tour.expect(waitUntil([&] { return teammateChip(syncPage()) != nullptr; }, kStepMs), "a chip per Mac");
        tour.expect(waitUntil(inspectorAt(ProjectView::inspectorHeight), kStepMs), "the inspector area at its height");
        return &window;
    });
    // A long received file name is cut to the inspector's width: the
    // inspector never scrolls sideways nor pushes its status out.
    tour.step("receiving-long-name", [&] {
        engine.state.currentTransferNames[QStringLiteral("tdw-moving")] = kLongFileName;
        tour.expect(waitUntil([&] {
            auto *transfer = shown("QLabel", QStringLiteral("transfer"));
            const QVariant full = transfer ? transfer->property("fullText") : QVariant();
            return transfer && (full.isValid() ? full.toString() : static_cast<QLabel *>(transfer)->text())
                                   .contains(kLongFileName);
        }, kStepMs), "the inspector names the file arriving");
        return &window;
    });
    engine.state.currentTransferNames.clear();
    tour.expect(waitUntil([&] { return env.folders().transferring().isEmpty(); }, kStepMs), "the file has arrived");
    folderPanels(QString());
    panelsWithContent(QString());

    // The chip's menu runs a loop of its own: it is looked at and closed from
    // inside that loop.
    tour.step("mac-menu", [&] {
        CapsuleChip *chip = teammateChip(syncPage());
        if (!tour.expect(chip && chip->menu(), "the teammate's chip has a menu"))
            return static_cast<QWidget *>(&window);
        QMenu *menu = chip->menu();
        QTimer::singleShot(0, menu, [&tour, menu] {
            tour.expect(waitUntil([&] { return menu->isVisible(); }, kStepMs), "the menu opens");
            QStringList texts;
            for (QAction *action : menu->actions())
                texts << action->text();
            tour.expect(texts.contains(FolderInspector::receivesItem) && texts.contains(FolderInspector::pauseItem)
                            && texts.contains(FolderInspector::excludeItem),
                        "receive, pause and exclude for this Mac");
            tour.keep(*menu);
            menu->close();
        });
        click(chip);
        tour.expect(waitUntil([&] { return !menu->isVisible(); }, kStepMs), "the menu closes");
        return static_cast<QWidget *>(nullptr);
    });

    tour.step("mac-details", [&] {
        click(labelled<DeviceCard>(syncPage(), "name", "Studio"));
        auto inspector = [&] { return syncPage()->findChild<DeviceInspector *>(); };
        if (!tour.expect(waitUntil([&] { return inspector() && inspector()->isVisible(); }, kStepMs),
                         "the card opens the Mac's inspector"))
            return static_cast<QWidget *>(&window);
        auto *details = inspector()->findChild<DisclosureGroup *>(QStringLiteral("detailsDisclosure"));
        if (tour.expect(details != nullptr, "technical details to open")) {
            click(details->toggle());
            tour.expect(waitUntil([&] { return details->isExpanded(); }, kStepMs), "the details open");
            tour.expect(waitUntil([&] {
                const auto values = details->findChildren<QLabel *>(QStringLiteral("detailValue"));
                return std::any_of(values.cbegin(), values.cend(), [](QLabel *value) { return value->isVisible(); });
            }, kStepMs), "the details show their values");
            // Opened by hand, the details stay within the usual height.
            tour.expect(waitUntil(inspectorAt(ProjectView::inspectorHeight), kStepMs),
                        "the inspector area at its height");
        }
        return static_cast<QWidget *>(&window);
    });
    macInspectorMenu(QString());
    renameSheet(QString());
    removeSyncConfirm(QString());

    tour.step("back-to-overview", [&] {
        click(toolButton(main->toolBar(), QStringLiteral("Back")));
        tour.expect(waitUntil([&] { return main->path().ids().isEmpty(); }, kStepMs), "Back returns to the overview");
        tour.expect(waitUntil([&] { return main->topPage() && main->topPage()->findChild<ProjectCard *>(); }, kStepMs),
                    "the overview's cards");
        return &window;
    });
    overviewRemoveConfirm(QString());

    tour.step("incoming-banner", [&] {
        engine.pushEvent(pendingDevicesChanged());
        IncomingBanner *banner = main->incomingBanner();
        tour.expect(waitUntil([&] { return banner->isVisible(); }, kStepMs), "the banner shows the requests");
        tour.expect(banner->text() == IncomingBanner::textFor(2), "a Mac asking and a folder offered");
        return &window;
    });

    tour.step("incoming-page", [&] {
        click(main->incomingBanner());
        tour.expect(waitUntil([&] { return main->path().endsInIncoming(); }, kStepMs), "the banner opens __incoming__");
        auto page = [&] { return qobject_cast<IncomingView *>(main->topPage()); };
        tour.expect(waitUntil([&] { return page() && page()->isVisible(); }, kStepMs), "the incoming page");
        tour.expect(waitUntil([&] {
            auto *asking = page() ? page()->findChild<QWidget *>("device:" + kStranger) : nullptr;
            auto *name = asking ? asking->findChild<QLabel *>(QStringLiteral("name")) : nullptr;
            return name && name->isVisible() && name->text().contains("Unknown Mac");
        }, kStepMs), "the Mac asking to connect");
        tour.expect(waitUntil([&] {
            const auto labels = page() ? page()->findChildren<QLabel *>() : QList<QLabel *>();
            return std::any_of(labels.cbegin(), labels.cend(),
                               [](QLabel *l) { return l->text() == "Offered" && l->isVisible(); });
        }, kStepMs), "the folder offered");
        return &window;
    });

    placingSheet(QString());

    approvalPrompt(QString(), kJoiner);

    tour.step("allowed-while-leaving", [&] {
        JoinApprovalPrompt *prompt = main->approvalPrompt();
        if (!tour.expect(prompt != nullptr, "a prompt to answer"))
            return static_cast<QWidget *>(&window);
        // The answer's last engine call is held while its page is left.
        engine.hold(QStringLiteral("dismissPendingDevice"));
        click(prompt->button(JoinApprovalPrompt::Choice::Allow));
        tour.expect(waitUntil([&] { return engine.callCount("dismissPendingDevice") == 1; }, kStepMs),
                    "Allow adds the Mac, then dismisses its request");
        click(main->incomingBanner());
        const int reads = engine.callCount("pendingDevices");
        engine.release(QStringLiteral("dismissPendingDevice"));
        tour.expect(waitUntil([&] { return engine.callCount("pendingDevices") > reads; }, kStepMs),
                    "the offers are read again after the held call");
        const std::optional<Project> studio = env.projects().project(QStringLiteral("p-studio"));
        tour.expect(studio && std::any_of(studio->members.cbegin(), studio->members.cend(),
                                          [](const ProjectMember &m) { return m.deviceID == kJoiner; }),
                    "the joining Mac is a member");
        click(toolButton(main->toolBar(), QStringLiteral("Back")));
        return static_cast<QWidget *>(&window);
    });

    // The invite sheet opens the sync to joiners: only once the approval is
    // done, or the stranger waiting since start-up is surfaced first.
    main->path().setIDs({QStringLiteral("p-studio")});
    tour.expect(waitUntil([&] { return syncPage() && syncPage()->isVisible(); }, kStepMs), "back on the sync's page");
    inviteSheet(QString());
    main->path().setIDs({});
    newSyncSheet(QString());

    tour.step("new-sync-cancelled", [&] {
        QPushButton *cancel = nullptr;
        if (NewProjectSheet *sheet = window.findChild<NewProjectSheet *>())
            for (QPushButton *button : sheet->findChildren<QPushButton *>())
                if (button->text() == NewProjectSheet::cancelText)
                    cancel = button;
        click(cancel);
        tour.expect(waitUntil([&] {
            NewProjectSheet *sheet = window.findChild<NewProjectSheet *>();
            return !sheet || !sheet->isVisible();
        }, kStepMs), "Cancel closes the sheet");
        tour.expect(env.projects().projects().size() == 2, "no sync is made");
        return &window;
    });

    focusAfterClosing(QString());
    feedbackSheet(QString());

    tour.step("feedback-cancelled", [&] {
        if (FeedbackSheet *sheet = qobject_cast<FeedbackSheet *>(main->openSheet()))
            click(sheet->findChild<QPushButton *>(QStringLiteral("cancel")));
        tour.expect(waitUntil([&] { return main->openSheet() == nullptr; }, kStepMs), "Cancel closes the sheet");
        tour.expect(feedback.retryQueue().pendingCount() == 0, "Cancel stores nothing");
        return &window;
    });

    settingsTabs(QString());
    linkSheets(QString());
    unusableInvite(QString());

    // A new appearance reaches the widgets through posted events.
    auto lookAgain = [&](AppPreferences::Appearance appearance) {
        env.preferences().setAppearance(appearance);
        tour.expect(waitUntil([&] { return window.palette() == QApplication::palette()
                                           && main->palette() == QApplication::palette(); }, kStepMs),
                    "the window takes the appearance");
    };
    // The appearance changed with a folder's inspector open: it draws as the
    // same inspector built anew in that appearance, once another folder was
    // chosen and then this one again.
    auto switchedWithInspector = [&](AppPreferences::Appearance appearance, const QString &look) {
        auto chip = [&](const char *name) { return labelled<FolderChip>(syncPage(), "label", name); };
        main->path().setIDs({QStringLiteral("p-studio")});
        tour.expect(waitUntil([&] { return chip("moving") != nullptr; }, kStepMs), "the sync's page");
        click(chip("moving"));
        tour.expect(waitUntil(inspectorAt(ProjectView::inspectorHeight), kStepMs), "the folder's inspector");
        tour.step(look + "switched-inspector", [&, appearance] {
            lookAgain(appearance);
            QPointer<QWidget> inspector = shown("tw::FolderInspector");
            if (!tour.expect(inspector != nullptr, "the inspector stays open"))
                return &window;
            settleLayouts();
            const QImage kept = inspector->grab().toImage();
            click(chip("Footage"));
            tour.expect(waitUntil([&] {
                QWidget *now = shown("tw::FolderInspector");
                return now && now != inspector;
            }, kStepMs), "another folder's inspector");
            click(chip("moving"));
            tour.expect(waitUntil([&] { return inspectorShown() && inspectorAt(ProjectView::inspectorHeight)(); }, kStepMs),
                        "the folder's inspector again");
            settleLayouts();
            tour.expectAsBuilt(kept, shown("tw::FolderInspector")->grab().toImage(), QStringLiteral("the folder's inspector"));
            return &window;
        });
    };
    // A folder with more patterns than its tile shows: the "more" chip.
    tour.step("folder-more-chip", [&] {
        main->path().setIDs({QStringLiteral("p-archive")});
        tour.expect(waitUntil([&] { return labelled<FolderChip>(syncPage(), "label", "ignoring"); }, kStepMs), "its page");
        click(labelled<FolderChip>(syncPage(), "label", "ignoring"));
        tour.expect(waitUntil([&] { return shown("QWidget", QStringLiteral("moreChip")); }, kStepMs), "the more chip");
        return &window;
    });
    tour.focusMarks(QStringLiteral("focus-marks"), window);
    // Dark is chosen from System, as a new user does.
    lookAgain(AppPreferences::Appearance::System);
    switchedWithInspector(AppPreferences::Appearance::Dark, QStringLiteral("dark-"));
    screensIn(QStringLiteral("dark-"));
    tour.focusMarks(QStringLiteral("dark-focus-marks"), window);
    switchedWithInspector(AppPreferences::Appearance::Light, QString());
    lookAgain(AppPreferences::Appearance::Dark);
    emptyScreens(QStringLiteral("dark-"));
    lookAgain(AppPreferences::Appearance::Light);
    emptyScreens(QString());

    tour.step("tray-menu", [&] {
        tour.expect(waitUntil([&] { return shell->tray().isShown(); }, kStepMs), "the tray item is up");
        MenuBarContent &menu = shell->trayMenu();
        menu.popup(window.geometry().center());
        tour.expect(waitUntil([&] { return menu.isVisible(); }, kStepMs), "the menu pops up");
        QStringList texts;
        for (QAction *action : menu.actions())
            texts << action->text();
        tour.expect(texts.contains("Connected") && texts.contains("Pause Syncing") && texts.contains("Quit TidewellMesh"),
                    "the state and the commands");
        return static_cast<QWidget *>(&menu);
    });

    tour.step("quit", [&] {
        MenuBarContent &menu = shell->trayMenu();
        for (QAction *action : menu.actions())
            if (action->text() == "Quit TidewellMesh")
                action->trigger();
        tour.expect(waitUntil([&] { return !exits.isEmpty(); }, kStepMs), "the application ends");
        runEventLoopFor(300);
        const QStringList log = engine.callLog();
        tour.expect(log.count("stop()") == 1, "the engine is stopped once");
        // A reconcile pass under way finishes its steps (the loops end after
        // their current step), but no cycle and no event poll begins after
        // the stop, and nothing keeps asking.
        const QStringList after = log.mid(log.lastIndexOf("stop()") + 1);
        const bool loopStarted = std::any_of(after.cbegin(), after.cend(), [](const QString &call) {
            return call == "status()" || call.startsWith("events(") || call == "cumulativeBytes()";
        });
        tour.expect(!loopStarted, qPrintable("no loop runs after the engine's stop: " + after.join(", ")));
        runEventLoopFor(300);
        tour.expect(engine.callLog().size() == log.size(), "the engine is asked nothing more");
        return static_cast<QWidget *>(nullptr);
    });
    shell.reset();
    g_tour = nullptr;
    return tour.finish();
}

} // namespace
} // namespace tw

int main(int argc, char **argv)
{
    qInstallMessageHandler(tw::messageHandler);
    QApplication app(argc, argv);
    return tw::runTour();
}

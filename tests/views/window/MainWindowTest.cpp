#include "views/window/MainWindow.h"

#include "app/AppEnvironment.h"
#include "app/AppSignals.h"
#include "design/ButtonTint.h"
#include "design/FileIconProvider.h"
#include "controllers/EngineController.h"
#include "controllers/FolderController.h"
#include "projects/ProjectController.h"
#include "utilities/UserDefaults.h"
#include "views/window/EngineStatusBar.h"
#include "views/window/IncomingBanner.h"
#include "views/window/JoinApprovalPrompt.h"

#include "AwaitTask.h"
#include "QtPrinters.h"
#include "ViewEnvironment.h"
#include "WaitUntil.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QToolBar>
#include <QWidgetAction>
#include <QWindow>
#include <QtTest/QTest>
#include <gtest/gtest.h>

namespace tw {
namespace {

// Factories that say what the window asked for: pages and sheets named after
// the view and its argument, and the sheets' callbacks kept for the test.
struct Views
{
    ViewFactories factories()
    {
        ViewFactories made;
        made.projectOverview = [this](AppEnvironment &, NavigationPath &) { return page("overview"); };
        made.projectView = [this](AppEnvironment &, NavigationPath &, QString id) { return page("project:" + id); };
        made.incomingView = [this](AppEnvironment &) { return page("incoming"); };
        made.welcomeSheet = [this](AppEnvironment &, QWidget *parent, std::function<void()> onCreate) {
            welcomeCreate = std::move(onCreate);
            return sheet("welcome", parent);
        };
        made.newProjectSheet = [this](AppEnvironment &, QWidget *parent, ViewFactories::OnCreated onCreate) {
            newProjectCreate = std::move(onCreate);
            return sheet("newProject", parent);
        };
        made.joinSheet = [this](AppEnvironment &, QWidget *parent, Invite invite, ViewFactories::OnCreated onJoined) {
            joined = std::move(onJoined);
            return sheet("join:" + invite.deviceID, parent);
        };
        made.nodeSetupConfirmSheet = [this](AppEnvironment &, QWidget *parent, NodeSetupPayload payload) {
            return sheet("nodeSetup:" + payload.name, parent);
        };
        made.feedbackSheet = [this](AppEnvironment &, QWidget *parent) { return sheet("feedback", parent); };
        return made;
    }

    QWidget *page(const QString &name)
    {
        made.append(name);
        auto *widget = new QWidget;
        widget->setObjectName(name);
        widget->setWindowTitle(name);
        return widget;
    }
    QDialog *sheet(const QString &name, QWidget *parent)
    {
        made.append(name);
        auto *dialog = new QDialog(parent);
        dialog->setObjectName(name);
        return dialog;
    }

    QStringList made;
    std::function<void()> welcomeCreate;
    ViewFactories::OnCreated newProjectCreate;
    ViewFactories::OnCreated joined;
};

Project sync(const QString &id, const QString &folderID)
{
    ProjectFolder folder;
    folder.id = id + "-folder";
    folder.label = id;
    folder.localPath = "/tmp/" + id;
    folder.syncthingFolderID = folderID;
    return Project{.id = id, .name = "Sync " + id, .colorHex = {}, .members = {}, .folders = {folder}, .createdAt = {}};
}

// A window over an environment; the welcome was seen unless a test wants it.
struct WindowRig
{
    explicit WindowRig(const QList<Project> &projects = {}, bool welcomeSeen = true) : rig(projects)
    {
        if (welcomeSeen)
            rig.defaults.setBoolean(MainWindow::didCompleteSetupKey, true);
        window = std::make_unique<MainWindow>(*rig.env, appSignals, views.factories());
        window->resize(800, 900);
    }
    void show()
    {
        window->show();
        QCoreApplication::processEvents();
    }
    QString openSheet() const { return window->openSheet() ? window->openSheet()->objectName() : QString(); }
    QString barTitle() const { return window->statusBar()->findChild<QLabel *>("statusTitle")->text(); }
    // Lets the coalesced change reach the window.
    void settle() { runEventLoopFor(20); }

    ViewEnvironment rig;
    AppSignals appSignals;
    Views views;
    std::unique_ptr<MainWindow> window;
};

ProjectController::PendingDeviceApproval request(const QString &device, const QString &sync)
{
    return {.deviceID = device, .name = "Mac " + device, .projectID = sync, .projectName = "Sync " + sync};
}

TEST(MainWindowTest, PagesFollowThePathAndTheBarTheSyncOnTop)
{
    WindowRig w({sync("A", "fa"), sync("B", "fb")});
    FakeSyncEngine &engine = w.rig.engine;
    engine.state.running = true;
    engine.state.folders = {SyncFolder{.id = "fa", .label = "A"}, SyncFolder{.id = "fb", .label = "B"}};
    engine.state.folderStatuses["fb"] = FolderStatus{.id = "fb", .globalBytes = 1000, .needBytes = 400};
    engine.state.pendingDevices = {PendingDevice{"D1", "Mac 1", "127.0.0.1:22000"},
                                   PendingDevice{"D2", "Mac 2", "127.0.0.2:22000"}};
    awaitTask(w.rig.env->engineState().refreshStatus());
    awaitTask(w.rig.env->folders().refresh());
    awaitTask(w.rig.env->projects().refreshPending());
    w.show();
    w.settle();
    IncomingBanner *banner = w.window->incomingBanner();

    struct Row
    {
        const char *name;
        QStringList path;
        QString top;
        bool back;
        QString bar;
        bool banner;
    };
    const QList<Row> rows = {
        {"empty path: the overview, all syncs", {}, "overview", false, EngineStatusBar::syncingText, true},
        {"a sync without transfers", {"A"}, "project:A", true, EngineStatusBar::upToDateText, true},
        {"the sync that receives", {"B"}, "project:B", true, EngineStatusBar::syncingText, true},
        {"incoming last: all syncs, no banner",
         {"A", NavigationPath::incomingRoute},
         "incoming",
         true,
         EngineStatusBar::syncingText,
         false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        w.window->path().setIDs(row.path);
        ASSERT_NE(w.window->topPage(), nullptr);
        EXPECT_EQ(w.window->topPage()->objectName(), row.top);
        // The top page's title names the window, isolated from the window's own words.
        EXPECT_EQ(w.window->windowTitle(), u'\u2068' + row.top + u"\u2069 \u2014 TidewellMesh"_qs);
        EXPECT_EQ(w.window->stack()->currentWidget(), w.window->topPage());
        EXPECT_EQ(w.window->toolBar()->actions().size() == 1, row.back);
        EXPECT_EQ(w.barTitle(), row.bar);
        EXPECT_EQ(banner->isVisible(), row.banner);
        // Over the toolbar's free end, it hides nothing of the page.
        w.settle();
        const QRect pill = banner->mask().boundingRect().translated(banner->pos());
        EXPECT_TRUE(!row.banner || w.window->toolBar()->geometry().contains(pill)) << pill.y() << " " << pill.height();
    }

    w.window->topPage()->setWindowTitle("Renamed");
    EXPECT_EQ(w.window->windowTitle(), u"\u2068Renamed\u2069 \u2014 TidewellMesh"_qs);
    // A right-to-left override in a sync's name turns nothing of the rest.
    w.window->topPage()->setWindowTitle(u"Five Macs \u202Eon"_qs);
    EXPECT_EQ(w.window->windowTitle(), u"\u2068Five Macs \u202Eon\u2069 \u2014 TidewellMesh"_qs);

    // The banner counts and opens the incoming requests; at 0 it goes.
    w.window->path().setIDs({});
    w.settle();
    // Outside the layout: its going moves nothing.
    const QRect pages = w.window->stack()->geometry();
    EXPECT_EQ(banner->text(), QStringLiteral("2 incoming \u2014 a teammate wants to share with you. Review"));
    // Short of room (a sync's long name), the sentence is cut, never "Review".
    QWidgetAction name(nullptr);
    name.setDefaultWidget(new QWidget);
    name.defaultWidget()->setFixedWidth(w.window->width() - banner->sizeHint().width() * 2 / 3);
    w.window->topPage()->addAction(&name);
    w.settle();
    banner->grab();
    EXPECT_TRUE(banner->shownText().endsWith(u"\u2026 Review"_qs)) << qPrintable(banner->shownText());
    w.window->topPage()->removeAction(&name);
    QTest::mouseClick(banner, Qt::LeftButton);
    EXPECT_EQ(w.window->path().ids(), QStringList{NavigationPath::incomingRoute});
    EXPECT_FALSE(banner->isVisible());
    w.window->path().pop();
    engine.state.pendingDevices.clear();
    awaitTask(w.rig.env->projects().refreshPending());
    w.settle();
    EXPECT_FALSE(banner->isVisible());
    EXPECT_EQ(w.window->stack()->geometry(), pages);
}

TEST(MainWindowTest, TopPageActionsFillTheToolbarAndLeaveWithThePage)
{
    WindowRig w;
    w.show();
    w.window->path().push("A");
    QWidget *page = w.window->topPage();
    QPointer<QWidget> watched = page;
    auto *action = new QAction("Rename", page);
    page->addAction(action);
    EXPECT_EQ(w.window->toolBar()->actions(), (QList<QAction *>{w.window->findChild<QAction *>("backAction"), action}));

    // Back: the page's action leaves the toolbar first, the page goes later.
    w.window->toolBar()->actions().first()->trigger();
    EXPECT_TRUE(w.window->toolBar()->actions().isEmpty());
    EXPECT_EQ(w.window->topPage()->objectName(), "overview");
    EXPECT_TRUE(waitUntil([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return watched.isNull();
    }));
    // The root stays the same page all along.
    EXPECT_EQ(w.views.made.count("overview"), 1);

    // A page whose menu is open stays until the menu closed.
    w.window->path().push("B");
    QPointer<QWidget> withMenu = w.window->topPage();
    auto *menu = new QMenu(withMenu);
    menu->addAction("Remove");
    menu->popup(withMenu->mapToGlobal(QPoint(0, 0)));
    ASSERT_TRUE(waitUntil([&] { return menu->isVisible(); }));
    w.window->path().pop();
    runEventLoopFor(20);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(withMenu.isNull());
    menu->hide();
    EXPECT_TRUE(waitUntil([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return withMenu.isNull();
    }));
}

TEST(MainWindowTest, WelcomeIsShownOnceAndLeadsToTheNewSync)
{
    WindowRig w({}, false);
    w.show();
    EXPECT_EQ(w.openSheet(), "welcome");
    EXPECT_EQ(w.rig.defaults.boolean(MainWindow::didCompleteSetupKey), std::optional<bool>(true));

    // Its create: the new-sync sheet follows once the welcome closed.
    w.views.welcomeCreate();
    w.window->openSheet()->accept();
    ASSERT_TRUE(waitUntil([&] { return w.openSheet() == "newProject"; }));
    w.views.newProjectCreate("NEW");
    w.window->openSheet()->accept();
    EXPECT_EQ(w.window->path().ids(), QStringList{"NEW"});
    EXPECT_EQ(w.window->topPage()->objectName(), "project:NEW");

    // A joined sync is shown alike.
    w.rig.env->setPendingInvite(Invite{.deviceID = "INV", .name = "Ann", .project = "S", .tsIP = {}});
    ASSERT_TRUE(waitUntil([&] { return w.openSheet() == "join:INV"; }));
    w.views.joined("JOINED");
    w.window->openSheet()->accept();
    EXPECT_EQ(w.window->path().ids(), QStringList{"JOINED"});
    EXPECT_FALSE(w.rig.env->pendingInvite().has_value());

    // Dismissed or not, a later window shows no welcome.
    MainWindow again(*w.rig.env, w.appSignals, w.views.factories());
    again.show();
    runEventLoopFor(20);
    EXPECT_EQ(w.views.made.count("welcome"), 1);
}

TEST(MainWindowTest, TheWelcomeStaysAboveItsWindow)
{
    WindowRig w({}, false);
    w.show();
    ASSERT_EQ(w.openSheet(), "welcome");
    QDialog *welcome = w.window->openSheet();
    EXPECT_EQ(welcome->windowModality(), Qt::WindowModal);
    ASSERT_TRUE(welcome->windowHandle());
    EXPECT_EQ(welcome->windowHandle()->transientParent(), w.window->windowHandle());

    // Another application's window comes forward, then this window is
    // brought back: its sheet comes forward with it.
    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    ASSERT_TRUE(waitUntil([&] { return QApplication::activeWindow() == &elsewhere; }));
    w.window->raise();
    w.window->activateWindow();
    ASSERT_TRUE(waitUntil([&] { return QApplication::activeWindow() == welcome; }));
    w.settle();
    EXPECT_EQ(w.openSheet(), "welcome");
}

// A link's sheet comes first, whether the link came with the first start
// or while the welcome is up; the welcome comes back only when the link's
// sheet is declined.
TEST(MainWindowTest, ALinksSheetReplacesTheWelcomeUntilDeclined)
{
    const struct
    {
        bool whileWelcomeIsUp;
        bool invite;
        bool accepted;
    } rows[] = {{true, true, false}, {true, true, true},   {true, false, false},
                {false, true, false}, {false, true, true}, {false, false, true}};
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::Message() << "while up " << row.whileWelcomeIsUp << ", invite " << row.invite
                                        << ", accepted " << row.accepted);
        WindowRig w({}, false);
        const auto openLink = [&] {
            if (row.invite)
                w.rig.env->setPendingInvite(Invite{.deviceID = "INV", .name = "Ann", .project = "S", .tsIP = {}});
            else
                w.rig.env->setPendingNodeSetup(NodeSetupPayload{"http://127.0.0.1:1", "key", "Shelf"});
        };
        const QString linkSheet = row.invite ? "join:INV" : "nodeSetup:Shelf";
        if (!row.whileWelcomeIsUp)
            openLink();
        w.show();
        if (row.whileWelcomeIsUp) {
            ASSERT_EQ(w.openSheet(), "welcome");
            openLink();
        }
        ASSERT_TRUE(waitUntil([&] { return w.openSheet() == linkSheet; }));
        if (row.accepted)
            w.window->openSheet()->accept();
        else
            w.window->openSheet()->reject();
        const int welcomes = (row.whileWelcomeIsUp ? 1 : 0) + (row.accepted ? 0 : 1);
        ASSERT_TRUE(waitUntil([&] { return w.views.made.count("welcome") == welcomes; }));
        w.settle();
        EXPECT_EQ(w.openSheet(), row.accepted ? QString() : "welcome");
        EXPECT_FALSE(w.rig.env->pendingInvite() || w.rig.env->pendingNodeSetup());
    }
}

TEST(MainWindowTest, OneOwnSheetAtATimeAndLinksWaitTheirTurn)
{
    WindowRig w;
    w.show();
    const Invite first{.deviceID = "I1", .name = "Ann", .project = "S", .tsIP = {}};
    const Invite second{.deviceID = "I2", .name = "Bob", .project = "S", .tsIP = {}};
    const NodeSetupPayload node{"http://127.0.0.1:1", "key", "Shelf"};

    emit w.appSignals.showFeedbackSheet();
    EXPECT_EQ(w.openSheet(), "feedback");
    // A link under the feedback sheet waits for its close.
    w.rig.env->setPendingInvite(first);
    w.settle();
    EXPECT_EQ(w.openSheet(), "feedback");
    w.window->openSheet()->reject();
    ASSERT_TRUE(waitUntil([&] { return w.openSheet() == "join:I1"; }));

    // A link opened over a link's sheet waits until that one is answered,
    // whichever kind either is: nothing the user was shown is lost.
    w.rig.env->setPendingNodeSetup(node);
    w.settle();
    EXPECT_EQ(w.openSheet(), "join:I1");
    w.window->openSheet()->reject();
    ASSERT_TRUE(waitUntil([&] { return w.openSheet() == "nodeSetup:Shelf"; }));
    w.rig.env->setPendingInvite(second);
    w.settle();
    EXPECT_EQ(w.openSheet(), "nodeSetup:Shelf");
    w.window->openSheet()->reject();
    ASSERT_TRUE(waitUntil([&] { return w.openSheet() == "join:I2"; }));
    w.window->openSheet()->reject();
    ASSERT_TRUE(waitUntil([&] { return !w.rig.env->pendingInvite().has_value(); }));
    runEventLoopFor(20);
    EXPECT_EQ(w.openSheet(), QString());
    EXPECT_EQ(w.views.made.filter(":").join(","), "join:I1,nodeSetup:Shelf,join:I2");
}

struct PromptRig : WindowRig
{
    PromptRig() : WindowRig({sync("P", "fp")}) { show(); }
    JoinApprovalPrompt *prompt() const { return window->approvalPrompt(); }
    ProjectController &projects() const { return rig.env->projects(); }
};

TEST(MainWindowTest, PromptTextsAndAllowActOnTheRequestShown)
{
    PromptRig p;
    const auto shown = request("D1", "P");
    const auto newer = request("D2", "P");
    // The engine still lists the newer request's Mac as asking to join.
    p.rig.engine.state.pendingDevices = {{"D2", "Mac D2", ""}};
    p.projects().setPendingDeviceApproval(shown);
    ASSERT_TRUE(waitUntil([&] { return p.prompt() != nullptr; }));
    JoinApprovalPrompt *prompt = p.prompt();
    EXPECT_EQ(prompt->text(), QStringLiteral("\u201c\u2068Mac D1\u2069\u201d wants to join"));
    EXPECT_EQ(prompt->informativeText(),
              QStringLiteral("Add \u201c\u2068Mac D1\u2069\u201d to the sync \u201c\u2068Sync P\u2069\u201d? Only allow Macs you recognize "
                             "\u2014 they\u2019ll receive this sync\u2019s folders."));
    EXPECT_EQ(prompt->button(JoinApprovalPrompt::Choice::Allow)->text(),
              QStringLiteral("Allow \u2014 add to \u201c\u2068Sync P\u2069\u201d"));
    EXPECT_EQ(prompt->buttonRole(prompt->button(JoinApprovalPrompt::Choice::Decline)), QMessageBox::DestructiveRole);
    EXPECT_EQ(TintedButtonPainter::tintOf(*prompt->button(JoinApprovalPrompt::Choice::Decline)), ButtonTint::Destructive);
    EXPECT_EQ(prompt->escapeButton(), prompt->button(JoinApprovalPrompt::Choice::NotNow));

    // Replaced while shown: Allow still admits the Mac shown, and the newer
    // request outlives the close to get a prompt of its own.
    p.projects().setPendingDeviceApproval(newer);
    p.settle();
    EXPECT_EQ(p.prompt(), prompt);
    QTest::mouseClick(prompt->button(JoinApprovalPrompt::Choice::Allow), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return p.rig.engine.callCount("dismissPendingDevice") == 1; }));
    EXPECT_EQ(p.rig.engine.callsOf("addDevice"), QStringList{"addDevice(D1)"});
    EXPECT_EQ(p.rig.engine.callsOf("dismissPendingDevice"), QStringList{"dismissPendingDevice(D1)"});
    EXPECT_EQ(p.projects().pendingDeviceApproval(), std::optional(newer));
    ASSERT_TRUE(waitUntil([&] { return p.prompt() && p.prompt()->request() == newer; }));

    // Not now calls nothing and clears the request.
    const QStringList before = p.rig.engine.callLog();
    QTest::mouseClick(p.prompt()->button(JoinApprovalPrompt::Choice::NotNow), Qt::LeftButton);
    p.settle();
    EXPECT_EQ(p.rig.engine.callLog(), before);
    EXPECT_FALSE(p.projects().pendingDeviceApproval().has_value());
    EXPECT_EQ(p.prompt(), nullptr);
}

// A long sync name is cut on the Allow button: the prompt is no wider than
// the message makes it, as for a long name of the Mac.
TEST(MainWindowTest, PromptCutsALongSyncNameOnAllow)
{
    const QString longName = QStringLiteral("of the grading for the feature Tidewater, reels one to six");
    auto longMac = request("D1", "P");
    longMac.name += QLatin1Char(' ') + longName;
    auto longSync = request("D1", "P");
    longSync.projectName += QLatin1Char(' ') + longName;
    JoinApprovalPrompt usual(longMac, nullptr);
    JoinApprovalPrompt cut(longSync, nullptr);
    for (JoinApprovalPrompt *prompt : {&usual, &cut})
        prompt->show();
    const QString allow = cut.button(JoinApprovalPrompt::Choice::Allow)->text();
    EXPECT_TRUE(allow.startsWith(QStringLiteral("Allow \u2014 add to \u201c\u2068Sync P of"))) << qPrintable(allow);
    EXPECT_TRUE(allow.endsWith(QStringLiteral("\u2026\u2069\u201d"))) << qPrintable(allow);
    EXPECT_LE(cut.width(), usual.width());
}

TEST(MainWindowTest, PromptWaitsBehindTheWindowsSheetsButNotAPagesDialog)
{
    PromptRig p;
    emit p.appSignals.showFeedbackSheet();
    p.projects().setPendingDeviceApproval(request("D1", "P"));
    p.settle();
    EXPECT_EQ(p.prompt(), nullptr);
    p.window->openSheet()->reject();
    ASSERT_TRUE(waitUntil([&] { return p.prompt() != nullptr; }));
    QTest::mouseClick(p.prompt()->button(JoinApprovalPrompt::Choice::Decline), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return p.rig.engine.callCount("dismissPendingDevice") == 1; }));
    EXPECT_EQ(p.rig.engine.callCount("addDevice"), 0);

    // A page's own dialog: the prompt opens over it at once.
    auto *pageDialog = new QDialog(p.window->topPage());
    pageDialog->setWindowModality(Qt::WindowModal);
    pageDialog->open();
    p.projects().setPendingDeviceApproval(request("D2", "P"));
    ASSERT_TRUE(waitUntil([&] { return p.prompt() != nullptr; }));
    EXPECT_EQ(p.prompt()->parentWidget(), pageDialog);

    // A link that opens another page closes the page's dialog; the prompt
    // that stood over it stays, over the window.
    const QPointer<JoinApprovalPrompt> prompt = p.prompt();
    p.window->path().setIDs({"P"});
    EXPECT_TRUE(waitUntil([&] { return !pageDialog->isVisible(); }));
    EXPECT_EQ(pageDialog->result(), QDialog::Rejected);
    ASSERT_EQ(p.prompt(), prompt);
    EXPECT_TRUE(prompt->isVisible());
    EXPECT_EQ(prompt->parentWidget(), p.window.get());
    p.prompt()->reject();
    delete pageDialog;
}

TEST(MainWindowTest, AMountChangeEmptiesTheIconCache)
{
    WindowRig w;
    QTemporaryDir folder;
    awaitTask(FileIconProvider::loadAsync(folder.path(), false));
    ASSERT_TRUE(FileIconProvider::cached(folder.path()));
    emit w.rig.env->iconCacheStale();
    EXPECT_FALSE(FileIconProvider::cached(folder.path()));
    const int probes = FileIconProvider::counts().probes;
    awaitTask(FileIconProvider::loadAsync(folder.path(), false));
    EXPECT_EQ(FileIconProvider::counts().probes, probes + 1);
}

} // namespace
} // namespace tw

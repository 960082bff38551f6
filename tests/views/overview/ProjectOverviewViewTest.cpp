#include "views/overview/ProjectOverviewView.h"

#include "app/AppEnvironment.h"
#include "controllers/DeviceController.h"
#include "controllers/ETAEstimator.h"
#include "controllers/EngineController.h"
#include "controllers/FolderController.h"
#include "design/AdaptiveGrid.h"
#include "design/DestructiveItem.h"
#include "design/StatusDot.h"
#include "design/Theme.h"
#include "projects/ProjectController.h"
#include "views/kit/FocusRing.h"
#include "views/kit/KeyboardFocus.h"
#include "views/overview/DeviceMini.h"
#include "views/overview/NewProjectSheet.h"
#include "views/overview/ProjectCard.h"
#include "views/window/NavigationPath.h"

#include "AwaitTask.h"
#include "SaveShot.h"
#include "TextContrast.h"
#include "ViewTestEnv.h"
#include "WaitUntil.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QToolBar>
#include <QtTest/QTest>

namespace tw {
namespace {

QString macID(int n)
{
    return QStringLiteral("MAC%1AAA-BBBBBBB-CCCCCCC-DDDDDDD-EEEEEEE-FFFFFFF-GGGGGGG-HHHHHHH").arg(n);
}

class ProjectOverviewViewTest : public ViewTestEnv
{
protected:
    void SetUp() override
    {
        ViewTestEnv::SetUp();
        EngineStatus status = app().engineState().status();
        status.isRunning = true;
        app().engineState().setStatus(status);
    }

    Project addProject(const QString &name, int peers = 0, QList<ProjectFolder> folders = {})
    {
        Project project;
        project.id = QStringLiteral("sync-") + name;
        project.name = name;
        for (int i = 0; i < peers; ++i)
            project.members.append(ProjectMember{.deviceID = macID(i), .displayName = QStringLiteral("Mac %1").arg(i)});
        project.folders = std::move(folders);
        app().projects().add(project);
        return project;
    }

    ProjectOverviewView &showView()
    {
        view = std::make_unique<ProjectOverviewView>(app(), path);
        view->resize(1100, 900);
        view->show();
        view->refresh();
        // Children added to a shown widget are shown from the event loop.
        for (int round = 0; round < 3; ++round)
            QCoreApplication::processEvents();
        return *view;
    }

    ProjectCard *card(const QString &id) const { return view->cards().child(id); }

    NavigationPath path;
    std::unique_ptr<ProjectOverviewView> view;
};

TEST_F(ProjectOverviewViewTest, NoSyncsShowTheEmptyStateTheTileAndOnlyNewSync)
{
    KeyboardFocus keyboard;
    qApp->installEventFilter(&keyboard);
    ProjectOverviewView &page = showView();
    EXPECT_TRUE(page.emptyState()->isVisibleTo(&page));
    EXPECT_FALSE(page.gridHost()->isVisibleTo(&page));
    EXPECT_EQ(page.findChild<QLabel *>(QStringLiteral("emptyTitle"))->text(), QStringLiteral("No syncs yet"));
    EXPECT_EQ(page.findChild<QLabel *>(QStringLiteral("emptyText"))->text(),
              QStringLiteral("A sync is one film or job. Add the drives to sync and invite your team \u2014 both sides "
                             "confirm once, then files flow automatically."));
    EXPECT_EQ(page.newSyncTile()->text(), QStringLiteral("New sync"));
    // Tab reaches the tile, and the window's ring shows it has the focus,
    // along the tile's own round corners; a click leaves no mark.
    QPushButton *tile = page.newSyncTile();
    const auto highlighted = [tile] {
        const QImage shot = tile->grab().toImage();
        const QList<QRgb> marks{tile->palette().color(QPalette::Highlight).rgb(),
                                FocusRing::colour(tile->palette()).rgb()};
        int count = 0;
        for (int x = 0; x < shot.width(); ++x)
            for (const int y : {0, shot.height() / 2, shot.height() - 1})
                count += int(marks.contains(shot.pixel(x, y)));
        return count;
    };
    EXPECT_TRUE(tile->focusPolicy() & Qt::TabFocus);
    EXPECT_EQ(highlighted(), 0);
    page.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&page));
    tile->setFocus(Qt::TabFocusReason);
    QTest::keyClick(tile, Qt::Key_Tab);
    ASSERT_TRUE(tile->hasFocus());
    EXPECT_GT(highlighted(), tile->width() / 2);
    const QImage ringed = tile->grab().toImage();
    EXPECT_EQ(ringed.pixel(2, 2), ringed.pixel(0, 0));
    QTest::mousePress(tile, Qt::LeftButton);
    EXPECT_EQ(highlighted(), 0);
    QTest::mouseRelease(tile, Qt::LeftButton, {}, QPoint(-5, -5));
    tile->clearFocus();
    QStringList shown;
    for (QAction *action : page.actions())
        if (action->isVisible())
            shown.append(action->text());
    EXPECT_EQ(shown, QStringList{QStringLiteral("New Sync")});

    page.newSyncTile()->click();
    ASSERT_TRUE(page.openSheet());
    page.openSheet()->nameField()->setText(QStringLiteral(" Film "));
    page.openSheet()->createButton()->click();
    ASSERT_EQ(app().projects().projects().size(), 1);
    EXPECT_EQ(app().projects().projects().first().name, QStringLiteral("Film"));
    EXPECT_EQ(path.ids(), QStringList{app().projects().projects().first().id});
    QCoreApplication::processEvents();
    page.newSyncAction()->trigger();
    ASSERT_TRUE(page.openSheet());
    page.openSheet()->close();
}

TEST_F(ProjectOverviewViewTest, IncomingCountsDistinctOffersAndIgnoredOnesCanBeShownAgain)
{
    const auto offer = [](const QString &folderID, const QString &by) {
        PendingFolder pending;
        pending.folderID = folderID;
        pending.label = folderID;
        pending.offeredByDeviceID = by;
        return pending;
    };
    engine.state.pendingFolders = {offer(QStringLiteral("f1"), macID(1)), offer(QStringLiteral("f1"), macID(2)),
                                   offer(QStringLiteral("f1"), macID(2)), offer(QStringLiteral("f2"), macID(1))};
    PendingDevice newMac;
    newMac.id = macID(3);
    newMac.name = QStringLiteral("New Mac");
    engine.state.pendingDevices = {newMac};
    awaitTask(app().projects().dismissIncomingFolderAll(QStringLiteral("f2")));
    awaitTask(app().projects().refreshPending());
    ProjectOverviewView &page = showView();

    EXPECT_TRUE(page.incomingAction()->isVisible());
    EXPECT_EQ(page.incomingAction()->text(), QStringLiteral("Incoming (2)"));
    EXPECT_TRUE(page.ignoredAction()->isVisible());
    EXPECT_EQ(page.ignoredAction()->text(), QStringLiteral("Show 1 ignored"));
    page.incomingAction()->trigger();
    EXPECT_EQ(path.ids(), QStringList{NavigationPath::incomingRoute});

    page.ignoredAction()->trigger();
    ASSERT_TRUE(waitUntil([&] { return app().projects().ignoredOfferedFolders().isEmpty(); }));
    page.refresh();
    EXPECT_FALSE(page.ignoredAction()->isVisible());
    EXPECT_EQ(page.incomingAction()->text(), QStringLiteral("Incoming (3)"));
    // "New Sync" stays where the pointer found it as requests come and go.
    QToolBar bar;
    bar.addActions(page.actions());
    bar.show();
    QCoreApplication::processEvents();
    const int withRequests = bar.widgetForAction(page.newSyncAction())->x();
    engine.state.pendingDevices.clear();
    engine.state.pendingFolders.clear();
    awaitTask(app().projects().refreshPending());
    page.refresh();
    QCoreApplication::processEvents();
    EXPECT_EQ(bar.widgetForAction(page.newSyncAction())->x(), withRequests);
}

TEST_F(ProjectOverviewViewTest, CardsFollowTheStoredOrderAndShowTheirMacs)
{
    addProject(QStringLiteral("Zeta"), 5);
    ProjectFolder unstated{.id = QStringLiteral("f"), .label = QStringLiteral("Footage")};
    addProject(QStringLiteral("Alpha"), 1, {unstated});
    ProjectOverviewView &page = showView();

    EXPECT_EQ(page.cards().ids(), (QStringList{QStringLiteral("sync-Zeta"), QStringLiteral("sync-Alpha")}));
    // This Mac and five teammates: four columns, two rows.
    ProjectCard *six = card(QStringLiteral("sync-Zeta"));
    EXPECT_EQ(six->minis().ids().size(), 6);
    EXPECT_EQ(six->miniGrid()->shownColumns(), 4);
    EXPECT_EQ(six->miniGrid()->shownRows(), 2);
    EXPECT_TRUE(six->subtitle().startsWith(QStringLiteral("6 Macs \u00B7 0 folders \u00B7 ")));
    EXPECT_TRUE(card(QStringLiteral("sync-Alpha"))->subtitle().startsWith(QStringLiteral("2 Macs \u00B7 1 folder \u00B7")));

    // The card's symbol in the accent; its menu's removal marked as destroying.
    EXPECT_TRUE(test::isShadeOf(six->findChild<QLabel *>(QStringLiteral("iconTile"))->palette().color(QPalette::WindowText),
                                Theme::accent()));
    emit six->customContextMenuRequested(QPoint(4, 4));
    auto *remove = six->findChild<QAction *>(QStringLiteral("removeSync"));
    ASSERT_TRUE(remove);
    EXPECT_TRUE(isDestructive(*remove));
    qobject_cast<QWidget *>(remove->parent())->close();

    QTest::mouseClick(six, Qt::LeftButton);
    EXPECT_EQ(path.ids(), QStringList{QStringLiteral("sync-Zeta")});
    // Tab reaches a card, and Return, Enter or Space opens it as a click does.
    EXPECT_TRUE(six->focusPolicy() & Qt::TabFocus);
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
        path.setIDs({});
        QTest::keyClick(six, key);
        EXPECT_EQ(path.ids(), QStringList{QStringLiteral("sync-Zeta")}) << key;
    }
    // The status block keeps its dot 4 points above its text.
    const QRect dot = six->findChild<StatusDot *>()->geometry();
    EXPECT_EQ(six->findChild<QLabel *>(QStringLiteral("status"))->geometry().top() - dot.bottom() - 1, 4);

    const Project added = app().projects().createProject(QStringLiteral("Last"), std::nullopt);
    page.refresh();
    EXPECT_EQ(page.cards().ids().last(), added.id);
    EXPECT_EQ(page.cards().child(QStringLiteral("sync-Zeta")), six);  // kept, not rebuilt
}

TEST_F(ProjectOverviewViewTest, OnlyAnotherSyncingMacWithAnEstimateShowsTimeLeft)
{
    // A folder without an engine ID yet: connected teammates count as syncing.
    ProjectFolder fresh{.id = QStringLiteral("f"), .label = QStringLiteral("Footage")};
    addProject(QStringLiteral("Film"), 2, {fresh});
    DeviceConnection connected;
    connected.id = macID(0);
    connected.connected = true;
    engine.state.connections = {connected};
    awaitTask(app().devices().refresh());
    const QString localID = engine.state.localDeviceID;
    for (const QString &id : {macID(0), macID(1), localID}) {
        app().eta().sample(QStringLiteral("dev:") + id, 10'000'000, app().now());
    }
    clock.advanceMs(5000);
    for (const QString &id : {macID(0), macID(1), localID})
        app().eta().sample(QStringLiteral("dev:") + id, 5'000'000, app().now());
    ProjectOverviewView &page = showView();

    const ProjectCard *film = card(QStringLiteral("sync-Film"));
    ASSERT_TRUE(film->minis().child(macID(0)));
    EXPECT_TRUE(film->minis().child(macID(0))->etaText().startsWith(QStringLiteral("~")))
        << film->minis().child(macID(0))->etaText().toStdString();
    EXPECT_EQ(film->minis().child(macID(1))->etaText(), QString());  // offline
    if (DeviceMini *thisMac = film->minis().child(localID)) {
        EXPECT_EQ(thisMac->etaText(), QString());
    }
    (void)page;
}

TEST_F(ProjectOverviewViewTest, RemovalTakesTheSyncAsItIsWhenConfirmed)
{
    engine.state.running = true;
    addProject(QStringLiteral("Film"));
    addProject(QStringLiteral("Keep"));
    ProjectOverviewView &page = showView();

    emit card(QStringLiteral("sync-Keep"))->removeRequested();
    ASSERT_TRUE(page.removalBox());
    EXPECT_EQ(page.removalBox()->text(), QStringLiteral("Remove \u201C\u2068Keep\u2069\u201D?"));
    page.removalBox()->findChild<QPushButton *>(QStringLiteral("cancel"))->click();
    EXPECT_EQ(app().projects().projects().size(), 2);

    emit card(QStringLiteral("sync-Film"))->removeRequested();
    ASSERT_TRUE(page.removalBox());
    EXPECT_EQ(page.removalBox()->informativeText(),
              QStringLiteral("This stops syncing and removes the sync from this app. Your files on this Mac (and your "
                             "teammates\u2019) are kept \u2014 nothing is deleted from disk."));
    // A folder added while the question is open.
    QDir(dir.path()).mkpath(QStringLiteral("Footage"));
    const std::optional<QString> folderID = awaitTask(
        app().projects().addFolder(QStringLiteral("sync-Film"), dir.filePath(QStringLiteral("Footage")), std::nullopt, true));
    ASSERT_TRUE(folderID);
    const std::optional<ProjectFolder> folder = app().projects().folderOf(QStringLiteral("sync-Film"), *folderID);
    ASSERT_TRUE(folder && folder->syncthingFolderID);
    page.removalBox()->findChild<QPushButton *>(QStringLiteral("confirm"))->click();

    EXPECT_FALSE(app().projects().project(QStringLiteral("sync-Film")));
    EXPECT_TRUE(app().projects().project(QStringLiteral("sync-Keep")));
    EXPECT_TRUE(waitUntil([&] {
        return engine.callsOf(QStringLiteral("removeFolder")).join(' ').contains(*folder->syncthingFolderID);
    })) << engine.callLog().join(", ").toStdString();
    page.refresh();
    EXPECT_EQ(page.cards().ids(), QStringList{QStringLiteral("sync-Keep")});
}

TEST_F(ProjectOverviewViewTest, ShotShowsThreeTones)
{
    ProjectFolder syncing{.id = QStringLiteral("s"), .label = QStringLiteral("Edit"), .syncthingFolderID = QStringLiteral("st-s")};
    ProjectFolder synced{.id = QStringLiteral("d"), .label = QStringLiteral("Done"), .syncthingFolderID = QStringLiteral("st-d")};
    ProjectFolder broken{.id = QStringLiteral("e"), .label = QStringLiteral("Broken"), .syncthingFolderID = QStringLiteral("st-e")};
    for (ProjectFolder *folder : {&syncing, &synced, &broken})
        folder->localPath = dir.path();
    addProject(QStringLiteral("Syncing"), 1, {syncing});
    addProject(QStringLiteral("Synced"), 1, {synced});
    addProject(QStringLiteral("Failing"), 1, {broken});
    const auto status = [this](const QString &id, FolderState state, qint64 global, qint64 need) {
        SyncFolder folder;
        folder.id = id;
        folder.label = id;
        folder.path = dir.filePath(id);
        engine.state.folders.append(folder);
        FolderStatus shown;
        shown.id = id;
        shown.state = state;
        shown.globalBytes = global;
        shown.needBytes = need;
        engine.state.folderStatuses[id] = shown;
    };
    status(QStringLiteral("st-s"), FolderState::Syncing, 1000, 544);
    status(QStringLiteral("st-d"), FolderState::Idle, 2'000'000, 0);
    status(QStringLiteral("st-e"), FolderState::Error, 0, 0);
    engine.state.running = true;
    awaitTask(app().folders().refresh());
    ProjectOverviewView &page = showView();

    EXPECT_EQ(card(QStringLiteral("sync-Syncing"))->presentation().statusText, QStringLiteral("Syncing \u2026 46 %"));
    EXPECT_EQ(card(QStringLiteral("sync-Syncing"))->presentation().healthLine, QStringLiteral("45% \u00B7 syncing"));
    EXPECT_EQ(card(QStringLiteral("sync-Synced"))->presentation().tone, CardTone::Synced);
    EXPECT_EQ(card(QStringLiteral("sync-Failing"))->presentation().tone, CardTone::Danger);
    const QImage shot = saveShot(page, QStringLiteral("project-overview"));
    ASSERT_FALSE(shot.isNull());
    // Each card's dot is drawn in its tone, in the shade that stands out
    // 3 : 1 from the card.
    const QList<std::pair<QString, QColor>> dots = {{QStringLiteral("sync-Syncing"), Theme::syncing()},
                                                    {QStringLiteral("sync-Synced"), Theme::synced()},
                                                    {QStringLiteral("sync-Failing"), Theme::danger()}};
    for (const auto &[id, tone] : dots) {
        const StatusDot *dot = card(id)->findChild<StatusDot *>();
        const QPoint centre = dot->mapTo(&page, dot->rect().center());
        const QColor ink = shot.pixelColor(centre * shot.devicePixelRatio());
        EXPECT_TRUE(test::isShadeOf(ink, tone)) << id.toStdString() << " " << ink.name().toStdString();
        EXPECT_GE(contrastRatio(ink, dot->palette().color(QPalette::Base)), markContrast) << id.toStdString();
    }
}

} // namespace
} // namespace tw

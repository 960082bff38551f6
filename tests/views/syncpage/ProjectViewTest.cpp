#include "views/syncpage/ProjectView.h"

#include "app/AppEnvironment.h"
#include "app/AppPreferences.h"
#include "app/texts/FriendlyFolderErrorMessage.h"
#include "controllers/DeviceController.h"
#include "controllers/EngineController.h"
#include "controllers/FolderController.h"
#include "design/DestructiveItem.h"
#include "design/ShownSymbol.h"
#include "design/TextStyle.h"
#include "engine/SyncEngineError.h"
#include "design/ElidedLabel.h"
#include "projects/ProjectController.h"
#include "views/window/ErrorBanner.h"
#include "views/window/NavigationPath.h"

#include "AwaitTask.h"
#include "SaveShot.h"
#include "ScreenChecks.h"
#include "ViewTestEnv.h"
#include "StatHook.h"
#include "WaitUntil.h"

#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScrollArea>
#include <QtTest/QTest>
#include <QApplication>
#include <QToolButton>
#include <QToolBar>

namespace tw {
namespace {

using Panel = ProjectSelection::FolderPanel;

class ProjectViewTest : public ViewTestEnv
{
protected:
    void SetUp() override
    {
        ViewTestEnv::SetUp();
        engine.state.running = true;
        EngineStatus status = app().engineState().status();
        status.isRunning = true;
        app().engineState().setStatus(status);
        awaitTask(app().devices().refresh());
    }

    Project addProject(const QString &id, QList<ProjectFolder> folders = {})
    {
        Project project;
        project.id = id;
        project.name = id;
        project.folders = std::move(folders);
        app().projects().add(project);
        return project;
    }

    ProjectView &showPage(const QString &id)
    {
        path.setIDs({id});
        page = std::make_unique<ProjectView>(app(), path, id);
        page->setAnimated(false);
        page->resize(900, 900);
        page->show();
        settle();
        return *page;
    }

    void settle()
    {
        page->refresh();
        for (int round = 0; round < 3; ++round)
            QCoreApplication::processEvents();
    }

    QString folderDir(const QString &name)
    {
        QDir(dir.path()).mkpath(name);
        return dir.filePath(name);
    }

    NavigationPath path;
    std::unique_ptr<ProjectView> page;
};

TEST_F(ProjectViewTest, UnknownSyncShowsNotFoundWithoutToolbar)
{
    ProjectView &view = showPage(QStringLiteral("nope"));
    EXPECT_TRUE(view.isNotFound());
    EXPECT_TRUE(view.actions().isEmpty());
    EXPECT_EQ(view.findChild<QLabel *>(QStringLiteral("notFound"))->text(), QStringLiteral("Sync not found"));
}

TEST_F(ProjectViewTest, PauseItemsFollowTheFoldersAndRefreshAfterwards)
{
    addProject(QStringLiteral("Empty"));
    ProjectView &view = showPage(QStringLiteral("Empty"));
    EXPECT_TRUE(view.noFoldersLabel()->isVisibleTo(&view));
    EXPECT_EQ(view.noFoldersLabel()->text(), QStringLiteral("No folders yet \u2014 press + or drag a folder here."));
    EXPECT_EQ(view.pauseSyncAction()->text(), QStringLiteral("Pause this sync"));
    EXPECT_EQ(view.pauseAllAction()->text(), QStringLiteral("Pause"));

    qsizetype before = engine.callLog().size();
    view.pauseAllAction()->trigger();
    ASSERT_TRUE(waitUntil([&] {
        const QStringList calls = engine.callLog().mid(before);
        const qsizetype paused = calls.indexOf(QRegularExpression(QStringLiteral("setAllPaused\\(.*\\)")));
        return paused >= 0 && calls.indexOf(QStringLiteral("folders()"), paused) > paused;
    })) << engine.callLog().mid(before).join(", ").toStdString();
    // While everything is paused the sync's own switch changes nothing
    // Syncthing does.
    view.refresh();
    EXPECT_FALSE(view.pauseSyncAction()->isEnabled());
    awaitTask(app().engineState().toggleAllPaused());
    view.refresh();
    EXPECT_TRUE(view.pauseSyncAction()->isEnabled());

    ProjectFolder off{.id = QStringLiteral("f"), .label = QStringLiteral("Footage"), .localPath = folderDir("F"),
                      .syncEnabled = false};
    addProject(QStringLiteral("Off"), {off});
    ProjectView &offPage = showPage(QStringLiteral("Off"));
    EXPECT_EQ(offPage.pauseSyncAction()->text(), QStringLiteral("Resume this sync"));
    before = engine.callLog().size();
    offPage.pauseSyncAction()->trigger();
    ASSERT_TRUE(waitUntil([&] {
        return app().projects().folderOf(QStringLiteral("Off"), QStringLiteral("f"))->syncEnabled
               && engine.callLog().mid(before).contains(QStringLiteral("folders()"));
    })) << engine.callLog().mid(before).join(", ").toStdString();
}

TEST_F(ProjectViewTest, InspectorFollowsSelectionPanelsAndTechnicalDetails)
{
    ProjectFolder footage{.id = QStringLiteral("f"), .label = QStringLiteral("Footage"), .localPath = folderDir("F")};
    addProject(QStringLiteral("Film"), {footage});
    ProjectView &view = showPage(QStringLiteral("Film"));
    const auto height = [&] { return view.inspectorArea()->maximumHeight(); };
    const auto hintShown = [&] { return view.inspectorContent()->objectName() == QStringLiteral("inspectorHint"); };
    EXPECT_TRUE(hintShown());

    const QString thisMac = view.deviceIDs().value(0);
    ASSERT_FALSE(thisMac.isEmpty());
    view.tapDevice(thisMac);
    EXPECT_EQ(height(), 270);
    EXPECT_FALSE(hintShown());
    app().preferences().setAlwaysShowTechnicalDetails(true);
    settle();
    EXPECT_EQ(height(), 460);
    EXPECT_EQ(view.inspectorArea()->minimumHeight(), 460);
    const QImage macShot = saveShot(view, QStringLiteral("project-view-mac"));
    EXPECT_EQ(macShot.height(), view.height() * macShot.devicePixelRatio());
    app().preferences().setAlwaysShowTechnicalDetails(false);
    settle();
    EXPECT_EQ(height(), 270);
    view.tapDevice(thisMac);
    EXPECT_TRUE(hintShown());

    view.tapFolder(QStringLiteral("f"));
    EXPECT_EQ(height(), 270);
    const QImage folderShot = saveShot(view, QStringLiteral("project-view-folder"));
    // The area's tint shows beside the inspector, in its margin.
    const QRect area = shotArea(folderShot, view, *view.inspectorArea());
    QColor tint = view.palette().color(QPalette::WindowText);
    tint.setAlphaF(0.03f);
    const QColor tinted = screenchecks::composited(tint, view.palette().color(QPalette::Window));
    EXPECT_LE(screenchecks::symbols::distance(folderShot.pixel(area.left() + 5, area.bottom() - 5), tinted.rgb()), 1);
    // Only the folder's inspector is in the area: the hint and the Mac's are gone.
    EXPECT_FALSE(hintShown());
    for (const QWidget *hint : view.inspectorArea()->findChildren<QWidget *>(QStringLiteral("inspectorHint")))
        EXPECT_FALSE(hint->isVisibleTo(view.inspectorArea()));
    EXPECT_EQ(folderShot.height(), view.height() * folderShot.devicePixelRatio());
    for (const auto &[panel, title] : {std::pair{Panel::Omit, QStringLiteral("Ignore files \u2014 \u2068" "Footage\u2069")},
                                       std::pair{Panel::Archive, QStringLiteral("Archive \u2014 \u2068" "Footage\u2069")}}) {
        view.openPanel(panel);
        EXPECT_EQ(height(), 460);
        ASSERT_TRUE(view.panelTitle());
        EXPECT_EQ(view.panelTitle()->fullText(), title);
        // Without an engine folder ID: the title and the divider, no panel.
        EXPECT_EQ(view.inspectorContent()->layout()->count(), 3);
        QMetaObject::invokeMethod(view.inspectorContent()->findChild<QObject *>(QStringLiteral("back")), "click");
        EXPECT_EQ(view.selection(), ProjectSelection::folder(QStringLiteral("f")));
        EXPECT_EQ(height(), 270);
    }

    view.openPanel(Panel::Omit);
    awaitTask(app().projects().removeFolder(QStringLiteral("Film"), QStringLiteral("f")));
    settle();
    EXPECT_TRUE(hintShown());
}

TEST_F(ProjectViewTest, AddingByPickerAndDropSelectsTheNewFolder)
{
    addProject(QStringLiteral("Film"));
    ProjectView &view = showPage(QStringLiteral("Film"));
    const QString chosen = folderDir(QStringLiteral("Picked"));
    for (const bool accept : {false, true}) {
        view.addFolderWithPicker();
        QFileDialog *dialog = view.findChild<QFileDialog *>();
        ASSERT_TRUE(dialog);
        dialog->setDirectory(chosen);
        QDialog *asked = dialog;
        if (accept)
            asked->accept();
        else
            asked->reject();
        QCoreApplication::processEvents();
        delete dialog;
    }
    ASSERT_TRUE(waitUntil([&] { return view.selection().inspecting == ProjectSelection::Inspecting::Folder; }));
    const Project film = *app().projects().project(QStringLiteral("Film"));
    ASSERT_EQ(film.folders.size(), 1);
    EXPECT_EQ(film.folders.first().localPath, chosen);
    EXPECT_EQ(film.folders.first().label, QStringLiteral("Picked"));
    EXPECT_TRUE(film.folders.first().archiveDeletedFiles);
    EXPECT_EQ(view.selection(), ProjectSelection::folder(film.folders.first().id));

    QFile file(folderDir(QStringLiteral("dropped")) + QStringLiteral("/note.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(folderDir(QStringLiteral("dropped/A"))), QUrl::fromLocalFile(file.fileName()),
                  QUrl::fromLocalFile(folderDir(QStringLiteral("dropped/B")))});
    EXPECT_TRUE(view.acceptDrops());
    EXPECT_FALSE(view.handleDrop(QMimeData()));
    // A drop may come from a network mount that has gone away.
    const test::StatHook stats(dir.filePath(QStringLiteral("dropped")));
    EXPECT_TRUE(view.handleDrop(mime));
    ASSERT_TRUE(waitUntil([&] { return app().projects().project(QStringLiteral("Film"))->folders.size() == 3; }))
        << app().projects().project(QStringLiteral("Film"))->folders.size();
    EXPECT_TRUE(waitUntil([&] { return !app().projects().isReconciling(); }));
    EXPECT_EQ(stats.callsOnOwnThread(), 0);
    settle();
    EXPECT_EQ(view.folderIDs().size(), 3);
    EXPECT_FALSE(view.noFoldersLabel()->isVisibleTo(&view));
}

TEST_F(ProjectViewTest, MoreOpensFromAnywhereOnItsFaceAndTheSwitcherShowsOneArrow)
{
    addProject(QStringLiteral("A"));
    ProjectView &view = showPage(QStringLiteral("A"));
    QToolBar bar;
    bar.addActions(view.actions());
    bar.show();
    auto *more = bar.findChild<QToolButton *>(QStringLiteral("moreButton"));
    ASSERT_NE(more, nullptr);
    EXPECT_EQ(more->toolTip(), ProjectView::moreText);
    EXPECT_TRUE(isDestructive(*view.findChild<QAction *>(QStringLiteral("removeSync"))));
    // The folders' header says where else they come from, faintly.
    const QColor note = view.findChild<QLabel *>(QStringLiteral("headerSubtitle"))->palette().color(QPalette::WindowText);
    EXPECT_EQ(note.rgb(), view.palette().color(QPalette::WindowText).rgb());
    // At least that faint tone, stronger where it must be to read.
    EXPECT_GE(note.alphaF(), tertiaryStrength - 0.01);
    // The face's left edge, where a split button's action would sit.
    QTest::mouseClick(more, Qt::LeftButton, {}, QPoint(3, more->height() / 2));
    ASSERT_TRUE(waitUntil([] { return QApplication::activePopupWidget() != nullptr; }));
    EXPECT_EQ(QApplication::activePopupWidget()->objectName(), QStringLiteral("more"));
    QApplication::activePopupWidget()->close();

    auto *switcher = bar.findChild<QToolButton *>(QStringLiteral("switcherButton"));
    ASSERT_NE(switcher, nullptr);
    EXPECT_EQ(switcher->text(), QStringLiteral("\u2068" "A\u2069 \u25BE"));
    // No arrow of the style's own beside it.
    EXPECT_EQ(switcher->menu(), nullptr);
    QTest::mouseClick(switcher, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([] { return QApplication::activePopupWidget() != nullptr; }));
    EXPECT_EQ(QApplication::activePopupWidget(), view.switcherMenu());
    QApplication::activePopupWidget()->close();
}

// What a folder's lines lack is said on its own sync's page, for as long as
// the folder goes without them.
TEST_F(ProjectViewTest, IgnoreLinesSyncthingCannotUseAreSaidOnTheirSyncsPage)
{
    SyncFolder listed;
    listed.id = "st";
    listed.path = folderDir("Work");
    listed.hasSyncedXattrFilter = true;
    engine.state.folders = {listed};
    addProject("A", {{.id = "F", .label = "Work", .localPath = listed.path, .ignorePatterns = {"[abc"},
                      .syncthingFolderID = "st"}});
    addProject("B");
    awaitTask(app().projects().reconcileAll());
    const std::optional<QString> refusal = app().projects().ignoreRefusal("st");
    ASSERT_TRUE(refusal);
    ProjectView &view = showPage("A");
    EXPECT_EQ(view.errorBanner()->message(), *refusal);
    ProjectView &other = showPage("B");
    EXPECT_FALSE(other.errorBanner()->isVisibleTo(&other));
}

TEST_F(ProjectViewTest, SwitcherBannerAndRemoval)
{
    addProject(QStringLiteral("A"));
    addProject(QStringLiteral("B"));
    ProjectView &view = showPage(QStringLiteral("A"));
    ASSERT_EQ(view.switcherMenu()->actions().size(), 2);
    view.switcherMenu()->actions().at(0)->trigger();
    EXPECT_EQ(path.ids(), QStringList{QStringLiteral("A")});
    view.switcherMenu()->actions().at(1)->trigger();
    EXPECT_EQ(path.ids(), QStringList{QStringLiteral("B")});

    // The banner comes, grows a line and goes with the cards and the
    // inspector where they were.
    const auto places = [&] {
        return std::pair{view.findChild<QScrollArea *>()->mapTo(&view, QPoint()),
                         view.inspectorArea()->mapTo(&view, QPoint())};
    };
    const auto unbannered = places();
    app().projects().setLastErrorMessage(QStringLiteral("Broken"));
    settle();
    EXPECT_TRUE(view.errorBanner()->isVisibleTo(&view));
    EXPECT_EQ(view.errorBanner()->message(), QStringLiteral("Broken"));
    EXPECT_EQ(places(), unbannered);
    app().projects().setLastErrorMessage(QString());
    settle();
    EXPECT_FALSE(view.errorBanner()->isVisibleTo(&view));

    // What a "Pause all" the engine did not take shows until one goes
    // through.
    engine.failNext("setAllPaused", SyncEngineError::notRunning());
    awaitTask(app().engineState().toggleAllPaused());
    settle();
    EXPECT_EQ(view.errorBanner()->message(), SyncEngineError::notRunning().errorDescription());
    awaitTask(app().engineState().toggleAllPaused());
    settle();
    EXPECT_FALSE(view.errorBanner()->isVisibleTo(&view));
    awaitTask(app().engineState().toggleAllPaused());

    // A folder operation's failure (a restore, a rescan) shows beside the
    // projects' error, and alone once that clears.
    app().projects().setLastErrorMessage(QStringLiteral("Broken"));
    app().folders().setError(SyncEngineError::notRunning());
    settle();
    const QString folderError = SyncEngineError::notRunning().errorDescription();
    EXPECT_EQ(view.errorBanner()->message(), QStringLiteral("Broken\n") + folderError);
    EXPECT_EQ(places(), unbannered);
    app().projects().setLastErrorMessage(QString());
    settle();
    EXPECT_TRUE(view.errorBanner()->isVisibleTo(&view));
    EXPECT_EQ(view.errorBanner()->message(), folderError);

    // A rescan Syncthing refuses for want of room reads as the folder's own
    // low-space error; a teammate it will not pause shows too.
    app().folders().setError(SyncEngineError::http(500, "insufficient space on disk for database (/h/index): "
                                                        "current 0.5 % < required 1 %"));
    app().devices().setError(SyncEngineError::http(404, "No device with given ID"));
    settle();
    EXPECT_EQ(view.errorBanner()->message(),
              friendlyFolderErrorMessage("insufficient space on disk (current 0.5 % < required 1 %)") + "\n"
                  + SyncEngineError::http(404, "No device with given ID").errorDescription());
    // Those two controllers keep an error until the next one: another page
    // opened later does not take it for its own.
    ProjectView &later = showPage(QStringLiteral("B"));
    EXPECT_FALSE(later.errorBanner()->isVisibleTo(&later));
    // The same refusal again, from this page, is this page's.
    app().devices().setError(SyncEngineError::http(404, "No device with given ID"));
    settle();
    EXPECT_EQ(later.errorBanner()->message(),
              SyncEngineError::http(404, "No device with given ID").errorDescription());

    ProjectView &again = showPage(QStringLiteral("A"));
    again.removeSyncAction()->trigger();
    ASSERT_TRUE(again.removalBox());
    EXPECT_EQ(again.removalBox()->text(), QStringLiteral("Remove \u201C\u2068" "A\u2069\u201D?"));
    EXPECT_EQ(again.removalBox()->informativeText(),
              QStringLiteral("This stops syncing and removes the sync from this app. Your files on this Mac (and on "
                             "your teammates\u2019 Macs) are kept \u2014 nothing is deleted from disk."));
    again.removalBox()->findChild<QPushButton *>(QStringLiteral("cancel"))->click();
    EXPECT_TRUE(app().projects().project(QStringLiteral("A")));
    EXPECT_EQ(path.ids(), QStringList{QStringLiteral("A")});

    again.removeSyncAction()->trigger();
    ASSERT_TRUE(again.removalBox());
    again.removalBox()->findChild<QPushButton *>(QStringLiteral("confirm"))->click();
    EXPECT_TRUE(path.ids().isEmpty());
    EXPECT_FALSE(app().projects().project(QStringLiteral("A")));
}

} // namespace
} // namespace tw

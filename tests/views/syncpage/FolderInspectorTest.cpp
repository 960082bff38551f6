// The folder inspector offscreen on the fake engine: what it shows of a
// folder, the per-Mac choice carried to the team record, and its actions,
// the reveal against a file manager on a bus of the test's own.

#include "views/syncpage/FolderInspector.h"

#include "design/ButtonTint.h"
#include "design/ContrastRatio.h"
#include "design/TextStyle.h"
#include "design/Theme.h"
#include "design/ShownSymbol.h"

#include "app/AppPreferences.h"
#include "app/TeamPropagation.h"
#include "cluster/ClusterConfigStore.h"
#include "cluster/NasNodeController.h"
#include "controllers/EngineController.h"
#include "controllers/FormatFileSize.h"
#include "platform/PathLookUps.h"
#include "views/kit/KeyboardFocus.h"
#include "views/syncpage/CapsuleChip.h"
#include "views/syncpage/ProjectView.h"
#include "views/window/NavigationPath.h"

#include "PrivateBus.h"
#include "QtPrinters.h"
#include "SaveShot.h"
#include "TextContrast.h"
#include "WaitUntil.h"
#include "../support/SyncPageRig.h"

#include <QDBusConnection>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QSignalSpy>
#include <QToolButton>
#include <gtest/gtest.h>

namespace tw {

// A file manager that takes every request and keeps it.
class FakeFileManager : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    QList<QStringList> shown;
    QStringList startupIDs;

public slots:
    void ShowItems(const QStringList &uris, const QString &startupID)
    {
        shown.append(uris);
        startupIDs.append(startupID);
    }
};

namespace {

class FolderInspectorTest : public SyncPageRig
{
protected:
    std::unique_ptr<FolderInspector> inspector(const QString &folderID = "Docs")
    {
        auto made = std::make_unique<FolderInspector>(app(), syncID, folderID);
        made->resize(640, 360);
        made->show();
        made->refresh();
        return made;
    }
    static QToolButton *button(QWidget &inspector, const char *name) { return inspector.findChild<QToolButton *>(name); }
    // New children of a shown widget show in the next turn.
    static QList<CapsuleChip *> chips(QWidget &inspector, const char *name)
    {
        QCoreApplication::sendPostedEvents();
        QList<CapsuleChip *> found;
        for (CapsuleChip *chip : inspector.findChildren<CapsuleChip *>(name))
            if (chip->isVisibleTo(&inspector))
                found.append(chip);
        return found;
    }
    static CapsuleChip *chipOf(QWidget &inspector, const QString &deviceID)
    {
        for (CapsuleChip *chip : chips(inspector, "deviceChip"))
            if (chip->property("deviceID").toString() == deviceID)
                return chip;
        return nullptr;
    }
    static QAction *item(CapsuleChip &chip, const QString &text)
    {
        for (QAction *action : chip.menu()->actions())
            if (action->text() == text)
                return action;
        return nullptr;
    }
    // The framed tile whose title reads `title`.
    static QWidget *tileOf(QWidget &inspector, const QString &title)
    {
        for (QLabel *label : inspector.findChildren<QLabel *>()) {
            if (label->text() != title)
                continue;
            for (QWidget *up = label; up; up = up->parentWidget())
                if (up->inherits("tw::CardFrame"))
                    return up;
        }
        return nullptr;
    }
    ProjectFolder stored(const QString &id = "Docs") const { return *app().projects().folderOf(syncID, id); }

    // Team propagation on with the team key "team".
    ClusterConfigStore *propagationOn()
    {
        app().preferences().setClusterSyncEnabled(true);
        keychain.items.insert(NasNodeController::clusterSecretAccount, "team");
        awaitTask(app().team().applyClusterSync());
        return app().clusterStore();
    }
    std::optional<ClusterCell> recorded(const QString &engineID, const QString &deviceID) const
    {
        const ClusterConfig record = app().clusterStore()->reload();
        if (!record.folders.value(engineID).contains(deviceID))
            return std::nullopt;
        return record.folders.value(engineID).value(deviceID);
    }
};

TEST_F(FolderInspectorTest, TheReceiveOnlyBadgeShowsOnlyForAViewerOrASeed)
{
    const struct
    {
        MemberRole role;
        bool badge;
    } rows[] = {{MemberRole::Editor, false}, {MemberRole::Viewer, true}, {MemberRole::Seed, true}};
    for (const auto &row : rows) {
        syncID = QStringLiteral("S%1").arg(int(row.role));
        makeSync({folder("Docs", "st1")}, row.role);
        load();
        auto shown = inspector();
        EXPECT_EQ(shown->findChild<QLabel *>("receiveOnly")->isVisibleTo(shown.get()), row.badge);
        EXPECT_EQ(shown->findChild<QLabel *>("receiveOnly")->text(), QStringLiteral("\u2193 Receive-only"));
    }
}

TEST_F(FolderInspectorTest, AFolderWithoutAnEngineFolderListsItsStoredPatternsAndKeepsItsRows)
{
    ProjectFolder fresh = folder("New", std::nullopt);
    fresh.ignorePatterns = {".*", "*.tmp"};
    makeSync({fresh});
    load();
    auto shown = inspector("New");
    for (const char *name : {"ignore", "archive", "purge"})
        EXPECT_FALSE(button(*shown, name)->isEnabled()) << name;
    EXPECT_TRUE(button(*shown, "settings")->isEnabled());
    EXPECT_EQ(button(*shown, "reveal")->text(), QStringLiteral("Show in file manager"));
    ASSERT_TRUE(waitUntil([&] { return chips(*shown, "omitChip").size() == 2; }));
    EXPECT_EQ(chips(*shown, "omitChip")[0]->face().text, QStringLiteral("Hidden files"));
    EXPECT_EQ(chips(*shown, "omitChip")[1]->face().text, QStringLiteral("*.tmp"));
    EXPECT_EQ(engine.callCount("ignorePatterns"), 0);
    QWidget *transfer = shown->findChild<QWidget *>("transferRow");
    EXPECT_EQ(transfer->height(), 16);
    EXPECT_EQ(static_cast<QGraphicsOpacityEffect *>(transfer->graphicsEffect())->opacity(), 0);
    // Only this Mac and Bob: one peer, nothing synced anywhere yet.
    EXPECT_NE(shown->findChild<QLabel *>("status")->text(), QString());
}

TEST_F(FolderInspectorTest, NinePatternsShowEightAndAMoreChipUntilClickedOrAnotherFolderIsShown)
{
    makeSync({folder("Docs", "st1"), folder("Other", "st2")});
    QStringList nine{".*"};
    for (int i = 1; i < 8; ++i)
        nine.append(QStringLiteral("*.p%1").arg(i));
    nine.append(QStringLiteral("Renders/") + QString(60, QLatin1Char('x')) + QStringLiteral("/*.exr"));
    engine.state.ignores["st1"] = nine;
    engine.state.ignores["st2"] = nine;
    app().projects().renameMember(syncID, kPeer, QStringLiteral("Laptop in the colour grading suite upstairs, second desk"));
    load();
    auto shown = inspector();
    ASSERT_TRUE(waitUntil([&] { return chips(*shown, "omitChip").size() == 8; }));
    ASSERT_EQ(chips(*shown, "moreChip").size(), 1);
    EXPECT_EQ(chips(*shown, "moreChip")[0]->face().text, QStringLiteral("1 more"));
    chips(*shown, "moreChip")[0]->click();
    EXPECT_EQ(chips(*shown, "omitChip").size(), 9);
    EXPECT_TRUE(chips(*shown, "moreChip").isEmpty());
    // However much either holds, the two tiles are as wide as each other.
    for (const int width : {720, 1100}) {
        shown->resize(width, 360);
        QCoreApplication::sendPostedEvents();
        const QWidget *macs = tileOf(*shown, FolderInspector::statusPerMacTitle);
        const QWidget *ignores = tileOf(*shown, FolderInspector::ignoresTitle);
        ASSERT_TRUE(macs && ignores);
        EXPECT_EQ(macs->width(), ignores->width()) << width;
        EXPECT_EQ(macs->y(), ignores->y()) << width;
        // A chip longer than its tile gives way, its name elided.
        for (CapsuleChip *chip : chips(*shown, "deviceChip"))
            EXPECT_LE(chip->geometry().right(), chip->parentWidget()->width() - 1) << width;
    }

    shown->refresh();
    EXPECT_EQ(engine.callCount("ignorePatterns"), 1);

    shown->setFolderID("Other");
    ASSERT_TRUE(waitUntil([&] { return engine.callCount("ignorePatterns") == 2; }));
    ASSERT_TRUE(waitUntil([&] { return chips(*shown, "omitChip").size() == 8; }));
    EXPECT_EQ(chips(*shown, "moreChip").size(), 1);
}

TEST_F(FolderInspectorTest, AFailingPatternReadShowsThatEverythingSyncs)
{
    makeSync({folder("Docs", "st1")});
    engine.state.ignores["st1"] = {"*.tmp"};
    engine.failNext("ignorePatterns", SyncEngineError::notRunning());
    load();
    auto shown = inspector();
    ASSERT_TRUE(waitUntil([&] { return engine.callCount("ignorePatterns") == 1; }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(shown->findChild<QWidget *>("everythingSyncs")->isVisibleTo(shown.get()));
    EXPECT_TRUE(chips(*shown, "omitChip").isEmpty());
}

TEST_F(FolderInspectorTest, TheDiskNoteNamesWhatIsNeededAndWhatIsFree)
{
    EXPECT_EQ(FolderInspector::diskNoteText(500'000'000, 1'400'000'000),
              QStringLiteral("Not enough disk space here \u2014 needs ") + formatFileSize(500'000'000)
                  + QStringLiteral(", but only ") + formatFileSize(1'400'000'000)
                  + QStringLiteral(" free on this Mac. Free up space and it continues automatically."));

    ProjectFolder here = folder("Docs", "st1");
    here.localPath = dir.path();
    makeSync({here});
    ASSERT_TRUE(waitUntil([&] { return app().volumeFreeBytes().contains(dir.path()); }));
    const qint64 free = app().volumeFreeBytes().value(dir.path());
    const struct { qint64 need; bool note; } rows[] = {{free, true}, {0, false}};
    for (const auto &row : rows) {
        engine.state.folderStatuses["st1"].needBytes = row.need;
        load();
        auto shown = inspector();
        EXPECT_EQ(shown->findChild<QWidget *>("diskNote")->isVisibleTo(shown.get()), row.note);
        if (row.note) {
            EXPECT_EQ(shown->findChild<QLabel *>("diskNoteText")->text(), FolderInspector::diskNoteText(free, free));
            EXPECT_FALSE(saveShot(*shown, "folder-inspector-disk-note").isNull());
        }
    }
}

// A drive that keeps no extended attributes (FAT, exFAT) is said once,
// quietly, where the user asked them to travel; the folder itself syncs and
// reads as up to date. The look-up's answer stands in for such a drive.
TEST_F(FolderInspectorTest, ADriveWithoutExtendedAttributesIsSaidOnlyWhereTheyWereAskedFor)
{
    auto *lookUps = new PathLookUps(PathLookUps::defaultWait, &app().projects());
    lookUps->setReader([](const QString &path) {
        PathPresence presence = PathPresence::read(path);
        presence.keepsUserXattrs = false;
        return presence;
    });
    app().projects().setPathLookUps(lookUps);
    ProjectFolder declined = folder("Notes", "st2");
    declined.syncMetadata = false;
    makeSync({folder("Docs", "st1"), declined});
    awaitTask(app().projects().reconcileAll());
    load();
    const struct { const char *id; bool note; } rows[] = {{"Docs", true}, {"Notes", false}};
    for (const auto &row : rows) {
        auto shown = inspector(row.id);
        const QLabel *note = shown->findChild<QLabel *>("xattrNote");
        EXPECT_EQ(note->isVisibleTo(shown.get()), row.note) << row.id;
        EXPECT_EQ(note->text(), FolderInspector::xattrNoteText);
        EXPECT_EQ(shown->findChild<QLabel *>("status")->text(), "Up to date") << row.id;
        if (row.note) {
            EXPECT_FALSE(saveShot(*shown, "folder-inspector-xattr-note").isNull());
        }
    }
}

TEST_F(FolderInspectorTest, PerMacChipsShowTheChoiceAndOnlyTeammatesHaveAMenu)
{
    ProjectFolder docs = folder("Docs", "st1");
    docs.excludedDeviceIDs = {kPeer};
    docs.pausedDeviceIDs = {kPeer};
    makeSync({docs}, MemberRole::Editor, true);
    load();
    auto shown = inspector();
    CapsuleChip *bob = chipOf(*shown, kPeer);
    ASSERT_TRUE(bob);
    EXPECT_EQ(bob->face().symbol, Symbol::MinusCircleFill);
    EXPECT_TRUE(bob->face().struckOut);
    EXPECT_EQ(bob->toolTip(), QStringLiteral("Excluded \u2014 doesn't receive this folder (existing files kept)"));
    ASSERT_TRUE(bob->menu());
    EXPECT_TRUE(item(*bob, FolderInspector::excludeItem)->isChecked());
    for (const QString &id : {local(), kNode}) {
        ASSERT_TRUE(chipOf(*shown, id)) << id.toStdString();
        EXPECT_EQ(chipOf(*shown, id)->menu(), nullptr);
    }
}

// Every chip's text, and the pattern chips' in orange, reads on its
// capsule as pictured (over the tile), in the light and the dark palette.
TEST_F(FolderInspectorTest, ChipTextsReadOnTheirCapsulesInEitherAppearance)
{
    ProjectFolder docs = folder("Docs", "st1");
    docs.excludedDeviceIDs = {kNode};
    makeSync({docs}, MemberRole::Editor, true);
    engine.state.ignores["st1"] = {".*", "*.tmp"};
    load();
    auto shown = inspector();
    ASSERT_TRUE(waitUntil([&] { return chips(*shown, "omitChip").size() == 2; }));
    QPalette dark = shown->palette();
    dark.setColor(QPalette::Window, QColor(45, 45, 48));
    dark.setColor(QPalette::Base, QColor(30, 30, 32));
    dark.setColor(QPalette::WindowText, QColor(232, 232, 235));
    for (const auto &[look, palette] : {std::pair{"light", shown->palette()}, std::pair{"dark", dark}}) {
        shown->setPalette(palette);
        const QImage shot = saveShot(*shown, QStringLiteral("folder-inspector-chips-") + look);
        const QList<CapsuleChip *> all = chips(*shown, "deviceChip") + chips(*shown, "omitChip");
        ASSERT_EQ(all.size(), 5);
        for (const CapsuleChip *chip : all) {
            const QRect area = shotArea(shot, *shown, *chip);
            // The capsule's own colour, in its right padding; the text left of it.
            const QColor ground = shot.pixelColor(area.right() - 4, area.center().y());
            const int mark = chip->face().symbol || chip->face().health ? chip->face().markSize + 5 : 0;
            const QColor ink = test::strongestPixel(shot, ground, area.adjusted(9 + mark, 0, -9, 0));
            EXPECT_GE(contrastRatio(ink, ground), markContrast)
                << look << " " << chip->face().text.toStdString() << ": " << ink.name().toStdString() << " on "
                << ground.name().toStdString();
        }
    }
}

TEST_F(FolderInspectorTest, APerMacChoiceIsRecordedForTheTeamOnlyWithPropagationAndAnEngineFolder)
{
    const struct { QString folderID; bool propagation; } rows[] = {{"Docs", true}, {"Docs", false}, {"New", true}};
    int n = 0;
    for (const auto &row : rows) {
        syncID = QStringLiteral("S%1").arg(++n);
        const QString engineID = QStringLiteral("st%1").arg(n);
        makeSync({folder("Docs", engineID), folder("New", std::nullopt)});
        load();
        if (row.propagation) {
            ASSERT_TRUE(propagationOn());
        }
        auto shown = inspector(row.folderID);
        const int reconciles = engine.callCount("folders");
        item(*chipOf(*shown, kPeer), FolderInspector::pauseItem)->trigger();
        ASSERT_TRUE(waitUntil([&] { return engine.callCount("folders") > reconciles; }));
        ASSERT_TRUE(waitUntil([&] { return !app().projects().isReconciling(); }));
        EXPECT_TRUE(stored(row.folderID).pausedDeviceIDs.contains(kPeer));
        if (row.propagation) {
            if (row.folderID == "Docs") {
                ASSERT_TRUE(waitUntil([&] { return recorded(engineID, kPeer).has_value(); }));
            }
            const std::optional<ClusterCell> cell = recorded(engineID, kPeer);
            EXPECT_EQ(cell.has_value(), row.folderID == "Docs");
            if (cell) {
                EXPECT_EQ(cell->state, CellState::Paused);
                EXPECT_EQ(cell->wallclock, QStringLiteral("2024-03-04T10:00:00Z"));
            }
        }
        app().preferences().setClusterSyncEnabled(false);
        awaitTask(app().team().applyClusterSync());
    }
}

TEST_F(FolderInspectorTest, TheChoiceRunsOnWhenTheInspectorIsGone)
{
    makeSync({folder("Docs", "st1")});
    load();
    ASSERT_TRUE(propagationOn());
    auto shown = inspector();
    engine.hold("folders");
    item(*chipOf(*shown, kPeer), FolderInspector::excludeItem)->trigger();
    ASSERT_TRUE(waitUntil([&] { return engine.waiting("folders") == 1; }));
    shown.reset();
    engine.release("folders");
    ASSERT_TRUE(waitUntil([&] { return recorded("st1", kPeer).has_value(); }));
    EXPECT_EQ(recorded("st1", kPeer)->state, CellState::Excluded);
    EXPECT_TRUE(stored().excludedDeviceIDs.contains(kPeer));
}

TEST_F(FolderInspectorTest, PauseAndRemoveGoToTheSync)
{
    makeSync({folder("Docs", "st1")});
    load();
    auto shown = inspector();
    // Each action shows its symbol beside its label.
    const std::pair<const char *, Symbol> symbols[] = {
        {"settings", Symbol::SliderHorizontal3}, {"ignore", Symbol::EyeSlash}, {"archive", Symbol::ClockArrowCirclepath},
        {"pause", Symbol::PauseFill},           {"reveal", Symbol::Folder},    {"purge", Symbol::Person2Slash},
        {"remove", Symbol::Trash}};
    for (const auto &[name, symbol] : symbols) {
        EXPECT_EQ(shownSymbol(*button(*shown, name)), symbol) << name;
        EXPECT_EQ(button(*shown, name)->toolButtonStyle(), Qt::ToolButtonTextBesideIcon) << name;
    }
    // On the smallest window's sync page the seven stand whole below what
    // scrolls; Tab reads "Remove", ending the first line, before the second.
    NavigationPath path;
    ProjectView page(app(), path, syncID, ProjectPageFactories::standard());
    page.setAnimated(false);
    page.resize(760, 780);
    page.show();
    page.tapFolder("Docs");
    QCoreApplication::processEvents();
    QWidget &area = *page.inspectorArea();
    for (const auto &[name, symbol] : symbols)
        EXPECT_EQ(button(area, name)->visibleRegion().boundingRect(), button(area, name)->rect()) << name;
    const QList<QWidget *> stops = KeyboardFocus::stopsAsRead(page);
    EXPECT_GT(button(area, "purge")->y(), button(area, "remove")->y());
    EXPECT_LT(stops.indexOf(button(area, "remove")), stops.indexOf(button(area, "purge")));
    // "Remove" destroys: its text and its symbol in red.
    QToolButton *remove = button(*shown, "remove");
    const QColor ink = test::symbolInk(remove->icon().pixmap(remove->iconSize()).toImage());
    EXPECT_TRUE(test::isShadeOf(ink, Theme::danger())) << ink.name().toStdString();
    EXPECT_TRUE(test::isShadeOf(remove->palette().color(QPalette::ButtonText), Theme::danger()));
    // The tiles' titles in the tertiary tone.
    for (const QLabel *title : shown->findChildren<QLabel *>())
        if (title->text() == FolderInspector::statusPerMacTitle || title->text() == FolderInspector::ignoresTitle) {
            EXPECT_EQ(title->palette().color(QPalette::WindowText).rgb(), shown->palette().color(QPalette::WindowText).rgb());
            // At least that faint tone, stronger where it must be to read.
            EXPECT_GE(title->palette().color(QPalette::WindowText).alphaF(), tertiaryStrength - 0.01);
        }
    QSignalSpy settings(shown.get(), &FolderInspector::settingsRequested);
    button(*shown, "settings")->click();
    EXPECT_EQ(settings.count(), 1);

    button(*shown, "pause")->click();
    ASSERT_TRUE(waitUntil([&] { return !stored().syncEnabled; }));
    shown->refresh();
    EXPECT_EQ(button(*shown, "pause")->text(), QStringLiteral("Resume"));
    EXPECT_EQ(shownSymbol(*button(*shown, "pause")), Symbol::PlayFill);
    // While everything is paused the folder's own switch changes nothing
    // Syncthing does.
    EXPECT_TRUE(button(*shown, "pause")->isEnabled());
    awaitTask(app().engineState().toggleAllPaused());
    shown->refresh();
    EXPECT_FALSE(button(*shown, "pause")->isEnabled());
    awaitTask(app().engineState().toggleAllPaused());

    button(*shown, "remove")->click();
    auto *box = shown->findChild<QMessageBox *>("removeConfirm");
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text(), QStringLiteral("Remove \u201c\u2068" "Docs\u2069\u201d from this sync?"));
    EXPECT_EQ(box->informativeText(),
              QStringLiteral("Stops syncing this folder. The files on this Mac (and on your teammates\u2019 Macs) are "
                             "kept \u2014 nothing is deleted from disk."));
    // Removing is drawn as the destructive action it is.
    EXPECT_EQ(TintedButtonPainter::tintOf(*box->findChild<QPushButton *>("confirm")), ButtonTint::Destructive);
    box->findChild<QPushButton *>("confirm")->click();
    ASSERT_TRUE(waitUntil([&] { return !app().projects().folderOf("S", "Docs"); }));
}

TEST_F(FolderInspectorTest, RevealAsksTheFileManagerAndOpensTheFolderWhenNoneAnswers)
{
    ASSERT_FALSE(QStandardPaths::findExecutable("dbus-daemon").isEmpty()) << "dbus-daemon is missing";
    PrivateBus bus;
    ASSERT_FALSE(bus.address().isEmpty());
    QDBusConnection fileManager = QDBusConnection::connectToBus(bus.address(), "file-manager");
    QDBusConnection asker = QDBusConnection::connectToBus(bus.address(), "asker");
    const auto disconnect = qScopeGuard([] {
        QDBusConnection::disconnectFromBus("file-manager");
        QDBusConnection::disconnectFromBus("asker");
    });
    makeSync({folder("Docs", "st1")});
    load();
    auto shown = inspector();
    shown->setRevealConnection(asker);
    const QUrl url = QUrl::fromLocalFile(stored().localPath);

    button(*shown, "reveal")->click();
    ASSERT_TRUE(waitUntil([&] { return urls.opened.size() == 1; }));
    EXPECT_EQ(urls.opened.first(), url);

    FakeFileManager manager;
    ASSERT_TRUE(fileManager.registerObject("/org/freedesktop/FileManager1", &manager, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(fileManager.registerService("org.freedesktop.FileManager1"));
    button(*shown, "reveal")->click();
    ASSERT_TRUE(waitUntil([&] { return manager.shown.size() == 1; }));
    EXPECT_EQ(manager.shown.first(), QStringList{url.toString()});
    EXPECT_EQ(manager.startupIDs.first(), QString());
    QCoreApplication::processEvents();
    EXPECT_EQ(urls.opened.size(), 1);
}

} // namespace
} // namespace tw

#include "FolderInspectorTest.moc"

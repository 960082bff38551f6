// The settings window's Diagnostics tab offscreen on the view-test rig:
// volume rows with their formats read once off the main thread, the error
// and exclusion sections, the LAN switches, the report, the status link,
// the rebuild and the feedback sheet.

#include "views/settings/DiagnosticsTab.h"

#include "app/AppPreferences.h"
#include "controllers/DeviceController.h"
#include "controllers/EngineController.h"
#include "controllers/FolderController.h"
#include "design/ButtonTint.h"
#include "design/ContrastRatio.h"
#include "design/ElidedLabel.h"
#include "design/Theme.h"
#include "lan/DiagServer.h"
#include "projects/ProjectController.h"
#include "views/kit/PanelTexts.h"
#include "views/settings/SettingsState.h"
#include "views/settings/SettingsView.h"
#include "views/shell/WidgetAppearance.h"

#include "AwaitTask.h"
#include "QtPrinters.h"
#include "SaveShot.h"
#include "ScopedEnvironmentVariable.h"
#include "ViewTestEnv.h"
#include "WaitUntil.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QMutex>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSysInfo>
#include <QTabWidget>
#include <algorithm>

namespace tw {
namespace {

class DiagnosticsTabTest : public ViewTestEnv
{
protected:
    // Built on first use, so that a test sets the scene first.
    DiagnosticsTab &tab()
    {
        if (!view) {
            view = std::make_unique<SettingsView>(app());
            view->diagnosticsTab()->setFilesystemReader([this](const QString &path) {
                const QMutexLocker lock(&readsMutex);
                reads << path;
                return formats.contains(path) ? std::optional(FilesystemInfo{formats.value(path)}) : std::nullopt;
            });
            view->tabs()->setCurrentIndex(SettingsView::Diagnostics);
            view->show();
        }
        return *view->diagnosticsTab();
    }
    template <typename T = QWidget>
    T *find(const char *name)
    {
        return tab().findChild<T *>(name);
    }
    QPushButton *button(const char *name) { return find<QPushButton>(name); }
    bool shown(QWidget *widget) { return widget && widget->isVisibleTo(&tab()); }
    QStringList texts(const char *name)
    {
        QStringList found;
        for (const QLabel *label : tab().findChildren<QLabel *>(name))
            found << label->text();
        return found;
    }
    // Each volume row's texts joined by "|", in the rows' order on screen.
    QStringList volumeRows()
    {
        QList<QWidget *> rows;
        const std::function<void(QLayout *)> collect = [&](QLayout *layout) {
            for (int i = 0; i < layout->count(); ++i) {
                QLayoutItem *item = layout->itemAt(i);
                if (item->layout())
                    collect(item->layout());
                else if (item->widget() && item->widget()->objectName() == "volumeRow")
                    rows << item->widget();
            }
        };
        collect(tab().findChildren<QWidget *>("volumeRow").value(0)->parentWidget()->layout());
        QStringList shown;
        for (QWidget *row : rows) {
            QStringList parts;
            for (const QLabel *label : row->findChildren<QLabel *>())
                if (!label->text().isEmpty())
                    parts << label->text();
            shown << parts.join('|');
        }
        return shown;
    }
    QStringList readPaths()
    {
        const QMutexLocker lock(&readsMutex);
        return reads;
    }
    QMessageBox *confirmation()
    {
        QMessageBox *box = nullptr;
        waitUntil([&] { return (box = tab().findChild<QMessageBox *>()) != nullptr; });
        return box;
    }

    QMap<QString, QString> formats;
    QMutex readsMutex;
    QStringList reads;
    std::unique_ptr<SettingsView> view;
};

TEST_F(DiagnosticsTabTest, VolumeRowsReadEachFormatOnceAndAPollThatChangesNothingRebuildsNothing)
{
    EXPECT_TRUE(shown(find("noSyncedFolders")));
    EXPECT_EQ(find<QLabel>("noSyncedFolders")->text(), "No synced folders yet.");
    view.reset();

    const QString gone = dir.filePath("unmounted"), stick = dir.filePath("stick"), disk = dir.filePath("disk");
    QDir().mkpath(stick);
    QDir().mkpath(disk);
    formats = {{stick, "exfat"}, {disk, "ext4"}};
    app().projects().add({.id = "S",
                          .folders = {{.id = "A", .label = "Gone", .localPath = gone},
                                      {.id = "B", .label = "Stick", .localPath = stick},
                                      {.id = "C", .label = "Disk", .localPath = disk}}});
    ASSERT_TRUE(waitUntil([&] { return app().volumeOnline().size() == 3; }));

    ASSERT_TRUE(waitUntil([&] { return texts("volumeFormat").size() == 2; }))
        << qPrintable(readPaths().join(",") + " / " + volumeRows().join(",")) << tab().isVisible();
    EXPECT_FALSE(shown(find("noSyncedFolders")));
    EXPECT_EQ(volumeRows(), QStringList({"Gone|Offline", "Stick|exfat|No permissions/metadata", "Disk|ext4"}));
    EXPECT_EQ(tab().findChildren<QLabel *>("volumeCheck").size(), 1);
    QStringList sorted = readPaths();
    sorted.sort();
    EXPECT_EQ(sorted, QStringList({disk, stick}));

    const QList<QWidget *> rows = tab().findChildren<QWidget *>("volumeRow");
    awaitTask(app().folders().refresh());
    emit app().projects().projectsChanged();
    tab().refresh();
    EXPECT_EQ(tab().findChildren<QWidget *>("volumeRow"), rows);
    EXPECT_EQ(readPaths().size(), 2);

    // A volume came or went: formats are read again.
    emit app().iconCacheStale();
    ASSERT_TRUE(waitUntil([&] { return readPaths().size() == 4; }));
}

TEST_F(DiagnosticsTabTest, FolderErrorsExclusionsAndTheirFallbacks)
{
    SyncFolder plain{.id = "st1", .label = "Plain"}, full{.id = "st2", .label = "Full"},
        partial{.id = "st3", .label = "Partial"}, shared{.id = "st4", .label = "Shared"};
    shared.sharedDeviceIDs = {"PEER1", "PEER2"};
    shared.introducedDeviceIDs = {"PEER1"};
    engine.state.folders = {plain, full, partial, shared};
    for (const QString id : {"st1", "st2"})
        engine.state.folderStatuses[id] = {.id = id, .state = FolderState::Error};
    engine.state.folderStatuses["st2"].error = "folder marker: insufficient space on disk";
    engine.state.recentFolderErrors["st2"] = "folder marker: insufficient space on disk";
    // Running, but items failed: shown with the items' text.
    engine.state.folderStatuses["st3"] = {.id = "st3", .state = FolderState::Idle, .errorCount = 1};
    engine.state.recentFolderErrors["st3"] = u"Couldn't sync \u201Cd\u201D here: denied"_qs;
    engine.state.devices = {{.id = "PEER1", .name = "Bea"}, {.id = "PEER2", .name = "Cem"}};
    ProjectFolder mine{.id = "F", .label = "Shared", .localPath = dir.path()};
    mine.syncthingFolderID = "st4";
    mine.excludedDeviceIDs = {"PEER1", "PEER2"};
    app().projects().add({.id = "S", .folders = {mine}});
    awaitTask(app().folders().refresh());
    awaitTask(app().devices().refresh());

    EXPECT_TRUE(shown(find("folderErrors")));
    EXPECT_EQ(texts("folderErrorText"),
              QStringList({texts::folderErrorUnknown,
                           u"Low disk space on this Mac's drive \u2014 Syncthing paused this folder until there's "
                           "more room."_qs,
                           u"Couldn't sync \u201Cd\u201D here: denied"_qs}));
    EXPECT_EQ(texts("exclusionText"),
              QStringList({u"\u201C\u2068" "Bea\u2069\u201D still receives \u201C\u2068Shared\u2069\u201D \u2014 the exclusion is enforced "
                           "once every always-on node reconnects (converges, not instant)."_qs,
                           u"\u201C\u2068" "Cem\u2069\u201D still receives \u201C\u2068Shared\u2069\u201D via a manual share not managed by "
                           "this app \u2014 exclude it there too, or re-share only through the node."_qs}));

    EXPECT_FALSE(shown(find("lastError")));
    app().engineState().setLastErrorMessage(QString());
    EXPECT_FALSE(shown(find("lastError")));
    app().engineState().setLastErrorMessage("Engine stopped");
    EXPECT_TRUE(shown(find("lastError")));
    EXPECT_EQ(find<QLabel>("lastError")->text(), "Engine stopped");
    settleLayouts();
    tab().ensureWidgetVisible(find("lastError"));
    const QImage failing = saveShot(*view, QStringLiteral("diagnostics-failing"));
    ASSERT_FALSE(failing.isNull());
    EXPECT_EQ(failing.size(), view->size() * view->devicePixelRatio());
    EXPECT_TRUE(shotShowsColour(failing, shotArea(failing, *view, *find("lastError")), Theme::danger()));

    engine.state.folderStatuses.clear();
    engine.state.recentFolderErrors.clear();
    awaitTask(app().folders().refresh());
    EXPECT_FALSE(shown(find("folderErrors")));
}

TEST_F(DiagnosticsTabTest, EachLanSwitchStoresThenAppliesTheServer)
{
    awaitTask(app().engineState().refreshStatus());
    awaitTask(app().devices().refresh());
    ASSERT_TRUE(app().engineState().status().isRunning);
    QStringList steps;
    app().setStepObserver([&steps](QString step) { steps << step; });
    tab();
    auto *lan = find<QCheckBox>("lanDiagnostics");
    auto *page = find<QCheckBox>("remoteStatus");
    ASSERT_TRUE(lan->isChecked());
    ASSERT_FALSE(page->isChecked());
    const QImage healthy = saveShot(*view, QStringLiteral("diagnostics-healthy"));
    ASSERT_FALSE(healthy.isNull());
    EXPECT_EQ(healthy.size(), view->size() * view->devicePixelRatio());
    for (QWidget *row : tab().findChildren<QWidget *>("diagRow")) {
        EXPECT_TRUE(shotShowsColour(healthy, shotArea(healthy, *view, *row), Theme::synced()));
        EXPECT_FALSE(shotShowsColour(healthy, shotArea(healthy, *view, *row), Theme::danger(), 20));
    }
    const struct
    {
        QCheckBox *box;
        bool lanOn, pageOn, running;
    } rows[] = {{lan, false, false, false}, {page, false, true, true}, {lan, true, true, true},
                {lan, false, true, true},   {page, false, false, false}};
    int applied = 0;
    for (const auto &row : rows) {
        row.box->click();
        EXPECT_EQ(steps.count("applyDiagServer"), ++applied);
        EXPECT_EQ(defaults.boolean(AppPreferences::lanDiagnosticsKey), row.lanOn);
        EXPECT_EQ(app().preferences().remoteStatusEnabled(), row.pageOn);
        EXPECT_EQ(app().diagServer().isRunning(), row.running) << row.lanOn << row.pageOn;
    }
}

TEST_F(DiagnosticsTabTest, TheReportIsCopiedOnceAndRefreshedWithoutCopying)
{
    engine.state.diagnosticsReport = "report one";
    QApplication::clipboard()->setText("before");
    EXPECT_FALSE(shown(find("report")));
    EXPECT_FALSE(shown(button("refreshReport")));
    // "&" shown as itself, not as a shortcut mark.
    EXPECT_EQ(button("readAllMacs")->text(), "Read all Macs && copy");
    engine.hold("diagnosticsReport");
    button("readAllMacs")->click();
    EXPECT_EQ(button("readAllMacs")->text(), texts::readingAllMacs);
    EXPECT_FALSE(button("readAllMacs")->isEnabled());
    engine.release("diagnosticsReport");
    ASSERT_TRUE(waitUntil([&] { return button("readAllMacs")->isEnabled(); }));
    EXPECT_EQ(button("readAllMacs")->text(), u"Copied to clipboard \u2713"_qs);
    EXPECT_EQ(QApplication::clipboard()->text(), "report one");
    EXPECT_EQ(find<QPlainTextEdit>("report")->toPlainText(), "report one");
    EXPECT_TRUE(shown(find("report")));

    engine.state.diagnosticsReport = "report two";
    button("refreshReport")->click();
    ASSERT_TRUE(waitUntil([&] { return find<QPlainTextEdit>("report")->toPlainText() == "report two"; }));
    EXPECT_EQ(button("readAllMacs")->text(), u"Copied to clipboard \u2713"_qs);
    EXPECT_EQ(QApplication::clipboard()->text(), "report one");

    // Turned dark, the report's scroll bar is drawn in the dark palette too.
    struct Restore
    {
        ~Restore() { applyWidgetAppearance(AppPreferences::Appearance::System); }
    } restore;
    applyWidgetAppearance(AppPreferences::Appearance::Dark);
    QCoreApplication::processEvents();
    const QImage bar = find<QPlainTextEdit>("report")->verticalScrollBar()->grab().toImage();
    const QColor middle = bar.pixelColor(bar.width() / 2, bar.height() / 2);
    EXPECT_LT(contrastRatio(middle, QApplication::palette().color(QPalette::Window)), 1.6) << middle.name().toStdString();
}

TEST_F(DiagnosticsTabTest, TheStatusLinkIsCopiedOpenedAndRevokedByANewToken)
{
    EXPECT_FALSE(shown(find("statusLink")));
    find<QCheckBox>("remoteStatus")->click();
    const QString token = app().preferences().remoteStatusToken();
    const QString link = QStringLiteral("http://%1:%2/?t=%3")
                             .arg(QSysInfo::machineHostName())
                             .arg(app().lanSetting().port)
                             .arg(token);
    EXPECT_EQ(find<ElidedLabel>("statusLink")->fullText(), link);
    button("copyLink")->click();
    EXPECT_EQ(QApplication::clipboard()->text(), link);
    EXPECT_EQ(button("copyLink")->text(), u"Copied \u2713"_qs);
    {
        // The address is captured, not opened; a loopback-only run would hold it back.
        const ScopedEnvironmentVariable anyRun("TIDEWELL_LOOPBACK_ONLY", std::nullopt);
        button("openLink")->click();
    }
    EXPECT_EQ(urls.opened, QList<QUrl>{QUrl(link)});

    button("newToken")->click();
    EXPECT_NE(app().preferences().remoteStatusToken(), token);
    EXPECT_EQ(defaults.string(AppPreferences::remoteStatusTokenKey), app().preferences().remoteStatusToken());
    EXPECT_EQ(find<ElidedLabel>("statusLink")->fullText(), tab().statusLink());
    EXPECT_NE(tab().statusLink(), link);
    EXPECT_EQ(button("copyLink")->text(), "Copy link");
}

TEST_F(DiagnosticsTabTest, RebuildAsksThenResetsAndRefreshesTheFolders)
{
    QStringList order;
    engine.beforeAnswer = [&order](QString operation) -> QCoro::Task<void> {
        if (operation == "resetDatabase" || operation == "folders")
            order << operation;
        co_return;
    };
    button("rebuild")->click();
    QMessageBox *box = confirmation();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "Rebuild the local sync database?");
    EXPECT_EQ(box->informativeText(), texts::rebuildMessage);
    box->findChild<QPushButton *>("cancel")->click();
    ASSERT_TRUE(waitUntil([&] { return !tab().findChild<QMessageBox *>(); }));
    EXPECT_EQ(engine.callCount("resetDatabase"), 0);

    engine.hold("resetDatabase");
    button("rebuild")->click();
    confirmation()->findChild<QPushButton *>("confirm")->click();
    ASSERT_TRUE(waitUntil([&] { return engine.waiting("resetDatabase") == 1; }));
    EXPECT_EQ(button("rebuild")->text(), texts::rebuilding);
    EXPECT_FALSE(button("rebuild")->isEnabled());
    engine.release("resetDatabase");
    ASSERT_TRUE(waitUntil([&] { return button("rebuild")->isEnabled(); }));
    EXPECT_EQ(button("rebuild")->text(), "Rebuild database (re-index)");
    EXPECT_EQ(order, QStringList({"resetDatabase", "folders"}));
}

TEST_F(DiagnosticsTabTest, SendFeedbackOpensTheSheetItIsGivenWithTheSettingsOrigin)
{
    tab().setFeedbackSheetFactory({});
    EXPECT_FALSE(button("sendFeedback")->isEnabled());
    QStringList origins;
    QPointer<QWidget> sheet;
    tab().setFeedbackSheetFactory([&](QWidget *parent, const QString &origin) {
        origins << origin;
        sheet = new QWidget(parent, Qt::Sheet);
        return sheet.data();
    });
    ASSERT_TRUE(button("sendFeedback")->isEnabled());
    EXPECT_EQ(TintedButtonPainter::tintOf(*button("sendFeedback")), ButtonTint::Prominent);
    button("sendFeedback")->click();
    EXPECT_EQ(origins, QStringList{u"TidewellMesh \u2013 Settings"_qs});
    ASSERT_TRUE(sheet);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
}

} // namespace
} // namespace tw

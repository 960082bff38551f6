// The settings window offscreen on the view-test rig: its tabs, the load of
// its shared copies, and the General and Identity tabs.

#include "views/settings/SettingsView.h"

#include "app/AppPreferences.h"
#include "controllers/DeviceController.h"
#include "controllers/EngineController.h"
#include "design/ElidedLabel.h"
#include "engine/SyncEngineError.h"
#include "views/shell/AppShell.h"
#include "views/kit/DisclosureGroup.h"
#include "views/kit/PanelTexts.h"
#include "views/feedback/FeedbackSheet.h"
#include "views/settings/SettingsState.h"
#include "views/shell/WidgetAppearance.h"

#include "AwaitTask.h"
#include "QtPrinters.h"
#include "SaveShot.h"
#include "TextContrast.h"
#include "ScopedEnvironmentVariable.h"
#include "ViewTestEnv.h"
#include "WaitUntil.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QWindow>

namespace tw {
namespace {

using Appearance = AppPreferences::Appearance;

// Counts the shows a widget receives from the window system.
struct SpontaneousShows : QObject
{
    explicit SpontaneousShows(QWidget &widget) { widget.installEventFilter(this); }
    bool eventFilter(QObject *, QEvent *event) override
    {
        count += event->type() == QEvent::Show && event->spontaneous();
        return false;
    }
    int count = 0;
};

class SettingsViewTest : public ViewTestEnv
{
protected:
    template <typename T = QWidget>
    T *in(const char *tab, const char *name) const
    {
        return view->findChild<QWidget *>(tab)->findChild<T *>(name);
    }
    QLineEdit *nameField(const char *tab) const { return in<QLineEdit>(tab, "deviceName"); }
    QPushButton *saveButton(const char *tab) const { return in<QPushButton>(tab, "saveDeviceName"); }
    // Shows the view and waits for its load to end.
    void open()
    {
        view->show();
        ASSERT_TRUE(waitUntil([&] { return view->state().loaded(); }));
    }
    // As the user types: the field's own edit signal.
    static void type(QLineEdit *field, const QString &text)
    {
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, text);
    }

    std::unique_ptr<SettingsView> view = std::make_unique<SettingsView>(app());
};

TEST_F(SettingsViewTest, SixTabsInOrderTheFirstShown)
{
    QStringList titles;
    for (int i = 0; i < view->tabs()->count(); ++i)
        titles << view->tabs()->tabText(i);
    EXPECT_EQ(titles, QStringList({"General", "Network", "Ignores", "Team", "Identity", "Diagnostics"}));
    EXPECT_EQ(view->tabs()->currentIndex(), 0);
    EXPECT_EQ(view->tabs()->widget(SettingsView::Team)->objectName(), "teamTab");
}

TEST_F(SettingsViewTest, AtTheWindowsSizeTheTabTitlesAndEachFormFitTheWidth)
{
    view->setFixedSize(AppShell::settingsSize);
    open();
    settleLayouts();
    QTabBar *bar = view->tabs()->tabBar();
    EXPECT_LE(bar->sizeHint().width(), AppShell::settingsSize.width());
    EXPECT_LT(bar->tabRect(bar->count() - 1).right(), bar->width());
    for (const QToolButton *arrow : bar->findChildren<QToolButton *>())
        EXPECT_FALSE(arrow->isVisible());
    for (int i = 0; i < view->tabs()->count(); ++i) {
        view->tabs()->setCurrentIndex(i);
        settleLayouts();
        if (auto *form = qobject_cast<QScrollArea *>(view->tabs()->widget(i))) {
            EXPECT_LE(form->widget()->width(), form->viewport()->width()) << bar->tabText(i).toStdString();
        }
    }
    view->tabs()->setCurrentIndex(SettingsView::Team);
    const QImage shot = saveShot(*view, QStringLiteral("settings-team"));
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(shot.size(), view->size() * view->devicePixelRatio());
}

// Each tab's texts read in both appearances: the dark one applied to a
// window already built (as a start in dark does) and to one built in it.
TEST_F(SettingsViewTest, EveryTabsTextsReadInTheLightAndTheDarkAppearance)
{
    const auto checkTabs = [&](SettingsView &shown, const QString &appearance) {
        shown.setFixedSize(AppShell::settingsSize);
        shown.show();
        for (int i = 0; i < shown.tabs()->count(); ++i) {
            shown.tabs()->setCurrentIndex(i);
            settleLayouts();
            const QString tab = shown.tabs()->tabText(i);
            for (const test::LowContrast &low : test::lowContrastTexts(*shown.tabs()->widget(i)))
                ADD_FAILURE() << appearance.toStdString() << ", " << tab.toStdString() << ": "
                              << low.what.toStdString() << " reads " << low.ratio << " : 1, needs " << low.needed;
            saveShot(shown, "settings-" + tab.toLower() + "-" + appearance);
        }
    };
    struct Restore
    {
        ~Restore() { applyWidgetAppearance(Appearance::System); }
    } restore;
    // The application's palette reaches existing widgets through posted
    // events.
    applyWidgetAppearance(Appearance::Light);
    QCoreApplication::processEvents();
    open();
    checkTabs(*view, "light");
    applyWidgetAppearance(Appearance::Dark);
    QCoreApplication::processEvents();
    checkTabs(*view, "dark");
    SettingsView builtInDark(app());
    checkTabs(builtInDark, "built-dark");
}

TEST_F(SettingsViewTest, DiagnosticsSendsFeedbackFromTheSettingsWindow)
{
    open();
    view->tabs()->setCurrentIndex(SettingsView::Diagnostics);
    auto *send = in<QPushButton>("diagnosticsTab", "sendFeedback");
    ASSERT_TRUE(send->isEnabled());
    send->click();
    FeedbackSheet *sheet = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (sheet = view->findChild<FeedbackSheet *>()) && sheet->isVisible(); }));
    EXPECT_EQ(sheet->origin(), QStringLiteral("TidewellMesh \u2013 Settings"));
}

TEST_F(SettingsViewTest, TheFirstShowLoadsLaterOnesCopyAgainAndARestoredWindowKeepsTheEdit)
{
    engine.state.network.downLimitKbps = 500;
    engine.state.network.customRelayURL = "relay://127.0.0.1:22067";
    engine.state.deviceName = "Studio";
    open();
    NetworkSettings expected = engine.state.network;
    EXPECT_EQ(view->state().net(), expected);
    EXPECT_FALSE(view->state().net().relayEnabled);
    EXPECT_EQ(nameField("generalTab")->text(), "Studio");
    EXPECT_EQ(nameField("identityTab")->text(), "Studio");
    EXPECT_EQ(app().engineState().deviceName(), "Studio");

    type(nameField("generalTab"), "Unsaved");
    EXPECT_EQ(nameField("identityTab")->text(), "Unsaved");
    view->hide();
    view->show();
    EXPECT_EQ(nameField("generalTab")->text(), "Studio");
    EXPECT_EQ(nameField("identityTab")->text(), "Studio");

    // Coming back from the taskbar is no new opening.
    type(nameField("identityTab"), "Kept");
    SpontaneousShows restored(*view);
    view->showMinimized();
    ASSERT_TRUE(waitUntil([&] { return view->windowHandle()->windowState() == Qt::WindowMinimized; }));
    view->showNormal();
    ASSERT_TRUE(waitUntil([&] { return view->windowHandle()->windowState() == Qt::WindowNoState; }));
    EXPECT_EQ(restored.count, 1);
    EXPECT_EQ(nameField("generalTab")->text(), "Kept");
    EXPECT_EQ(engine.callCount("networkSettings"), 1);
    EXPECT_EQ(engine.callCount("localDeviceName"), 1);
    EXPECT_EQ(engine.callCount("setLocalDeviceName"), 0);

    const QImage shot = saveShot(*view, QStringLiteral("settings-general"));
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(shot.size(), view->size() * view->devicePixelRatio());
}

TEST_F(SettingsViewTest, ShowsWhileTheLoadIsHeldAskTheEngineOnce)
{
    engine.state.deviceName = "Studio";
    engine.hold("networkSettings");
    for (int i = 0; i < 3; ++i) {
        view->show();
        view->hide();
    }
    view->show();
    engine.release("networkSettings");
    ASSERT_TRUE(waitUntil([&] { return view->state().loaded(); }));
    EXPECT_EQ(engine.callCount("networkSettings"), 1);
    EXPECT_EQ(engine.callCount("localDeviceName"), 1);
    EXPECT_EQ(nameField("identityTab")->text(), "Studio");
}

TEST_F(SettingsViewTest, AnEngineThatNeverAnswersLeavesTheDefaultsShown)
{
    app().preferences().setDefaultIgnores("*.tmp\n# kept as typed");
    view = std::make_unique<SettingsView>(app());
    engine.hold("networkSettings");
    view->show();
    ASSERT_TRUE(waitUntil([&] { return engine.waiting("networkSettings") == 1; }));
    const NetworkSettings &net = view->state().net();
    EXPECT_TRUE(net.natTraversalEnabled && net.relayEnabled && net.localDiscoveryEnabled &&
                net.globalDiscoveryEnabled);
    EXPECT_EQ(net.downLimitKbps, 0);
    EXPECT_EQ(net.upLimitKbps, 0);
    EXPECT_EQ(nameField("generalTab")->text(), "");
    EXPECT_EQ(view->state().ignoreText(), "*.tmp\n# kept as typed");
    EXPECT_FALSE(view->state().loaded());
}

TEST_F(SettingsViewTest, BothNameRowsEditOneTextAndSaveSendsItAsTyped)
{
    engine.state.deviceName = "Studio";
    open();
    type(nameField("identityTab"), "");
    EXPECT_EQ(nameField("generalTab")->text(), "");
    EXPECT_FALSE(saveButton("generalTab")->isEnabled());
    EXPECT_FALSE(saveButton("identityTab")->isEnabled());

    type(nameField("identityTab"), "  ");
    EXPECT_TRUE(saveButton("generalTab")->isEnabled());
    saveButton("generalTab")->click();
    ASSERT_TRUE(waitUntil([&] { return engine.state.deviceName == "  "; }));
    EXPECT_EQ(engine.callsOf("setLocalDeviceName"), QStringList({"setLocalDeviceName(  )"}));
    EXPECT_EQ(app().engineState().deviceName(), "  ");

    engine.failNext("setLocalDeviceName", SyncEngineError::notRunning());
    type(nameField("generalTab"), "Attic");
    saveButton("identityTab")->click();
    ASSERT_TRUE(waitUntil([&] { return app().engineState().lastErrorMessage().has_value(); }));
    EXPECT_EQ(app().engineState().lastErrorMessage(), SyncEngineError::notRunning().errorDescription());
    EXPECT_EQ(nameField("generalTab")->text(), "Attic");
    EXPECT_EQ(engine.state.deviceName, "  ");
}

// Return in a field presses the button of the field's own section, counted
// here rather than carried out.
TEST_F(SettingsViewTest, ReturnInAFieldPressesItsSectionsButton)
{
    engine.state.deviceName = "Studio";
    open();
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    for (const char *group : {"connectManually", "manageTeamKey"})
        in<DisclosureGroup>("teamTab", group)->setExpanded(true);
    for (const auto &[field, text] : {std::pair{"address", nodeURL()}, {"apiKey", QStringLiteral("k3y")},
                                      {"teamKeyInput", QStringLiteral("KEY")}})
        in<QLineEdit>("teamTab", field)->setText(text);
    const struct
    {
        const char *tab;
        const char *field;
        const char *button;
    } rows[] = {
        {"teamTab", "address", "connect"},
        {"teamTab", "apiKey", "connect"},
        {"teamTab", "name", "connect"},
        {"teamTab", "teamKeyInput", "useTeamKey"},
        {"generalTab", "deviceName", "saveDeviceName"},
        {"identityTab", "deviceName", "saveDeviceName"},
        {"networkTab", "customRelay", "applyNetwork"},
        {"networkTab", "downLimit", "applyNetwork"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(std::string(row.tab) + " " + row.field);
        view->tabs()->setCurrentWidget(view->findChild<QWidget *>(row.tab));
        auto *button = in<QPushButton>(row.tab, row.button);
        ASSERT_TRUE(button->isEnabled());
        QObject::disconnect(button, &QAbstractButton::clicked, nullptr, nullptr);
        int clicks = 0;
        QObject::connect(button, &QAbstractButton::clicked, [&clicks] { ++clicks; });
        QWidget *field = in<QLineEdit>(row.tab, row.field);
        if (!field)
            field = in<QSpinBox>(row.tab, row.field);
        ASSERT_TRUE(field);
        field->setFocus();
        QTest::keyClick(field, Qt::Key_Return);
        EXPECT_EQ(clicks, 1);
    }
}

TEST_F(SettingsViewTest, TheEngineSectionNamesTheEngineAndFollowsItsStatus)
{
    EXPECT_EQ(in<QLabel>("generalTab", "backend")->text(), "Fake engine");
    EXPECT_EQ(in<QLabel>("generalTab", "license")->text(), u"Syncthing \u00B7 MPL-2.0"_qs);
    for (const bool running : {true, false}) {
        EngineStatus status;
        status.isRunning = running;
        app().engineState().setStatus(status);
        EXPECT_EQ(in<QLabel>("generalTab", "engineStatus")->text(), running ? "Running" : "Stopped");
    }

    auto *source = in<QPushButton>("generalTab", "viewSource");
    EXPECT_EQ(source->text(), "View source && license");
    // The address is captured, not opened; a loopback-only run would hold it back.
    const ScopedEnvironmentVariable anyRun("TIDEWELL_LOOPBACK_ONLY", std::nullopt);
    source->click();
    EXPECT_EQ(urls.opened, QList<QUrl>{QUrl("https://github.com/syncthing/syncthing")});
}

TEST_F(SettingsViewTest, TheDeviceIDShowsADashUntilKnownAndIsCopiedAsItIs)
{
    QApplication::clipboard()->setText("before");
    auto *id = in<ElidedLabel>("identityTab", "deviceID");
    EXPECT_EQ(id->fullText(), u"\u2014"_qs);
    in<QAbstractButton>("identityTab", "copyDeviceID")->click();
    EXPECT_EQ(QApplication::clipboard()->text(), "");

    awaitTask(app().devices().refresh());
    ASSERT_EQ(app().devices().localDeviceID(), engine.state.localDeviceID);
    EXPECT_EQ(id->fullText(), engine.state.localDeviceID);
    in<QAbstractButton>("identityTab", "copyDeviceID")->click();
    EXPECT_EQ(QApplication::clipboard()->text(), engine.state.localDeviceID);

    view->tabs()->setCurrentIndex(SettingsView::Identity);
    view->show();
    const QImage shot = saveShot(*view, QStringLiteral("settings-identity"));
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(shot.size(), view->size() * view->devicePixelRatio());
}

TEST_F(SettingsViewTest, StartupAndAppearanceSwitchesActAtOnce)
{
    const QString entry = dir.filePath("autostart.desktop");
    auto *login = in<QCheckBox>("generalTab", "startAtLogin");
    EXPECT_FALSE(login->isChecked());
    login->click();
    EXPECT_TRUE(QFile::exists(entry));
    login->click();
    EXPECT_FALSE(QFile::exists(entry));

    QList<Appearance> applied;
    app().preferences().setAppearanceHook([&](Appearance appearance) { applied << appearance; });
    in<QAbstractButton>("generalTab", "appearanceDark")->click();
    in<QAbstractButton>("generalTab", "appearanceSystem")->click();
    EXPECT_EQ(applied, QList<Appearance>({Appearance::Dark, Appearance::System}));
    EXPECT_EQ(defaults.string(AppPreferences::appearanceKey), "system");
    EXPECT_TRUE(in<QAbstractButton>("generalTab", "appearanceSystem")->isChecked());
}

TEST_F(SettingsViewTest, EachSwitchOnOfNotificationsAsksOnceAndOffAsksNothing)
{
    auto *notifications = in<QCheckBox>("generalTab", "showNotifications");
    ASSERT_TRUE(notifications->isChecked());
    notifications->click();
    EXPECT_FALSE(app().preferences().showNotifications());
    for (const int asked : {1, 2}) {
        notifications->click();
        EXPECT_TRUE(app().preferences().showNotifications());
        ASSERT_TRUE(waitUntil([&] { return notifier.permissionRequests == asked; }));
        notifications->click();
    }
    runEventLoopFor(50);
    EXPECT_EQ(notifier.permissionRequests, 2);
    EXPECT_EQ(defaults.boolean(AppPreferences::showNotificationsKey), false);
}

} // namespace
} // namespace tw

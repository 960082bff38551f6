// The settings window's Network tab offscreen on the view-test rig: the
// schedule stored at each edit, the network copy applied whole, the speed
// test on a script standing in for the measuring tool, and the buttons
// held back until the engine told its settings.

#include "views/settings/NetworkTab.h"

#include "app/AppPreferences.h"
#include "controllers/EngineController.h"
#include "design/Theme.h"
#include "engine/SyncEngineError.h"
#include "views/kit/KeyboardFocus.h"
#include "views/kit/PanelTexts.h"
#include "views/settings/MeasuredSpeed.h"
#include "views/settings/SettingsState.h"
#include "views/settings/SettingsView.h"

#include "QtPrinters.h"
#include "SaveShot.h"
#include "TextContrast.h"
#include "ScopedEnvironmentVariable.h"
#include "ViewTestEnv.h"
#include "WaitUntil.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <cmath>
#include <limits>

namespace tw {
namespace {

class NetworkTabTest : public ViewTestEnv
{
protected:
    void SetUp() override
    {
        ViewTestEnv::SetUp();
        // Group separators are the locale's.
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        view = std::make_unique<SettingsView>(app());
    }
    void TearDown() override { QLocale::setDefault(QLocale::system()); }

    template <typename T = QWidget>
    T *find(const char *name) const
    {
        return view->networkTab()->findChild<T *>(name);
    }
    QPushButton *button(const char *name) const { return find<QPushButton>(name); }
    bool shown(const char *name) const { return find(name)->isVisibleTo(view->networkTab()); }
    void open()
    {
        view->show();
        ASSERT_TRUE(waitUntil([&] { return view->state().loaded(); }));
    }
    // A script that prints what a measurement of these rates would, once the
    // file `gate` exists.
    QString speedTool(double downBits, double upBits)
    {
        const QString path = dir.filePath(QStringLiteral("speedtest-cli-%1").arg(++tools));
        QFile tool(path);
        EXPECT_TRUE(tool.open(QIODevice::WriteOnly | QIODevice::Truncate));
        const QByteArray json =
            QJsonDocument(QJsonObject{{"download", downBits}, {"upload", upBits}}).toJson(QJsonDocument::Compact);
        tool.write("#!/bin/sh\nwhile [ ! -e '" + gate().toUtf8() + "' ]; do sleep 0.02; done\necho '" + json +
                   "'\n");
        tool.close();
        tool.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        return path;
    }
    QString gate() const { return dir.filePath("measured"); }
    void openGate() const
    {
        QFile file(gate());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }

    std::unique_ptr<SettingsView> view;
    int tools = 0;
};

TEST_F(NetworkTabTest, ScheduleEditsAreStoredAtOnceAndTheWarningFollowsTheLimits)
{
    open();
    EXPECT_FALSE(shown("scheduleWarning"));
    find<QCheckBox>("scheduleOn")->click();
    EXPECT_TRUE(shown("scheduleWarning"));
    EXPECT_EQ(find<QLabel>("scheduleWarningText")->text(), texts::scheduleSlowsNothing);
    view->tabs()->setCurrentIndex(SettingsView::Network);
    settleLayouts();
    view->networkTab()->ensureWidgetVisible(find("scheduleWarningText"));
    const QImage schedule = saveShot(*view, QStringLiteral("network-schedule"));
    ASSERT_FALSE(schedule.isNull());
    EXPECT_EQ(schedule.size(), view->size() * view->devicePixelRatio());
    // Orange, in a shade that reads on the window.
    const QColor warning = find<QLabel>("scheduleWarningText")->palette().color(QPalette::WindowText);
    EXPECT_TRUE(test::isShadeOf(warning, Theme::orange()));
    EXPECT_TRUE(shotShowsColour(schedule, shotArea(schedule, *view, *find("scheduleWarningText")), warning));
    find<QSpinBox>("throttledUp")->setValue(100);
    EXPECT_FALSE(shown("scheduleWarning"));
    find<QSpinBox>("startHour")->setValue(9);
    EXPECT_EQ(find<QSpinBox>("startHour")->text(), "From 09:00");

    const QJsonObject stored = defaults.value(AppPreferences::bandwidthScheduleKey).value_or(QJsonValue()).toObject();
    EXPECT_EQ(stored.value("enabled"), true);
    EXPECT_EQ(stored.value("throttledUpKbps").toInteger(), 100);
    EXPECT_EQ(stored.value("throttledDownKbps").toInteger(), 0);
    EXPECT_EQ(stored.value("startHour").toInteger(), 9);

    auto *sunday = button("weekdaySun");
    EXPECT_FALSE(sunday->isChecked());
    sunday->click();
    EXPECT_EQ(app().preferences().bandwidthSchedule().weekdays, QSet<int>({1, 2, 3, 4, 5, 6}));
    EXPECT_TRUE(sunday->isChecked());
    sunday->click();
    EXPECT_EQ(app().preferences().bandwidthSchedule().weekdays, BandwidthSchedule::defaultWeekdays());
    EXPECT_EQ(engine.callCount("applyNetworkSettings"), 0);
}

// Each hour is typed over the whole text and confirmed with Return.
TEST_F(NetworkTabTest, TypedHoursAreReadWithOrWithoutTheLabelAndTheMinutes)
{
    open();
    const struct
    {
        const char *stepper;
        QString typed;
        int hour;
        QString shown;
    } cases[] = {
        {"startHour", "14", 14, "From 14:00"},
        {"startHour", "From 7:00", 7, "From 07:00"},
        {"endHour", "to 23", 23, "To 23:00"},
        {"endHour", "9:00", 9, "To 09:00"},
        // A digit that would pass the last hour is refused; what came before it stays.
        {"startHour", "25", 2, "From 02:00"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        auto *stepper = find<QSpinBox>(c.stepper);
        QTest::keyClick(stepper, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(stepper, c.typed);
        QTest::keyClick(stepper, Qt::Key_Return);
        EXPECT_EQ(stepper->value(), c.hour);
        EXPECT_EQ(stepper->text(), c.shown);
        const BandwidthSchedule schedule = app().preferences().bandwidthSchedule();
        EXPECT_EQ(c.stepper == std::string_view("startHour") ? schedule.startHour : schedule.endHour, c.hour);
    }
}

TEST_F(NetworkTabTest, ApplyHandsTheEngineEveryEditedFieldAndStoresTheManualLimits)
{
    open();
    for (const char *name : {"natTraversal", "localDiscovery", "globalDiscovery", "relay"})
        find<QCheckBox>(name)->click();
    find<QSpinBox>("downLimit")->setValue(1500);
    EXPECT_EQ(find<QSpinBox>("downLimit")->text(), "1,500");
    EXPECT_EQ(find<QSpinBox>("downLimit")->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    find<QSpinBox>("upLimit")->setValue(250);
    QTest::keyClicks(find<QLineEdit>("customRelay"), "relay://127.0.0.1:22067");
    QTest::keyClicks(find<QLineEdit>("customDiscovery"), "https://127.0.0.1:8443/");
    find<QPlainTextEdit>("alwaysLocalNets")->setPlainText("10.20.0.0/16\n192.168.7.0/24");
    // Nothing reaches the engine before "Apply".
    EXPECT_EQ(engine.callCount("applyNetworkSettings"), 0);

    button("applyNetwork")->click();
    ASSERT_TRUE(waitUntil([&] { return engine.callCount("applyNetworkSettings") == 1; }));
    ASSERT_TRUE(waitUntil([&] { return app().engineState().network() == view->state().net(); }));
    NetworkSettings expected;
    expected.natTraversalEnabled = expected.localDiscoveryEnabled = expected.globalDiscoveryEnabled =
        expected.relayEnabled = true;
    expected.downLimitKbps = 1500;
    expected.upLimitKbps = 250;
    expected.customRelayURL = "relay://127.0.0.1:22067";
    expected.customDiscoveryURL = "https://127.0.0.1:8443/";
    expected.alwaysLocalNets = "10.20.0.0/16\n192.168.7.0/24";
    EXPECT_EQ(engine.state.network, expected);
    EXPECT_EQ(defaults.integer(EngineController::manualDownKey), 1500);
    EXPECT_EQ(defaults.integer(EngineController::manualUpKey), 250);
}

TEST_F(NetworkTabTest, AMeasurementSuggestsALimitWhoseButtonAppliesThePendingEditsToo)
{
    // The tool is a script that reaches nothing; a loopback-only run would not start it.
    const ScopedEnvironmentVariable toolRuns("TIDEWELL_LOOPBACK_ONLY", std::nullopt);
    open();
    view->networkTab()->setSpeedToolPath(speedTool(80.9e6, 10.0e6));
    button("testSpeed")->click();
    EXPECT_EQ(button("testSpeed")->text(), texts::testingSpeed);
    EXPECT_FALSE(button("testSpeed")->isEnabled());
    EXPECT_FALSE(shown("applySuggestion"));
    openGate();
    ASSERT_TRUE(waitUntil([&] { return button("testSpeed")->isEnabled(); }, 20000));
    EXPECT_EQ(button("testSpeed")->text(), texts::testSpeed);
    EXPECT_EQ(find<QLabel>("measuredRates")->text(), u"\u2193 80 Mbit/s   \u2191 10 Mbit/s"_qs);
    EXPECT_EQ(find<QLabel>("suggestion")->text(), "Suggested upload limit: 1125 KB/s (90% of your upload).");
    EXPECT_EQ(button("applySuggestion")->text(), "Apply suggested upload limit (1125 KB/s)");

    // A tab switch keeps the result.
    view->tabs()->setCurrentIndex(SettingsView::Diagnostics);
    view->tabs()->setCurrentIndex(SettingsView::Network);
    EXPECT_TRUE(shown("applySuggestion"));
    settleLayouts();
    view->networkTab()->ensureWidgetVisible(find("applySuggestion"));
    const QImage result = saveShot(*view, QStringLiteral("network-speed-result"));
    ASSERT_FALSE(result.isNull());
    EXPECT_EQ(result.size(), view->size() * view->devicePixelRatio());

    find<QCheckBox>("relay")->click();
    button("applySuggestion")->click();
    ASSERT_TRUE(waitUntil([&] { return engine.callCount("applyNetworkSettings") == 1; }));
    EXPECT_EQ(engine.state.network.upLimitKbps, 1125);
    EXPECT_TRUE(engine.state.network.relayEnabled);
    EXPECT_EQ(find<QSpinBox>("upLimit")->value(), 1125);
}

// What can be shown is shown; a figure beyond the fields is no result.
TEST_F(NetworkTabTest, TheLargestLimitsFitTheirFieldsAndFilledAddressesKeepTheirTitles)
{
    open();
    view->tabs()->setCurrentIndex(SettingsView::Network);
    settleLayouts();
    for (const char *name : {"downLimit", "upLimit", "throttledDown", "throttledUp"}) {
        SCOPED_TRACE(name);
        auto *field = find<QSpinBox>(name);
        field->setValue(std::numeric_limits<int>::max());
        const QLineEdit *edit = field->findChild<QLineEdit *>();
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->text(), "2,147,483,647");
        // The text and the line edit's own margins, inside the field.
        EXPECT_LE(edit->fontMetrics().horizontalAdvance(edit->text()) + 4, edit->contentsRect().width());
    }
    for (const char *name : {"customRelay", "customDiscovery"}) {
        SCOPED_TRACE(name);
        auto *field = find<QLineEdit>(name);
        QTest::keyClicks(field, "relay://127.0.0.1:22067");
        const auto *title = find<QLabel>((QByteArray(name) + "Title").constData());
        ASSERT_NE(title, nullptr);
        EXPECT_TRUE(title->isVisibleTo(view->networkTab()));
        EXPECT_EQ(title->buddy(), field);
    }
    EXPECT_EQ(find<QLabel>("customRelayTitle")->text(), texts::customRelay);
    EXPECT_EQ(find<QLabel>("customDiscoveryTitle")->text(), texts::customDiscovery);
}

TEST(MeasuredSpeedTest, WholeNumbersAndTheSuggestionOrNothing)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct
    {
        double down, up;
        std::optional<MeasuredSpeed> expected;
    } rows[] = {
        {80.9, 10.0, MeasuredSpeed{80, 10, 1125}},
        {12.0, 0.005, MeasuredSpeed{12, 0, 0}},
        {0.0, 0.0, MeasuredSpeed{0, 0, 0}},
        {nan, 10.0, std::nullopt},
        {10.0, nan, std::nullopt},
        {inf, 10.0, std::nullopt},
        {10.0, inf, std::nullopt},
        {1e30, 10.0, std::nullopt},
        // Fits as a rate, not as a limit of KB/s.
        {10.0, 2e7, std::nullopt},
    };
    for (const auto &row : rows)
        EXPECT_EQ(MeasuredSpeed::of({row.down, row.up}), row.expected) << row.down << " " << row.up;
}

TEST_F(NetworkTabTest, ATinyUploadDisablesTheSuggestionAndAFailedRunShowsNoResult)
{
    // The tool is a script that reaches nothing; a loopback-only run would not start it.
    const ScopedEnvironmentVariable toolRuns("TIDEWELL_LOOPBACK_ONLY", std::nullopt);
    open();
    openGate();
    const struct
    {
        QString tool;
        bool result;
    } rows[] = {{speedTool(50e6, 5000), true}, {dir.filePath("no-such-tool"), false}, {speedTool(50e6, 1e36), false},
                {speedTool(50e6, 5000), true}};
    const auto *failed = find<QLabel>("speedTestFailedText");
    ASSERT_NE(failed, nullptr);
    EXPECT_EQ(failed->text(), texts::speedTestFailed);
    EXPECT_FALSE(shown("speedTestFailed"));
    for (const auto &row : rows) {
        view->networkTab()->setSpeedToolPath(row.tool);
        button("testSpeed")->click();
        EXPECT_FALSE(shown("speedTestFailed")) << "while it runs";
        ASSERT_TRUE(waitUntil([&] { return button("testSpeed")->isEnabled(); }, 20000));
        EXPECT_EQ(view->state().activity().speedResult.has_value(), row.result) << qPrintable(row.tool);
        EXPECT_EQ(shown("applySuggestion"), row.result);
        // A run without a result says so where the result would be.
        EXPECT_EQ(shown("speedTestFailed"), !row.result);
        if (row.result) {
            EXPECT_FALSE(button("applySuggestion")->isEnabled());
        }
    }
}

// The button is disabled while it runs: the focus it had neither moves on
// to the next field nor scrolls the page there.
TEST_F(NetworkTabTest, ATestKeepsThePageAndTheFocusWhereTheyWere)
{
    const ScopedEnvironmentVariable toolRuns("TIDEWELL_LOOPBACK_ONLY", std::nullopt);
    view->resize(580, 560);
    open();
    view->tabs()->setCurrentIndex(SettingsView::Network);
    settleLayouts();
    QScrollBar *scroll = view->networkTab()->verticalScrollBar();
    scroll->setValue(scroll->minimum());
    view->networkTab()->ensureWidgetVisible(button("testSpeed"), 0, 0);
    const int scrolled = scroll->value();
    view->networkTab()->setSpeedToolPath(speedTool(80.9e6, 10.0e6));
    button("testSpeed")->setFocus();
    QTest::keyClick(button("testSpeed"), Qt::Key_Space);
    ASSERT_FALSE(button("testSpeed")->isEnabled());
    EXPECT_FALSE(find("customRelay")->hasFocus());
    EXPECT_EQ(scroll->value(), scrolled);
    openGate();
    ASSERT_TRUE(waitUntil([&] { return button("testSpeed")->isEnabled(); }, 20000));
    EXPECT_EQ(view->focusWidget(), button("testSpeed"));
}

TEST_F(NetworkTabTest, SettingsNeverReadCannotBeAppliedAndTheNextShowAsksAgain)
{
    engine.state.network.customRelayURL = "relay://127.0.0.1:22067";
    engine.state.network.upLimitKbps = 400;
    engine.failNext("networkSettings", SyncEngineError::notRunning());
    view->show();
    ASSERT_TRUE(waitUntil([&] { return engine.callCount("localDeviceName") == 1; }));
    runEventLoopFor(20);
    EXPECT_FALSE(view->state().loaded());
    EXPECT_FALSE(button("applyNetwork")->isEnabled());
    EXPECT_TRUE(shown("networkNotRead"));
    EXPECT_EQ(find<QLabel>("networkNotRead")->text(), texts::networkNotRead);
    view->state().editActivity([](SettingsState::Activity &a) { a.speedResult = MeasuredSpeed{80, 10, 1125}; });
    EXPECT_FALSE(button("applySuggestion")->isEnabled());
    EXPECT_EQ(view->state().net(), NetworkSettings::initial());

    view->hide();
    view->show();
    ASSERT_TRUE(waitUntil([&] { return view->state().loaded(); }));
    EXPECT_EQ(engine.callCount("networkSettings"), 2);
    EXPECT_EQ(view->state().net(), engine.state.network);
    EXPECT_TRUE(button("applyNetwork")->isEnabled());
    EXPECT_TRUE(button("applySuggestion")->isEnabled());
    EXPECT_FALSE(shown("networkNotRead"));
    EXPECT_EQ(engine.callCount("applyNetworkSettings"), 0);
    // Read once, later shows copy without asking.
    view->hide();
    view->show();
    EXPECT_EQ(engine.callCount("networkSettings"), 2);
}

// Reached by Tab, the local networks' field scrolls wholly into view.
TEST_F(NetworkTabTest, AFieldReachedByTabScrollsWhollyIntoView)
{
    KeyboardFocus keyboard;
    qApp->installEventFilter(&keyboard);
    view->resize(580, 560);
    open();
    view->tabs()->setCurrentIndex(SettingsView::Network);
    settleLayouts();
    QApplication::setActiveWindow(view.get());
    auto *networks = find<QPlainTextEdit>("alwaysLocalNets");
    const QList<QWidget *> stops = KeyboardFocus::stopsAsRead(*view);
    QWidget *before = stops.value(stops.indexOf(networks) - 1);
    before->setFocus();
    QTest::keyClick(before, Qt::Key_Tab);
    qApp->removeEventFilter(&keyboard);
    EXPECT_EQ(networks->visibleRegion().boundingRect(), networks->rect());
}

} // namespace
} // namespace tw

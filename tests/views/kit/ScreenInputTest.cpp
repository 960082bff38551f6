// How every sheet, panel and settings tab takes the keys of the desk: Return
// presses the focused button, else a sheet's main button, the mouse wheel over
// a value that has no focus scrolls the page instead of changing it, a
// button busy with its work keeps the focus where it was, and a line pasted
// into a one-line field of a name stays one line.

#include "app/AppPreferences.h"
#include "app/AppSignals.h"
#include "app/ProjectSelection.h"
#include "cluster/NodeSetupPayload.h"
#include "views/feedback/FeedbackSheet.h"
#include "views/joining/AcceptFolderSheet.h"
#include "views/joining/InviteSheet.h"
#include "views/joining/JoinSheet.h"
#include "views/joining/NasSetupGuideView.h"
#include "views/joining/NodeSetupConfirmSheet.h"
#include "views/joining/WelcomeSheet.h"
#include "views/kit/ButtonReturnKey.h"
#include "views/kit/DisclosureGroup.h"
#include "views/kit/KeyboardFocus.h"
#include "views/kit/WheelFocusGuard.h"
#include "views/overview/NewProjectSheet.h"
#include "views/settings/SettingsView.h"
#include "views/syncpage/ProjectPageFactories.h"
#include "views/syncpage/ProjectView.h"
#include "views/syncpage/RenameSheet.h"
#include "views/window/IncomingBanner.h"
#include "views/window/MainWindow.h"
#include "views/window/NavigationPath.h"

#include "../support/ShellRig.h"
#include "../support/SyncPageRig.h"
#include "QtPrinters.h"
#include "SaveShot.h"
#include "ScreenChecks.h"
#include "SyncthingInstance.h"
#include "WaitUntil.h"
#include "WindowLookup.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QAbstractScrollArea>
#include <QListWidget>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QSpontaneKeyEvent>
#include <QTabWidget>
#include <QTest>
#include <QTextEdit>
#include <QToolBar>
#include <QToolButton>
#include <QWheelEvent>
#include <functional>

namespace tw {
namespace {

// build: made, filled in where its main button needs it, and shown.
struct Screen { const char *name; std::function<std::unique_ptr<QWidget>()> build; };

QCoro::Task<std::optional<QString>> pickTo(QString path, QWidget *)
{
    co_return path;
}

// The window made active, as the user's click makes it.
bool madeActive(QWidget &window)
{
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

QWidget *awaitVisible(QWidget &screen, const QString &name)
{
    EXPECT_TRUE(waitUntil([&] { return shownChild(&screen, name) != nullptr; })) << qPrintable(name);
    return shownChild(&screen, name);
}

void pressSpace(QWidget *widget)
{
    widget->setFocus(Qt::TabFocusReason);
    QTest::keyClick(widget, Qt::Key_Space);
}

class ScreenInputTest : public SyncPageRig
{
protected:
    void SetUp() override
    {
        SyncPageRig::SetUp();
        makeSync({folder(QStringLiteral("f1"), QStringLiteral("st1"))});
        connectPeer();
        load();
    }

    std::unique_ptr<QWidget> shown(std::unique_ptr<QWidget> screen)
    {
        screen->show();
        settleLayouts();
        return screen;
    }

    std::unique_ptr<QWidget> syncPageWithPanel(ProjectSelection::FolderPanel panel)
    {
        path.setIDs({syncID});
        auto page = std::make_unique<ProjectView>(app(), path, syncID, ProjectPageFactories::standard());
        page->setAnimated(false);
        page->resize(900, 700);
        page->tapFolder(QStringLiteral("f1"));
        page->openPanel(panel);
        return shown(std::move(page));
    }

    QList<Screen> sheets()
    {
        const PendingFolder offer{.folderID = QStringLiteral("offered"),
                                  .label = QStringLiteral("Studio \u2014 Shots"),
                                  .offeredByDeviceID = kPeer,
                                  .offeredByName = QStringLiteral("Bob")};
        return {
            {"placing sheet",
             [this, offer] {
                 const QString place = dir.filePath(QStringLiteral("Placed"));
                 QDir().mkpath(place);
                 auto sheet = std::make_unique<AcceptFolderSheet>(
                     app(), offer, [place](QWidget *parent) { return pickTo(place, parent); });
                 sheet->findChild<QPushButton *>(QStringLiteral("choose"))->click();
                 auto *placeButton = sheet->findChild<QPushButton *>(QStringLiteral("place"));
                 EXPECT_TRUE(waitUntil([&] { return placeButton->isEnabled(); }));
                 return shown(std::move(sheet));
             }},
            {"new-sync sheet",
             [this] {
                 auto sheet = std::make_unique<NewProjectSheet>(app(), [](QString) {});
                 sheet->findChild<QLineEdit *>(QStringLiteral("name"))->setText(QStringLiteral("Reel"));
                 return shown(std::move(sheet));
             }},
            {"invite sheet",
             [this] {
                 return shown(std::make_unique<InviteSheet>(app(), syncID, nullptr,
                                                            [] { return std::optional<QString>(); }));
             }},
            {"join sheet",
             [this] {
                 const Invite invite{.deviceID = kPeer, .name = QStringLiteral("Bob"),
                                     .project = QStringLiteral("Studio"), .tsIP = std::nullopt};
                 return shown(std::make_unique<JoinSheet>(app(), invite, [](QString) {}));
             }},
            {"node set-up confirmation",
             [this] {
                 const NodeSetupPayload payload{.baseURL = nodeURL(), .apiKey = kNodeKey,
                                                .name = QStringLiteral("NAS")};
                 return shown(std::make_unique<NodeSetupConfirmSheet>(app(), payload));
             }},
            {"welcome", [this] { return shown(std::make_unique<WelcomeSheet>(app(), [] {})); }},
            {"feedback sheet",
             [this] {
                 auto sheet = std::make_unique<FeedbackSheet>(app(), FeedbackSheet::kOrigin, nullptr, nullptr);
                 sheet->findChild<QPlainTextEdit *>(QStringLiteral("text"))->setPlainText(QStringLiteral("Stuck"));
                 return shown(std::move(sheet));
             }},
            {"rename sheet", [this] { return shown(std::make_unique<RenameSheet>(QStringLiteral("Bob"), false)); }},
            {"node set-up guide", [this] { return shown(std::make_unique<NasSetupGuideView>()); }},
        };
    }

    QList<Screen> panelsAndSettings()
    {
        return {
            {"settings window",
             [this] {
                 BandwidthSchedule schedule;
                 schedule.enabled = true;
                 app().preferences().setBandwidthSchedule(schedule);
                 auto view = std::make_unique<SettingsView>(app());
                 view->resize(AppShell::settingsSize);
                 return shown(std::move(view));
             }},
            {"folder settings panel",
             [this] { return syncPageWithPanel(ProjectSelection::FolderPanel::Settings); }},
            {"exclusion panel", [this] { return syncPageWithPanel(ProjectSelection::FolderPanel::Omit); }},
            {"archive panel", [this] { return syncPageWithPanel(ProjectSelection::FolderPanel::Archive); }},
            {"removal panel", [this] { return syncPageWithPanel(ProjectSelection::FolderPanel::Purge); }},
        };
    }

    // The screen of that name, shown on the settings window's tab (-1 elsewhere).
    std::unique_ptr<QWidget> build(const char *name, int tab, const QList<Screen> &others = {})
    {
        for (const Screen &screen : sheets() + panelsAndSettings() + others)
            if (qstrcmp(screen.name, name) == 0) {
                std::unique_ptr<QWidget> shownScreen = screen.build();
                if (tab >= 0)
                    static_cast<SettingsView *>(shownScreen.get())->tabs()->setCurrentIndex(tab);
                settleLayouts();
                return shownScreen;
            }
        return nullptr;
    }

    // Room to free: the question of "Free up space now".
    void keepAnOldVersion() { SyncthingInstance::writeFile(dir.filePath("f1/.stversions/old.txt"), QByteArray(5000, 'a')); }

    // The Team tab's manual set-up filled in with the node's address.
    void fillConnect(QWidget &screen, const QString &apiKey)
    {
        screen.findChild<DisclosureGroup *>(QStringLiteral("connectManually"))->setExpanded(true);
        screen.findChild<QLineEdit *>(QStringLiteral("address"))->setText(nodeURL());
        screen.findChild<QLineEdit *>(QStringLiteral("apiKey"))->setText(apiKey);
    }

    NavigationPath path;
};

// The widgets Tab visits in the window, in its order.
QList<QWidget *> focusStops(QWidget &window)
{
    QList<QWidget *> stops;
    for (QWidget *next = window.nextInFocusChain(); next && next != &window; next = next->nextInFocusChain())
        if (next->window() == &window && next->isVisible() && next->isEnabled() &&
            (next->focusPolicy() & Qt::TabFocus) && !next->focusProxy())
            stops.append(next);
    return stops;
}

// The button's presses counted, its work (and menu) not carried out.
void countInstead(QAbstractButton &button, std::function<void()> count)
{
    QObject::disconnect(&button, &QAbstractButton::clicked, nullptr, nullptr);
    QObject::disconnect(&button, &QAbstractButton::pressed, nullptr, nullptr);
    // A toolbar's button triggers its action besides.
    if (auto *tool = qobject_cast<QToolButton *>(&button); tool && tool->defaultAction())
        tool->defaultAction()->blockSignals(true);
    QObject::connect(&button, &QAbstractButton::clicked, std::move(count));
}

TEST_F(ScreenInputTest, ReturnPressesTheFocusedButtonElseTheSheetsMainButton)
{
    for (const Screen &screen : sheets()) {
        SCOPED_TRACE(screen.name);
        std::unique_ptr<QWidget> sheet = screen.build();
        QPushButton *main = nullptr;
        for (QPushButton *button : sheet->findChildren<QPushButton *>())
            if (button->isDefault())
                main = button;
        ASSERT_NE(main, nullptr);
        ASSERT_TRUE(main->isEnabled());
        int clicks = 0;
        for (QAbstractButton *button : sheet->findChildren<QAbstractButton *>())
            countInstead(*button, [&clicks, button, main] { clicks += button == main; });
        ASSERT_TRUE(madeActive(*sheet));

        // Twice round: the focus has been on the main button and left it.
        const QList<QWidget *> stops = focusStops(*sheet);
        EXPECT_GE(stops.size(), 2);
        for (QWidget *stop : stops + stops) {
            stop->setFocus(Qt::TabFocusReason);
            if (!stop->hasFocus()) {
                ADD_FAILURE() << "the focus cannot go to " << qPrintable(screenchecks::describe(*stop));
                break;
            }
            const int before = clicks;
            QTest::keyClick(stop, Qt::Key_Return);
            // A multi-line field takes Return as a new line, another button
            // ("Cancel") for itself.
            const bool multiLine = qobject_cast<QPlainTextEdit *>(stop) || qobject_cast<QTextEdit *>(stop);
            const bool otherButton = stop != main && ButtonReturnKey::takesReturn(*stop);
            EXPECT_EQ(clicks - before, multiLine || otherButton ? 0 : 1) << qPrintable(screenchecks::describe(*stop));
            // Return in an open list only picks the entry.
            if (auto *list = qobject_cast<QComboBox *>(stop)) {
                list->showPopup();
                ASSERT_TRUE(waitUntil([&] { return list->view()->isVisible(); }));
                const int picks = clicks;
                QTest::keyClick(list->view(), Qt::Key_Down);
                QTest::keyClick(list->view(), Qt::Key_Return);
                EXPECT_FALSE(list->view()->isVisible());
                EXPECT_EQ(clicks, picks) << qPrintable(screenchecks::describe(*stop)) << " pressed from its open list";
            }
        }
        // So too where the keys reach the sheet before Qt counts it active again.
        for (QWidget *stop : stops) {
            if (stop == main || !ButtonReturnKey::takesReturn(*stop))
                continue;
            stop->setFocus(Qt::TabFocusReason);
            QApplication::setActiveWindow(nullptr);
            const int before = clicks;
            QTest::keyClick(stop, Qt::Key_Return);
            EXPECT_EQ(clicks, before) << qPrintable(screenchecks::describe(*stop)) << " with no window active";
            QApplication::setActiveWindow(sheet.get());
        }
    }
}

// Return and Enter press the focused button of the window, and only it, as
// Space does: the toolbar's, the status bar's pause, the "New sync" tile, a
// panel's back chevron, its Cancel (never its Save).
TEST_F(ScreenInputTest, ReturnPressesEveryFocusedButtonOfTheWindowAsSpaceDoes)
{
    ShellRig application;  // the application as main() builds it
    AppSignals appSignals;
    app().defaults().setBoolean(MainWindow::didCompleteSetupKey, true);
    MainWindow window(app(), appSignals, ViewFactories::standard());
    window.show();
    ASSERT_TRUE(madeActive(window));
    int checked = 0;
    const auto pressEach = [&] {
        settleLayouts();
        QList<QAbstractButton *> pressed;
        const QList<QAbstractButton *> buttons = window.findChildren<QAbstractButton *>();
        for (QAbstractButton *button : buttons)
            countInstead(*button, [&pressed, button] { pressed.append(button); });
        for (QAbstractButton *button : buttons)
            for (const Qt::Key key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter}) {
                if (!KeyboardFocus::isStop(*button) || !ButtonReturnKey::takesReturn(*button))
                    break;
                pressed.clear();
                button->setFocus(Qt::TabFocusReason);
                QTest::keyClick(button, key);
                EXPECT_EQ(pressed, QList<QAbstractButton *>{button}) << qPrintable(screenchecks::describe(*button)) << key;
                checked += key == Qt::Key_Return;
            }
    };
    pressEach();
    window.path().setIDs({syncID});
    auto *page = static_cast<ProjectView *>(window.topPage());
    page->setAnimated(false);
    page->tapFolder(QStringLiteral("f1"));
    page->openPanel(ProjectSelection::FolderPanel::Settings);
    pressEach();
    EXPECT_GE(checked, 8);
}

// wheelDelta: the direction in which the value can still move
struct Reading { QString value; int wheelDelta; };

Reading readValue(const QWidget &widget)
{
    if (const auto *box = qobject_cast<const QSpinBox *>(&widget))
        return {box->text(), box->value() < box->maximum() ? 120 : -120};
    if (const auto *box = qobject_cast<const QAbstractSpinBox *>(&widget))
        return {box->text(), 120};
    if (const auto *combo = qobject_cast<const QComboBox *>(&widget))
        return {QString::number(combo->currentIndex()), combo->currentIndex() + 1 < combo->count() ? -120 : 120};
    const auto *slider = qobject_cast<const QAbstractSlider *>(&widget);
    return {QString::number(slider->value()), slider->value() < slider->maximum() ? 120 : -120};
}

// A wheel as the desktop sends it, to what is under the widget's middle
// (a spin box's line edit, say).
void turnWheel(QWidget &widget, int delta)
{
    const QPoint middle = widget.rect().center();
    QWidget *under = widget.childAt(middle);
    QWidget &target = under ? *under : widget;
    const QPointF at = target.mapFrom(&widget, QPointF(middle));
    QWheelEvent wheel(at, target.mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QSpontaneKeyEvent::setSpontaneous(&wheel);
    QApplication::instance()->notify(&target, &wheel);
}

// The scroll bar of the page the widget is on, when the page can scroll.
QScrollBar *pageScroll(QWidget &widget)
{
    for (QWidget *up = widget.parentWidget(); up; up = up->parentWidget())
        if (auto *area = qobject_cast<QAbstractScrollArea *>(up)) {
            QScrollBar *bar = area->verticalScrollBar();
            if (area->viewport()->isAncestorOf(&widget) && bar->maximum() > bar->minimum())
                return bar;
        }
    return nullptr;
}

// Every page of the screen: each tab of its tab widgets, else the screen.
void forEachPage(QWidget &screen, const std::function<void()> &visit)
{
    const QList<QTabWidget *> tabs = screen.findChildren<QTabWidget *>();
    if (tabs.isEmpty())
        visit();
    for (QTabWidget *tab : tabs)
        for (int i = 0; i < tab->count(); ++i) {
            SCOPED_TRACE(tab->tabText(i).toStdString());
            tab->setCurrentIndex(i);
            settleLayouts();
            visit();
        }
}

TEST_F(ScreenInputTest, TheWheelOverAValueWithoutFocusScrollsThePage)
{
    ShellRig application;  // the application as main() builds it
    int checked = 0, scrolled = 0;
    for (const Screen &screen : sheets() + panelsAndSettings()) {
        SCOPED_TRACE(screen.name);
        std::unique_ptr<QWidget> shownScreen = screen.build();
        ASSERT_TRUE(madeActive(*shownScreen));
        forEachPage(*shownScreen, [&] {
            for (QWidget *widget : shownScreen->findChildren<QWidget *>()) {
                if (!widget->isVisible() || !WheelFocusGuard::guards(*widget))
                    continue;
                SCOPED_TRACE(screenchecks::describe(*widget).toStdString());
                ++checked;
                widget->clearFocus();
                QScrollBar *page = pageScroll(*widget);
                if (page)
                    page->setValue((page->minimum() + page->maximum()) / 2);
                const int pageAt = page ? page->value() : 0;
                const Reading before = readValue(*widget);
                turnWheel(*widget, before.wheelDelta);
                EXPECT_EQ(readValue(*widget).value, before.value);
                EXPECT_NE(widget->window()->focusWidget(), widget) << "the wheel gave it the focus";
                if (page) {
                    ++scrolled;
                    EXPECT_NE(page->value(), pageAt) << "the page did not scroll";
                }
                // With the focus, the wheel is the value's.
                widget->setFocus(Qt::MouseFocusReason);
                turnWheel(*widget, before.wheelDelta);
                EXPECT_NE(readValue(*widget).value, before.value);
                widget->clearFocus();
            }
        });
    }
    // The schedule's hours and limits, both speed limits, the invitation's
    // role, a folder's archive retention.
    EXPECT_GE(checked, 8);
    EXPECT_GE(scrolled, 6);
}

// A name copied from a document, lines and all, is pasted into each field
// of a name: its line breaks become spaces, and the name sent is one line.
TEST_F(ScreenInputTest, APastedLineBreakInANameFieldBecomesASpace)
{
    int pasted = 0;
    for (const Screen &screen : sheets() + panelsAndSettings()) {
        SCOPED_TRACE(screen.name);
        std::unique_ptr<QWidget> shownScreen = screen.build();
        for (QLineEdit *field : shownScreen->findChildren<QLineEdit *>()) {
            const QString name = field->objectName();
            if (name != QStringLiteral("name") && name != QStringLiteral("deviceName"))
                continue;
            SCOPED_TRACE(screenchecks::describe(*field).toStdString());
            ++pasted;
            field->clear();
            QApplication::clipboard()->setText(QStringLiteral("Studio\nB\r\nLoft\t2\u2028"));
            QTest::keySequence(field, QKeySequence::Paste);
            EXPECT_EQ(field->text(), QStringLiteral("Studio B Loft 2 "));
        }
        if (auto *save = shownScreen->findChild<QPushButton *>(QStringLiteral("saveDeviceName"))) {
            save->click();
            EXPECT_TRUE(waitUntil([&] { return engine.state.deviceName == QStringLiteral("Studio B Loft 2 "); }))
                << qPrintable(engine.state.deviceName);
        }
    }
    // The new-sync and rename sheets' names, this Mac's on the General and
    // Identity tabs, the node's on the Team tab.
    EXPECT_EQ(pasted, 5);
}

// Tab leaves a multi-line field and types nothing into it: a tab there sits
// unseen inside a pattern or a network, and the keyboard could not leave.
TEST_F(ScreenInputTest, TabLeavesEveryMultiLineFieldAndTypesNoTab)
{
    int editors = 0;
    for (const Screen &screen : sheets() + panelsAndSettings()) {
        std::unique_ptr<QWidget> shownScreen = screen.build();
        for (QPlainTextEdit *editor : shownScreen->findChildren<QPlainTextEdit *>()) {
            if (editor->isReadOnly())
                continue;
            ++editors;
            editor->setFocus();
            const QString before = editor->toPlainText();
            QTest::keyClick(editor, Qt::Key_Tab);
            EXPECT_EQ(editor->toPlainText(), before) << screen.name;
            EXPECT_NE(editor->window()->focusWidget(), editor) << screen.name;
        }
    }
    // The feedback, the local networks and the raw ignore list.
    EXPECT_EQ(editors, 3);
}

// A button that disables itself while its work runs: where it is, and what
// makes it ready to be pressed.
// tab: the settings window's, -1 elsewhere; again: enabled again once done (an archive freed has nothing
// left to free).
struct BusyButton { const char *screen; int tab; const char *button; std::function<void(QWidget &)> ready = [](QWidget &) {};
                    bool again = true; };

// The button pressed from the keyboard is disabled while it works: the focus
// stays with it (Qt passes a disabled widget's focus on to the next field,
// scrolling the page there and putting the cursor in it), and is its own
// again once it is enabled.
TEST_F(ScreenInputTest, AButtonBusyWithItsWorkKeepsTheFocus)
{
    keepAnOldVersion();
    // The node's sheet registers the node, which hides the Team tab's
    // manual set-up: that one comes first.
    const QList<BusyButton> buttons = {
        {"settings window", SettingsView::Team, "connect",
         [this](QWidget &screen) { fillConnect(screen, QStringLiteral("not-the-key")); }},
        {"settings window", SettingsView::Ignores, "applyToAll"},
        {"settings window", SettingsView::Diagnostics, "readAllMacs"},
        {"settings window", SettingsView::Diagnostics, "rebuild"},
        {"folder settings panel", -1, "freeSpace", [](QWidget &) {}, false},
        {"placing sheet", -1, "place"},
        {"node set-up confirmation", -1, "connect"},
        {"feedback sheet", -1, "send"},
    };
    for (const BusyButton &row : buttons) {
        SCOPED_TRACE(std::string(row.screen) + " " + row.button);
        std::unique_ptr<QWidget> shownScreen = build(row.screen, row.tab);
        ASSERT_NE(shownScreen, nullptr);
        row.ready(*shownScreen);
        settleLayouts();
        QWidget *button = shownChild(shownScreen.get(), row.button);
        ASSERT_NE(qobject_cast<QPushButton *>(button), nullptr);
        ASSERT_TRUE(waitUntil([&] { return button->isEnabled(); }));
        ASSERT_TRUE(madeActive(*shownScreen));
        pressSpace(button);
        // A bulk or destructive action asks first.
        if (auto *box = shownScreen->findChild<QMessageBox *>(); box && box->isVisible())
            box->findChild<QPushButton *>(QStringLiteral("confirm"))->click();
        const auto focusOnButton = [&] {
            const QWidget *focus = button->window()->focusWidget();
            return !focus || focus == button || focus->isAncestorOf(button);
        };
        EXPECT_TRUE(focusOnButton()) << qPrintable(screenchecks::describe(*button->window()->focusWidget()));
        if (row.again && waitUntil([&] { return button->isEnabled() || !button->isVisible(); }) &&
            button->isVisible()) {
            EXPECT_EQ(button->window()->focusWidget(), button);
        }
    }
}

// Where the focus goes when what holds it goes: a control that the user's
// own press disables or hides hands it to a harmless neighbour, a panel takes
// it on its first stop and gives it back to the button that opened it, a
// question gives it back to its button, ringed after the keyboard.
// act: answers where the focus should be; ringed: the last input was a key.
struct FocusMove { const char *screen; int tab; std::function<QWidget *(QWidget &)> act; bool ringed = true; };

TEST_F(ScreenInputTest, TheFocusGoesBackWhereTheUserWasOrToAHarmlessNeighbour)
{
    ShellRig application;
    keepAnOldVersion();
    AppSignals appSignals;
    // Pressed once `ready` has shown it; answers what shows where it was.
    const auto pressThen = [](std::function<void(QWidget &)> ready, const char *pressed, const char *next) {
        return [=](QWidget &screen) {
            ready(screen);
            pressSpace(shownChild(&screen, pressed));
            return awaitVisible(screen, next);
        };
    };
    // Each switch that stretches across its row clicked beside its words,
    // where it stays as it was, then on them; the last one clicked holds the
    // focus, unringed after the mouse.
    const auto clickSwitches = [](QWidget &screen) -> QWidget * {
        QCheckBox *last = nullptr;
        for (QCheckBox *box : screen.findChildren<QCheckBox *>()) {
            const int words = box->sizeHint().width();
            if (!box->isVisible() || !box->isEnabled() || box->width() < words + 20)
                continue;
            const QSignalBlocker unheard(box);  // whether it turns, not what it does
            const bool was = box->isChecked();
            QTest::mouseClick(box, Qt::LeftButton, {}, QPoint((words + box->width()) / 2, box->height() / 2));
            EXPECT_EQ(box->isChecked(), was) << qPrintable(screenchecks::describe(*box)) << " beside its words";
            QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(words / 2, box->height() / 2));
            EXPECT_NE(box->isChecked(), was) << qPrintable(screenchecks::describe(*box)) << " on its words";
            last = box;
        }
        return last;
    };
    const QList<FocusMove> moves = {
        // A sheet opened from the keyboard rings the control it gives the
        // focus to (before a node is set up, while the guide is offered).
        {"settings window", SettingsView::Team, [](QWidget &screen) -> QWidget * {
             pressSpace(awaitVisible(screen, "setUpAutomatically"));
             QWidget *guide = nullptr;
             EXPECT_TRUE(waitUntil([&] { return (guide = shownChild<NasSetupGuideView>(&screen)) && guide->isActiveWindow(); }));
             return guide ? guide->focusWidget() : nullptr;
         }},
        {"settings window", SettingsView::General, clickSwitches, false},
        {"settings window", SettingsView::Network, clickSwitches, false},
        {"settings window", SettingsView::Ignores, clickSwitches, false},
        {"settings window", SettingsView::Team, clickSwitches, false},
        {"settings window", SettingsView::Diagnostics, clickSwitches, false},
        {"folder settings panel", -1, clickSwitches, false},
        {"feedback sheet", -1, clickSwitches, false},
        {"new-sync sheet", -1, clickSwitches, false},
        {"new-sync sheet", -1,
         [](QWidget &screen) -> QWidget * {
             auto *toggle = screen.findChild<QCheckBox *>(kPeer);
             pressSpace(toggle);
             // The ring lies over nothing the toggle draws: its box's edge shows whole.
             auto *ring = toggle->findChild<QWidget *>(QStringLiteral("focusRing"));
             ring->hide();
             const QImage bare = toggle->grab().toImage();
             ring->show();
             const QImage ringed = toggle->grab().toImage();
             int covered = 0;
             for (int y = 0; y < bare.height(); ++y)
                 for (int x = 0; x < bare.width(); ++x)
                     covered += int(bare.pixel(x, y) != bare.pixel(0, 0) && ringed.pixel(x, y) != bare.pixel(x, y));
             EXPECT_EQ(covered, 0);
             return toggle;
         }},
        {"settings window", SettingsView::Ignores,
         [](QWidget &screen) {
             auto *field = static_cast<QLineEdit *>(shownChild(&screen, "newPattern"));
             field->setText(QStringLiteral("*.render"));
             QTest::mouseClick(shownChild(&screen, "addPattern"), Qt::LeftButton);
             return field;
         },
         false},
        {"exclusion panel", -1,
         [](QWidget &screen) {
             pressSpace(shownChild(&screen, "back"));
             pressSpace(awaitVisible(screen, "ignore"));
             awaitVisible(screen, "panelHost");
             // The panel's first stop: its back button.
             EXPECT_TRUE(waitUntil([&] { return screen.window()->focusWidget() == shownChild(&screen, "back"); }));
             pressSpace(shownChild(&screen, "back"));
             return awaitVisible(screen, "ignore");
         }},
        {"folder settings panel", -1,
         [](QWidget &screen) {
             QWidget *freeSpace = shownChild(&screen, "freeSpace");
             EXPECT_TRUE(waitUntil([&] { return freeSpace->isEnabled(); }));
             pressSpace(freeSpace);
             QMessageBox *box = nullptr;
             EXPECT_TRUE(waitUntil([&] { return (box = screen.findChild<QMessageBox *>()) && box->isVisible(); }));
             if (box)
                 QTest::keyClick(box, Qt::Key_Escape);
             return freeSpace;
         }},
        // Back from the chooser, a window of its own, the ring is on "+"
        // and follows Tab again.
        {"exclusion panel", -1,
         [this](QWidget &screen) {
             pressSpace(shownChild(&screen, "back"));
             QWidget *add = awaitVisible(screen, ProjectView::addFolderHelp);
             pressSpace(add);
             QFileDialog *picker = nullptr;
             const auto up = [&] { return (picker = screen.findChild<QFileDialog *>()) && picker->isActiveWindow(); };
             if (!waitUntil(up) || !QDir(dir.path()).mkdir(QStringLiteral("Added")))
                 return static_cast<QWidget *>(nullptr);
             auto *name = picker->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
             name->setText(dir.filePath(QStringLiteral("Added")));
             QTest::keyClick(picker->focusWidget(), Qt::Key_Return);
             EXPECT_TRUE(waitUntil([&] { return screen.isActiveWindow() && screen.focusWidget() == add; }));
             QTest::keyClick(add, Qt::Key_Tab);
             return screen.focusWidget();
         }},
        // Each to the nearest stop of its own section (the node's replaces
        // its set-up), never to the next section's.
        {"settings window", SettingsView::Team,
         pressThen([this](QWidget &) { awaitTask(app().projects().dismissIncomingFolderAll(QStringLiteral("f7"))); },
                   "resetIgnored", "autoJoinNode")},
        {"settings window", SettingsView::Team,
         pressThen([](QWidget &screen) { screen.findChild<DisclosureGroup *>("manageTeamKey")->setExpanded(true); },
                   "generateTeamKey", "reveal")},
        {"settings window", SettingsView::Team,
         pressThen([this](QWidget &screen) { fillConnect(screen, kNodeKey); }, "connect", "check")},
        // The banner's page takes the focus on its first stop, and gives it
        // back to the banner after "back".
        {"main window", -1, [](QWidget &screen) {
             auto &window = static_cast<MainWindow &>(screen);
             pressSpace(window.incomingBanner());
             EXPECT_TRUE(waitUntil([&] {
                 QWidget *first = KeyboardFocus::stopsAsRead(*window.topPage()).value(0);
                 return window.path().endsInIncoming() && first && window.focusWidget() == first;
             }));
             pressSpace(window.toolBar()->widgetForAction(window.findChild<QAction *>(QStringLiteral("backAction"))));
             EXPECT_TRUE(waitUntil([&] { return window.incomingBanner()->isVisible(); }));
             return window.incomingBanner();
         }},
        // Pause all and the status page take the focus only from the user's
        // own Tab or click: not at first, nor back from a sheet, nor handed on.
        {"main window", -1, [](QWidget &screen) { return KeyboardFocus::stopsAsRead(screen).value(0); }, false},
        {"first start", -1, [](QWidget &screen) {
             pressSpace(awaitVisible(screen, "create"));
             QWidget *sheet = awaitVisible(screen, "newProjectSheet");
             QTest::keyClick(sheet->focusWidget() ? sheet->focusWidget() : sheet, Qt::Key_Escape);
             return KeyboardFocus::stopsAsRead(screen).value(0);
         }},
        {"settings window", SettingsView::Diagnostics, [this](QWidget &screen) {
             engine.hold(QStringLiteral("resetDatabase"));
             QWidget *rebuild = shownChild(&screen, "rebuild");  // busy, it keeps the focus
             pressSpace(rebuild);
             pressSpace(awaitVisible(screen, "confirm"));
             EXPECT_TRUE(waitUntil([&] { return engine.waiting("resetDatabase") && !screen.findChild<QMessageBox *>(); }));
             EXPECT_TRUE(madeActive(screen));
             engine.release(QStringLiteral("resetDatabase"));
             return rebuild;
         }},
        // The house builds the path bar anew: the focus stays in the browser.
        {"exclusion panel", -1, [](QWidget &screen) {
             pressSpace(awaitVisible(screen, "root"));
             return awaitVisible(screen, "root");
         }},
        // A sheet opened from the keyboard rings the control it gives the focus to.
        {"main window", -1, [](QWidget &screen) -> QWidget * {
             pressSpace(static_cast<MainWindow &>(screen).incomingBanner());
             pressSpace(awaitVisible(screen, "place"));
             QWidget *sheet = nullptr;
             EXPECT_TRUE(waitUntil([&] { return (sheet = shownChild<AcceptFolderSheet>(&screen)) && sheet->isActiveWindow(); }));
             return sheet ? sheet->focusWidget() : nullptr;
         }},
        {"exclusion panel", -1, [](QWidget &screen) -> QWidget * {
             pressSpace(awaitVisible(screen, ProjectView::inviteHelp));
             QWidget *sheet = nullptr;
             EXPECT_TRUE(waitUntil([&] { return (sheet = shownChild<InviteSheet>(&screen)) && sheet->isActiveWindow(); }));
             return sheet ? sheet->focusWidget() : nullptr;
         }},
        // A list worked with keys gives the ring back to its opener.
        {"folder settings panel", -1, [](QWidget &screen) {
             auto *retention = static_cast<QComboBox *>(awaitVisible(screen, "retention"));
             pressSpace(retention);
             QTest::keyClick(retention->view(), Qt::Key_Down);
             QTest::keyClick(retention->view(), Qt::Key_Return);
             return retention;
         }},
        // An item of a Mac's menu chosen by the keys: the ring back on its chip.
        {"exclusion panel", -1, [](QWidget &screen) -> QWidget * {
             pressSpace(shownChild(&screen, "back"));
             QToolButton *chip = nullptr;
             EXPECT_TRUE(waitUntil([&] {
                 for (auto *shown : screen.findChildren<QToolButton *>(QStringLiteral("deviceChip")))
                     if (shown->isVisible() && shown->menu())
                         chip = shown;
                 return chip != nullptr;
             }));
             if (!chip)
                 return nullptr;
             QTimer::singleShot(0, [] {
                 QWidget *menu = QApplication::activePopupWidget();
                 QTest::keyClick(menu, Qt::Key_Down);
                 QTest::keyClick(menu, Qt::Key_Down);
                 QTest::keyClick(menu, Qt::Key_Return);
             });
             pressSpace(chip);
             EXPECT_TRUE(waitUntil([&] { return chip->menu()->actions().value(1)->isChecked(); }))
                 << "the chosen item, \"Pause\", taken";
             return chip;
         }},
        // A removal confirmed by the keys rings the stop the focus goes to
        // (last: the folder is gone after it).
        {"exclusion panel", -1, [](QWidget &screen) -> QWidget * {
             pressSpace(shownChild(&screen, "back"));
             pressSpace(awaitVisible(screen, "remove"));
             QWidget *box = nullptr;
             EXPECT_TRUE(waitUntil([&] { return (box = screen.findChild<QMessageBox *>("removeConfirm")) && box->isActiveWindow(); }));
             if (!box)
                 return nullptr;
             QWidget *confirm = box->findChild<QPushButton *>(QStringLiteral("confirm"));
             confirm->setFocus(Qt::TabFocusReason);
             QTest::keyClick(confirm, Qt::Key_Return);
             EXPECT_TRUE(waitUntil([&] { return !shownChild(&screen, "remove") && !screen.findChild<QMessageBox *>(); }));
             EXPECT_TRUE(madeActive(screen));
             return screen.focusWidget();
         }},
    };
    const auto mainWindowShown = [this, &appSignals](bool welcomeSeen) {
        engine.state.pendingFolders = {{.folderID = "f9", .label = {}, .offeredByDeviceID = kPeer, .offeredByName = {}}};
        awaitTask(app().projects().refreshPending());
        app().defaults().setBoolean(MainWindow::didCompleteSetupKey, welcomeSeen);
        return shown(std::make_unique<MainWindow>(app(), appSignals, ViewFactories::standard()));
    };
    const QList<Screen> mainWindow{{"main window", [&] { return mainWindowShown(true); }},
                                   {"first start", [&] { return mainWindowShown(false); }}};
    for (const FocusMove &move : moves) {
        SCOPED_TRACE(move.screen);
        std::unique_ptr<QWidget> shownScreen = build(move.screen, move.tab, mainWindow);
        ASSERT_NE(shownScreen, nullptr);
        ASSERT_TRUE(madeActive(*shownScreen));
        QPointer<QWidget> expected = move.act(*shownScreen);
        ASSERT_TRUE(expected);
        const auto ringed = [&] {
            const QWidget *ring = shownScreen->findChild<QWidget *>(QStringLiteral("focusRing"));
            return ring && ring->isVisible() && ring->parentWidget() == expected;
        };
        EXPECT_TRUE(waitUntil([&] { return expected && expected->window()->focusWidget() == expected && ringed() == move.ringed; }))
            << qPrintable(shownScreen->focusWidget() ? screenchecks::describe(*shownScreen->focusWidget()) : "none")
            << " ringed: " << ringed();
    }
}

// A list focused by a click, with no row marked: the first key shows the
// row it would act on, and acts on nothing.
TEST_F(ScreenInputTest, AKeyOnAListWithoutAMarkedRowFirstShowsIt)
{
    ShellRig application;
    QWidget window;
    auto &list = *new QListWidget(&window);
    list.addItems({QStringLiteral("a"), QStringLiteral("b")});
    int activated = 0;
    QObject::connect(&list, &QListWidget::itemActivated, [&activated] { ++activated; });
    window.show();
    ASSERT_TRUE(madeActive(window));
    list.setFocus(Qt::MouseFocusReason);
    QTest::keyClick(&list, Qt::Key_Return);
    EXPECT_EQ(list.currentRow(), 0);
    EXPECT_EQ(activated, 0);
    QTest::keyClick(&list, Qt::Key_Return);
    EXPECT_EQ(activated, 1);
}

} // namespace
} // namespace tw

// Each panel's failure or result line told and taken back: the rows and the
// buttons the user aims at stay where they were, so a second click lands
// where the first did.

#include "projects/ProjectController.h"
#include "views/kit/DisclosureGroup.h"
#include "views/shell/WidgetAppearance.h"
#include "views/panels/FolderSettingsPanel.h"
#include "views/panels/OmitLevelModel.h"
#include "views/panels/OmitPanel.h"
#include "views/panels/PurgePanel.h"
#include "views/settings/IgnoresTab.h"
#include "views/settings/SettingsState.h"
#include "views/settings/TeamSettingsView.h"

#include "AwaitTask.h"
#include "QtPrinters.h"
#include "SaveShot.h"
#include "ViewTestEnv.h"
#include "WaitUntil.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>
#include <qcoro/qcorosignal.h>

namespace tw {
namespace {

using Appearance = AppPreferences::Appearance;

// Answers at once, or once `gate` is triggered when held.
QCoro::Task<PurgeOutcome> answer(QAction *gate, bool held)
{
    if (held)
        co_await qCoro(gate, &QAction::triggered);
    co_return PurgeOutcome{.removedCount = 1,
                           .offline = {"Edit Suite", "Laptop of the colourist"},
                           .failed = {{"Studio Mac B"}, {"Studio Mac C", "no key there", true}},
                           .node = PurgeOutcome::NodeCopy::Hidden};
}

class PanelMessagesTest : public ViewTestEnv
{
protected:
    void SetUp() override
    {
        ViewTestEnv::SetUp();
        const QString root = listWorkFolder("Work");
        ASSERT_FALSE(root.isEmpty());
        folder = {.id = "F", .label = "Work", .localPath = root, .syncthingFolderID = "st"};
        app().projects().add({.id = "S", .folders = {folder}});
        engine.state.ignores["st"] = {"*.tmp"};
        engine.state.browse["st"][""] = {{"a\nb", false}, {"m", false}, {"zebra.txt", false}};
        awaitTask(app().folders().refresh());
    }

    void TearDown() override
    {
        // A removal held by the test ends, its panel gone.
        gate.trigger();
        ViewTestEnv::TearDown();
    }

    ProjectFolder folder;
    QAction gate;
    bool purgeHeld = false;
};

template <typename T>
T &as(QWidget &widget)
{
    return static_cast<T &>(widget);
}

QPushButton &button(QWidget &panel, const char *name)
{
    return *panel.findChild<QPushButton *>(name);
}

QRect placeIn(QWidget &panel, const QWidget &control, QRect area)
{
    return area.translated(control.mapTo(&panel, QPoint()));
}

QRect buttonPlace(QWidget &panel, const char *name)
{
    QPushButton &found = button(panel, name);
    return placeIn(panel, found, found.rect());
}

QRect rowPlace(QWidget &panel, const QString &name)
{
    auto &omit = as<OmitPanel>(panel);
    for (int row = 0; row < omit.model().rowCount(); ++row) {
        const QModelIndex index = omit.model().index(row);
        if (index.data(Qt::DisplayRole).toString() == name)
            return placeIn(panel, *omit.list().viewport(), omit.list().visualRect(index));
    }
    return {};
}

void runPurge(QWidget &panel, const QString &path)
{
    panel.findChild<QLineEdit *>("subpath")->setText(path);
    panel.findChild<QLineEdit *>("confirm")->setText(path);
    button(panel, "remove").click();
}

struct Row
{
    const char *panel;
    std::function<std::unique_ptr<QWidget>()> build;
    // Where the control aimed at is, within the panel.
    std::function<QRect(QWidget &)> control;
    const char *message;
    std::function<void(QWidget &)> tell;
    // None where only a later action of another part takes it back.
    std::function<void(QWidget &)> takeBack;
    // What the user did before the control is measured; none: nothing.
    std::function<void(QWidget &)> prepare = {};
};

// Enough rows to scroll, a name that cannot be an ignore line among them.
QList<BrowseEntry> longLevel()
{
    QList<BrowseEntry> level = {{"a\nb", false}, {"m", false}};
    for (int item = 0; item < 40; ++item)
        level.append({QStringLiteral("item%1").arg(item, 2, 10, QLatin1Char('0')), false});
    return level;
}

std::unique_ptr<QWidget> ignoresTab(AppEnvironment &env)
{
    auto *state = new SettingsState(env);
    auto tab = std::make_unique<IgnoresTab>(*state);
    state->setParent(tab.get());
    return tab;
}

TEST_F(PanelMessagesTest, RowsAndMainButtonsStayWhereTheyWereAsAMessageComesAndGoes)
{
    const PurgePanel::Purge purge = [this](QString, QString, QString) { return answer(&gate, purgeHeld); };
    // The Team tab first: once a node is set up it offers no manual
    // connection.
    const QList<Row> rows = {
        {"Team tab's manual connection",
         [this] {
             auto made = std::make_unique<TeamSettingsView>(app());
             made->findChild<DisclosureGroup *>("connectManually")->setExpanded(true);
             return std::unique_ptr<QWidget>(std::move(made));
         },
         [](QWidget &panel) { return buttonPlace(panel, "connect"); }, "connectError",
         [this](QWidget &panel) {
             panel.findChild<QLineEdit *>("address")->setText(nodeURL());
             panel.findChild<QLineEdit *>("apiKey")->setText("wrong-key");
             button(panel, "connect").click();
             ASSERT_TRUE(waitUntil([&] { return panel.findChild<QLabel *>("connectError")->isVisible(); }));
         },
         {}},
        {"exclusion browser", [this] { return std::make_unique<OmitPanel>(app(), "S", folder); },
         [](QWidget &panel) { return rowPlace(panel, "zebra.txt"); }, "switchFailure",
         // A name holding a line break cannot be an ignore line.
         [](QWidget &panel) { awaitTask(as<OmitPanel>(panel).toggle({"a\nb", false}, true)); },
         [](QWidget &panel) { awaitTask(as<OmitPanel>(panel).toggle({"m", false}, true)); }},
        {"removal panel",
         [this, purge] {
             EXPECT_TRUE(configureNode());
             return std::make_unique<PurgePanel>(app(), "S", folder, nullptr, purge);
         },
         [](QWidget &panel) { return buttonPlace(panel, "remove"); }, "result",
         [](QWidget &panel) {
             runPurge(panel, "Old");
             ASSERT_TRUE(waitUntil([&] { return as<PurgePanel>(panel).resultText().has_value(); }));
         },
         // A new run takes the last result away as it starts.
         [this](QWidget &panel) {
             purgeHeld = true;
             runPurge(panel, "Old");
         }},
        {"folder settings panel", [this] { return std::make_unique<FolderSettingsPanel>(app(), "S", folder); },
         [](QWidget &panel) { return buttonPlace(panel, "save"); }, "saveFailure",
         [this](QWidget &panel) {
             panel.findChild<QCheckBox *>("ignoreHidden")->setChecked(false);
             engine.failNext("updateIgnorePatterns", SyncEngineError::notRunning());
             button(panel, "save").click();
             ASSERT_TRUE(waitUntil([&] { return panel.findChild<QLabel *>("saveFailure")->isVisible(); }));
         },
         [](QWidget &panel) {
             button(panel, "save").click();
             ASSERT_TRUE(waitUntil([&] { return !panel.findChild<QLabel *>("saveFailure")->isVisible(); }));
         }},
        // Scrolled to its end while the message is there, the list must not
        // get its room back as it goes: the rows would jump to fill it.
        {"exclusion browser scrolled to its end",
         [this] {
             engine.state.browse["st"][""] = longLevel();
             return std::make_unique<OmitPanel>(app(), "S", folder);
         },
         [](QWidget &panel) { return rowPlace(panel, "item39"); }, "switchFailure",
         [](QWidget &panel) { awaitTask(as<OmitPanel>(panel).toggle({"a\nb", false}, true)); },
         [](QWidget &panel) { awaitTask(as<OmitPanel>(panel).toggle({"m", false}, true)); },
         [](QWidget &panel) {
             awaitTask(as<OmitPanel>(panel).toggle({"a\nb", false}, true));
             settleLayouts();
             as<OmitPanel>(panel).list().scrollToBottom();
         }},
        // The first message takes no room from a list scrolled to its end:
        // its last row was cut.
        {"exclusion browser's room before any message",
         [this] {
             engine.state.browse["st"][""] = longLevel();
             return std::make_unique<OmitPanel>(app(), "S", folder);
         },
         [](QWidget &panel) {
             const QWidget &rows = *as<OmitPanel>(panel).list().viewport();
             return placeIn(panel, rows, rows.rect());
         },
         "switchFailure", [](QWidget &panel) { awaitTask(as<OmitPanel>(panel).toggle({"a\nb", false}, true)); },
         [](QWidget &panel) { awaitTask(as<OmitPanel>(panel).toggle({"m", false}, true)); }},
        {"Ignores tab's own patterns", [this] { return ignoresTab(app()); },
         [](QWidget &panel) { return buttonPlace(panel, "applyToAll"); }, "patternRefusal",
         [](QWidget &panel) {
             auto *field = panel.findChild<QLineEdit *>("newPattern");
             QTest::keyClicks(field, "[abc");
             QTest::keyClick(field, Qt::Key_Return);
         },
         // An emptied field has nothing left refused.
         [](QWidget &panel) { panel.findChild<QLineEdit *>("newPattern")->clear(); }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.panel);
        std::unique_ptr<QWidget> panel = row.build();
        // As the inspector of the smallest window holds it.
        panel->resize(760, 440);
        panel->show();
        ASSERT_TRUE(waitUntil([&] { return row.control(*panel).isValid(); }));
        settleLayouts();
        if (row.prepare) {
            row.prepare(*panel);
            settleLayouts();
        }
        const QRect before = row.control(*panel);
        const QLabel *message = panel->findChild<QLabel *>(row.message);
        ASSERT_NE(message, nullptr);

        row.tell(*panel);
        settleLayouts();
        EXPECT_TRUE(message->isVisible());
        // Pictures of the message where it stands, in both appearances.
        for (const Appearance appearance : {Appearance::Light, Appearance::Dark}) {
            applyWidgetAppearance(appearance);
            QCoreApplication::processEvents();
            const bool dark = appearance == Appearance::Dark;
            EXPECT_FALSE(saveShot(*panel, QStringLiteral("message-%1-%2").arg(row.message, dark ? "dark" : "light"))
                             .isNull());
        }
        applyWidgetAppearance(Appearance::System);
        QCoreApplication::processEvents();
        EXPECT_EQ(row.control(*panel), before);
        if (!row.takeBack)
            continue;
        row.takeBack(*panel);
        settleLayouts();
        EXPECT_FALSE(message->isVisible());
        EXPECT_EQ(row.control(*panel), before);
    }
}

} // namespace
} // namespace tw


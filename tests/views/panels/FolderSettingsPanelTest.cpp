// The folder settings panel offscreen on the view-test rig: what a save
// writes and in which order, what it leaves alone, and the local archive.

#include "views/panels/FolderSettingsPanel.h"

#include "controllers/EngineController.h"
#include "controllers/FolderController.h"
#include "controllers/FormatFileSize.h"
#include "design/TextStyle.h"
#include "projects/ProjectController.h"
#include "views/kit/PanelTexts.h"

#include "AwaitTask.h"
#include "QtPrinters.h"
#include "SaveShot.h"
#include "ScreenChecks.h"
#include "SyncthingInstance.h"
#include "ViewTestEnv.h"
#include "WaitUntil.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>

namespace tw {
namespace {

// What a save does, as one line: the engine calls that matter and the end.
const QStringList kTraced{"updateIgnorePatterns", "rescanFolder", "folderStatus"};

// The text of a button each time it is switched on or off.
struct ButtonStates : QObject
{
    explicit ButtonStates(QPushButton &button) { button.installEventFilter(this); }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::EnabledChange) {
            auto *button = static_cast<QPushButton *>(watched);
            seen.append(button->text() + (button->isEnabled() ? " enabled" : " disabled"));
        }
        return false;
    }
    QStringList seen;
};

class FolderSettingsPanelTest : public ViewTestEnv
{
protected:
    void SetUp() override
    {
        ViewTestEnv::SetUp();
        root = listWorkFolder();
        ASSERT_FALSE(root.isEmpty());
        engine.state.ignores["st"] = {"*.tmp", ".*"};
        awaitTask(app().folders().refresh());
        engine.beforeAnswer = [this](QString operation) -> QCoro::Task<void> {
            if (kTraced.contains(operation))
                trace.append(operation);
            co_return;
        };
    }

    ProjectFolder add(ProjectFolder folder)
    {
        folder.id = "F";
        folder.localPath = root;
        app().projects().add({.id = "S", .folders = {folder}});
        return folder;
    }
    ProjectFolder addWithEngineFolder(ProjectFolder folder = {})
    {
        folder.syncthingFolderID = "st";
        return add(folder);
    }

    std::unique_ptr<FolderSettingsPanel> shownPanel(const ProjectFolder &folder)
    {
        auto panel = std::make_unique<FolderSettingsPanel>(app(), "S", folder);
        QObject::connect(panel.get(), &FolderSettingsPanel::finished, [this] { trace.append("finished"); });
        panel->show();
        EXPECT_TRUE(waitUntil([&] { return panel->archiveBytes().has_value(); }));
        return panel;
    }

    // Saves and answers once the panel is finished.
    bool saved(FolderSettingsPanel &panel)
    {
        const qsizetype before = trace.count("finished");
        panel.findChild<QPushButton *>("save")->click();
        return waitUntil([&] { return trace.count("finished") > before; });
    }

    static QCheckBox *toggle(FolderSettingsPanel &panel, const char *name)
    {
        return panel.findChild<QCheckBox *>(name);
    }
    static QComboBox *retention(FolderSettingsPanel &panel) { return panel.findChild<QComboBox *>("retention"); }
    ProjectFolder record() const { return *app().projects().folderOf("S", "F"); }

    QString root;
    QStringList trace;
};

TEST_F(FolderSettingsPanelTest, TheHiddenLineIsWrittenThenTheFolderRescannedAndRefreshedBeforeItFinishes)
{
    const struct
    {
        QStringList lines;
        bool on;
        QStringList written;
    } rows[] = {
        {{".*", "*.tmp", ".*", ".*x", "a"}, false, {"*.tmp", ".*x", "a"}},
        {{"*.tmp", ".*x"}, true, {".*", "*.tmp", ".*x"}},
        {{"*.tmp", ".*"}, true, {"*.tmp", ".*"}},
    };
    const ProjectFolder folder = addWithEngineFolder();
    for (const auto &row : rows) {
        engine.state.ignores["st"] = row.lines;
        auto panel = shownPanel(folder);
        EXPECT_EQ(toggle(*panel, "ignoreHidden")->isChecked(), row.lines.contains(".*"));
        toggle(*panel, "ignoreHidden")->setChecked(row.on);
        trace.clear();
        ASSERT_TRUE(saved(*panel));
        EXPECT_EQ(engine.state.ignores["st"], row.written) << row.lines.join('|').toStdString();
        EXPECT_EQ(record().ignorePatterns, row.written);
        EXPECT_EQ(trace, QStringList({"updateIgnorePatterns", "rescanFolder", "folderStatus", "finished"}));
    }
    EXPECT_EQ(engine.callsOf("rescanFolder").value(0), "rescanFolder(st)");
}

TEST_F(FolderSettingsPanelTest, ArchiveOffHidesItsRowsAndKeepsTheStoredRetentionAsDoesNoChoice)
{
    addWithEngineFolder({.archiveRetentionDays = 90, .syncMetadata = false});
    auto panel = shownPanel(record());
    auto *section = panel->findChild<QWidget *>("archiveSection");
    EXPECT_TRUE(section->isVisible());
    // The notes are 12-point text.
    for (const QString &note : {texts::archiveNote, texts::retentionNote, texts::ignoreHiddenNote}) {
        const auto labels = panel->findChildren<QLabel *>();
        const auto found = std::find_if(labels.begin(), labels.end(), [&](QLabel *l) { return l->text() == note; });
        ASSERT_NE(found, labels.end()) << note.toStdString();
        EXPECT_EQ((*found)->font().pointSizeF(), pointsFont(12).pointSizeF()) << note.toStdString();
    }
    EXPECT_EQ(retention(*panel)->currentText(), "90 days");
    retention(*panel)->setCurrentIndex(retention(*panel)->findData(30));
    toggle(*panel, "archive")->setChecked(false);
    EXPECT_FALSE(section->isVisible());
    toggle(*panel, "syncMetadata")->setChecked(true);
    ASSERT_TRUE(saved(*panel));
    EXPECT_FALSE(record().archiveDeletedFiles);
    EXPECT_EQ(record().archiveRetentionDays, 90);
    EXPECT_TRUE(record().syncMetadata);

    app().projects().remove(*app().projects().project("S"));
    addWithEngineFolder({.archiveRetentionDays = 14});
    panel = shownPanel(record());
    EXPECT_EQ(retention(*panel)->currentIndex(), -1);
    toggle(*panel, "archive")->setChecked(true);
    ASSERT_TRUE(saved(*panel));
    EXPECT_TRUE(record().archiveDeletedFiles);
    EXPECT_EQ(record().archiveRetentionDays, 14);
}

TEST_F(FolderSettingsPanelTest, TheLocalArchiveIsMeasuredAndFreedAtOnce)
{
    const ProjectFolder folder = addWithEngineFolder();
    ASSERT_TRUE(QDir().mkpath(root + "/.stversions/Docs"));
    SyncthingInstance::writeFile(root + "/.stversions/Docs/a.txt", QByteArray(5000, 'a'));
    FolderSettingsPanel panel(app(), "S", folder);
    QObject::connect(&panel, &FolderSettingsPanel::finished, [this] { trace.append("finished"); });
    auto *local = panel.findChild<QLabel *>("localArchive");
    auto *freeButton = panel.findChild<QPushButton *>("freeSpace");
    engine.hold("ignorePatterns");
    panel.show();
    EXPECT_EQ(local->text(), u"Local archive: \u2026"_qs);
    EXPECT_FALSE(freeButton->isEnabled());
    engine.release("ignorePatterns");
    ASSERT_TRUE(waitUntil([&] { return panel.archiveBytes().has_value(); }));
    const qint64 bytes = *panel.archiveBytes();
    EXPECT_GE(bytes, 5000);
    EXPECT_EQ(local->text(), "Local archive: " + formatFileSize(bytes));
    EXPECT_EQ(freeButton->text(), "Free up space now");
    ASSERT_TRUE(freeButton->isEnabled());
    // Its title has room on both sides.
    EXPECT_GE(freeButton->width() - freeButton->fontMetrics().horizontalAdvance(freeButton->text()), 24);

    freeButton->click();
    auto *box = panel.findChild<QMessageBox *>();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "Delete the local recovery archive for this sync?");
    EXPECT_EQ(box->findChild<QPushButton *>("confirm")->text(), "Delete archive (free up space)");
    // Freeing may end before the click returns: the button's states are
    // read as they change.
    ButtonStates states(*freeButton);
    box->findChild<QPushButton *>("confirm")->click();
    ASSERT_TRUE(waitUntil([&] { return !panel.isFreeing(); }));
    EXPECT_EQ(states.seen, QStringList(u"Freeing\u2026 disabled"_qs));
    EXPECT_EQ(local->text(), "Local archive: empty");
    EXPECT_FALSE(freeButton->isEnabled());
    EXPECT_FALSE(QDir(root + "/.stversions").exists());

    // Cancel changes nothing and brings nothing back.
    panel.findChild<QPushButton *>("cancel")->click();
    EXPECT_EQ(trace, QStringList("finished"));
    EXPECT_FALSE(QDir(root + "/.stversions").exists());
}

TEST_F(FolderSettingsPanelTest, NoRescanWithoutAnEngineFolderForASwitchedOffFolderOrUnderPauseAll)
{
    const struct
    {
        const char *name;
        std::optional<QString> engineID;
        bool syncEnabled;
        bool allPaused;
        int ignoreWrites;
    } rows[] = {
        {"no engine folder", std::nullopt, true, false, 0},
        {"switched off", "st", false, false, 1},
        {"all paused", "st", true, true, 1},
    };
    for (const auto &row : rows) {
        if (app().projects().project("S"))
            app().projects().remove(*app().projects().project("S"));
        if (app().engineState().isAllPaused() != row.allPaused)
            awaitTask(app().engineState().toggleAllPaused());
        const ProjectFolder folder = add({.syncEnabled = row.syncEnabled, .syncthingFolderID = row.engineID});
        auto panel = shownPanel(folder);
        toggle(*panel, "syncMetadata")->setChecked(false);
        trace.clear();
        ASSERT_TRUE(saved(*panel)) << row.name;
        EXPECT_FALSE(record().syncMetadata) << row.name;
        EXPECT_EQ(trace.count("updateIgnorePatterns"), row.ignoreWrites) << row.name;
        EXPECT_EQ(trace.count("rescanFolder"), 0) << row.name;
    }
}

TEST_F(FolderSettingsPanelTest, AFailedRescanSetsTheErrorAndStillFinishes)
{
    auto panel = shownPanel(addWithEngineFolder());
    engine.failNext("rescanFolder", SyncEngineError::notRunning());
    trace.clear();
    ASSERT_TRUE(saved(*panel));
    EXPECT_EQ(trace, QStringList({"updateIgnorePatterns", "rescanFolder", "finished"}));
    EXPECT_EQ(app().folders().lastErrorMessage(), SyncEngineError::notRunning().errorDescription());
}

// A write that fails after a good read (Syncthing restarting in between) is
// said on the panel, which stays for Save to try again.
TEST_F(FolderSettingsPanelTest, AFailedIgnoreWriteIsShownOnThePanelWhichStays)
{
    auto panel = shownPanel(addWithEngineFolder());
    toggle(*panel, "ignoreHidden")->setChecked(false);
    engine.failNext("updateIgnorePatterns", SyncEngineError::notRunning());
    trace.clear();
    panel->findChild<QPushButton *>("save")->click();
    auto *failure = panel->findChild<QLabel *>("saveFailure");
    ASSERT_NE(failure, nullptr);
    ASSERT_TRUE(waitUntil([&] { return failure->isVisible(); }));
    EXPECT_EQ(failure->text(), u"Couldn\u2019t save the ignore patterns \u2014 The sync engine is not running."_qs);
    EXPECT_EQ(trace, QStringList({"updateIgnorePatterns", "rescanFolder", "folderStatus"}));
    EXPECT_EQ(engine.state.ignores["st"], QStringList({"*.tmp", ".*"}));

    ASSERT_TRUE(saved(*panel));
    EXPECT_FALSE(failure->isVisible());
    EXPECT_EQ(engine.state.ignores["st"], QStringList("*.tmp"));
}

// Lines the panel could not read may hold ".*": a save leaves them alone
// unless the user changed the switch.
TEST_F(FolderSettingsPanelTest, AfterAFailedReadOnlyAChangedSwitchTouchesTheHiddenLine)
{
    const ProjectFolder folder = addWithEngineFolder();
    engine.failNext("ignorePatterns", SyncEngineError::notRunning());
    auto panel = shownPanel(folder);
    EXPECT_FALSE(toggle(*panel, "ignoreHidden")->isChecked());
    retention(*panel)->setCurrentIndex(retention(*panel)->findData(30));
    trace.clear();
    ASSERT_TRUE(saved(*panel));
    EXPECT_EQ(record().archiveRetentionDays, 30);
    EXPECT_EQ(engine.state.ignores["st"], QStringList({"*.tmp", ".*"}));
    EXPECT_EQ(trace, QStringList({"rescanFolder", "folderStatus", "finished"}));

    engine.state.ignores["st"] = {"*.tmp"};
    engine.failNext("ignorePatterns", SyncEngineError::notRunning());
    panel = shownPanel(folder);
    toggle(*panel, "ignoreHidden")->setChecked(true);
    ASSERT_TRUE(saved(*panel));
    EXPECT_EQ(engine.state.ignores["st"], QStringList({".*", "*.tmp"}));
}

TEST_F(FolderSettingsPanelTest, TheTextsReadAsWritten)
{
    auto panel = shownPanel(addWithEngineFolder());
    EXPECT_EQ(toggle(*panel, "ignoreHidden")->accessibleName(), "Ignore hidden files (.DS_Store, system files)");
    EXPECT_EQ(toggle(*panel, "syncMetadata")->accessibleName(),
              u"Sync file manager tags & metadata (Mac \u2194 Mac)"_qs);
    EXPECT_EQ(toggle(*panel, "syncMetadata")->text(), u"Sync file manager tags && metadata (Mac \u2194 Mac)"_qs);
    QStringList options;
    for (int index = 0; index < retention(*panel)->count(); ++index)
        options << retention(*panel)->itemText(index) + "=" + retention(*panel)->itemData(index).toString();
    EXPECT_EQ(options, QStringList({"Forever=0", "90 days=90", "30 days=30", "7 days=7"}));

    const QImage shot = saveShot(*panel, QStringLiteral("folder-settings"));
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(shot.size(), panel->size() * panel->devicePixelRatio());
    EXPECT_EQ(screenchecks::textFootFaults(*panel), QStringList());

    // With little height the form scrolls: its notes keep every line.
    panel->resize(panel->width(), 180);
    settleLayouts();
    EXPECT_EQ(screenchecks::textFootFaults(*panel), QStringList());
    auto *note = panel->findChild<QLabel *>(QStringLiteral("retentionNote"));
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(note->height(), note->heightForWidth(note->width()));
}

} // namespace
} // namespace tw

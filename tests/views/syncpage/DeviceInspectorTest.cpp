// The Mac inspector offscreen on the fake engine: this Mac, a teammate and
// the always-on node; pause, rename, removal and the rescan.

#include "views/syncpage/DeviceInspector.h"

#include "app/AppPreferences.h"
#include "app/texts/FriendlyFolderErrorMessage.h"
#include "app/texts/SyncPageTexts.h"
#include "controllers/EngineController.h"
#include "design/ButtonTint.h"
#include "design/DestructiveItem.h"
#include "design/ElidedLabel.h"
#include "design/TextStyle.h"
#include "design/Theme.h"
#include "views/kit/DisclosureGroup.h"
#include "views/syncpage/RenameSheet.h"

#include "QtPrinters.h"
#include "SaveShot.h"
#include "TextContrast.h"
#include "WaitUntil.h"
#include "../support/SyncPageRig.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace tw {
namespace {

class DeviceInspectorTest : public SyncPageRig
{
protected:
    std::unique_ptr<DeviceInspector> inspector(const QString &deviceID)
    {
        auto made = std::make_unique<DeviceInspector>(app(), syncID, deviceID);
        made->resize(560, 420);
        made->show();
        made->refresh();
        return made;
    }
    static QString line(QWidget &inspector) { return inspector.findChild<QLabel *>("line")->text(); }
    static bool shows(QWidget &inspector, const char *name)
    {
        return inspector.findChild<QWidget *>(name)->isVisibleTo(&inspector);
    }
    static QStringList menuTexts(DeviceInspector &inspector)
    {
        QStringList texts;
        for (QAction *action : inspector.moreMenu()->actions())
            texts.append(action->text());
        return texts;
    }
    static QAction *menuItem(DeviceInspector &inspector, const QString &text)
    {
        for (QAction *action : inspector.moreMenu()->actions())
            if (action->text() == text)
                return action;
        return nullptr;
    }
    // New children of a shown widget show in the next turn.
    static QStringList rowTexts(QWidget &inspector, const char *name)
    {
        QCoreApplication::sendPostedEvents();
        QStringList texts;
        for (QLabel *label : inspector.findChildren<QLabel *>(name)) {
            if (!label->isVisibleTo(&inspector))
                continue;
            auto *elided = qobject_cast<ElidedLabel *>(label);
            texts.append(elided ? elided->fullText() : label->text());
        }
        return texts;
    }
};

TEST_F(DeviceInspectorTest, ThisMacRescansAndShowsTheFriendlyErrorWhereATeammateShowsTheLabel)
{
    makeSync({folder("Docs", "st1")}, MemberRole::Editor, true);
    engine.state.recentFolderErrors["st1"] = "folder marker missing";
    engine.state.folderStatuses["st1"].errorCount = 1;
    engine.state.folderStatuses["st1"].state = FolderState::Error;
    connectPeer();
    load();

    auto mine = inspector(local());
    EXPECT_EQ(line(*mine), SyncPageTexts::thisMac);
    // The folders' title in the tertiary tone.
    for (const QLabel *title : mine->findChildren<QLabel *>())
        if (title->text() == DeviceInspector::foldersTitle) {
            const QColor tone = title->palette().color(QPalette::WindowText);
            EXPECT_EQ(tone.rgb(), mine->palette().color(QPalette::WindowText).rgb());
            // At least that faint tone, stronger where it must be to read.
            EXPECT_GE(tone.alphaF(), tertiaryStrength - 0.01);
        }
    EXPECT_FALSE(shows(*mine, "pause"));
    EXPECT_EQ(menuTexts(*mine), QStringList{QStringLiteral("Rename\u2026")});
    EXPECT_FALSE(shows(*mine, "details"));
    EXPECT_TRUE(shows(*mine, "rescan"));
    EXPECT_EQ(rowTexts(*mine, "error"), QStringList{friendlyFolderErrorMessage("folder marker missing")});

    auto bob = inspector(kPeer);
    EXPECT_TRUE(rowTexts(*bob, "error").isEmpty());
    ASSERT_EQ(rowTexts(*bob, "detail").size(), 1);
    EXPECT_FALSE(shows(*bob, "rescan"));
}

TEST_F(DeviceInspectorTest, TheNodeHasNoPauseAndPointsToTheTeamSettings)
{
    makeSync({folder("Docs", "st1")}, MemberRole::Editor, true);
    engine.state.devices.append({.id = kNode, .name = QStringLiteral("Attic")});
    engine.state.connections = {link(kNode, QStringLiteral("tcp-client"))};
    load();
    auto node = inspector(kNode);
    EXPECT_FALSE(shows(*node, "pause"));
    EXPECT_EQ(menuTexts(*node), (QStringList{QStringLiteral("Rename\u2026"),
                                             QStringLiteral("Always-on node \u2014 manage in Settings \u2192 Team")}));
    EXPECT_TRUE(shows(*node, "details"));
}

TEST_F(DeviceInspectorTest, APausedTeammateResumesAndAFailureIsKeptWithoutARefresh)
{
    makeSync({folder("Docs", "st1")});
    engine.state.devices[1].isPaused = true;
    connectPeer();
    load();
    auto bob = inspector(kPeer);
    EXPECT_EQ(line(*bob), QStringLiteral("Paused \u2014 not syncing with this Mac"));
    EXPECT_TRUE(test::isShadeOf(bob->findChild<QLabel *>("line")->palette().color(QPalette::WindowText), Theme::syncing()));
    auto *pause = bob->findChild<QPushButton *>("pause");
    ASSERT_TRUE(pause->isVisibleTo(bob.get()));
    EXPECT_EQ(pause->text(), QStringLiteral("Resume"));
    EXPECT_EQ(TintedButtonPainter::tintOf(*pause), ButtonTint::Bordered);

    engine.failNext("setDevicePaused", SyncEngineError::notRunning());
    // A refresh reads the connections at least.
    const int reads = engine.callCount("connections");
    pause->click();
    ASSERT_TRUE(waitUntil([&] { return app().devices().lastErrorMessage().has_value(); }));
    EXPECT_EQ(*app().devices().lastErrorMessage(), SyncEngineError::notRunning().errorDescription());
    EXPECT_EQ(engine.callCount("connections"), reads);

    // The refresh after a resume reads nothing while the live state follows
    // the events and nothing is due; the resume itself is what is sent.
    pause->click();
    ASSERT_TRUE(waitUntil([&] { return engine.callCount("setDevicePaused") == 2; }));
    EXPECT_EQ(engine.callsOf("setDevicePaused"),
              QStringList(2, "setDevicePaused(" + kPeer + ", false)"));
}

TEST_F(DeviceInspectorTest, TechnicalDetailsFoldAwayUnlessAlwaysShown)
{
    makeSync({folder("Docs", "st1")});
    connectPeer("quic-server");
    load();
    for (bool always : {false, true}) {
        app().preferences().setAlwaysShowTechnicalDetails(always);
        auto bob = inspector(kPeer);
        ASSERT_TRUE(shows(*bob, "details"));
        EXPECT_EQ(shows(*bob, "detailsAlways"), always);
        EXPECT_EQ(shows(*bob, "detailsDisclosure"), !always);
        if (!always) {
            auto *group = bob->findChild<DisclosureGroup *>("detailsDisclosure");
            EXPECT_FALSE(group->isExpanded());
            group->setExpanded(true);
            EXPECT_FALSE(saveShot(*bob, "device-inspector-teammate-details").isNull());
        }
        EXPECT_TRUE(rowTexts(*bob, "detailValue").contains(QStringLiteral("Direct QUIC (Internet)")));
    }
}

TEST_F(DeviceInspectorTest, RenameRefusesABlankNameAndSavesItTrimmed)
{
    makeSync({folder("Docs", "st1")});
    load();
    const struct
    {
        QString deviceID;
        QString caption;
    } rows[] = {{kPeer, RenameSheet::otherCaption}, {local(), RenameSheet::ownCaption}};
    for (const auto &row : rows) {
        auto shown = inspector(row.deviceID);
        RenameSheet *sheet = shown->openRename();
        EXPECT_EQ(sheet->findChild<QLabel *>("caption")->text(), row.caption);
        EXPECT_TRUE(sheet->saveButton()->isDefault());
        EXPECT_EQ(sheet->width(), 420);
        sheet->field()->setText("   ");
        EXPECT_FALSE(sheet->saveButton()->isEnabled());
        sheet->field()->setText("Bob\n");
        ASSERT_TRUE(sheet->saveButton()->isEnabled());
        sheet->saveButton()->click();
    }
    ASSERT_TRUE(waitUntil([&] { return engine.state.deviceName == "Bob"; }));
    EXPECT_EQ(app().projects().project(syncID)->members[1].displayName, QStringLiteral("Bob"));
    EXPECT_EQ(engine.callsOf("setLocalDeviceName"), QStringList{"setLocalDeviceName(Bob)"});
    EXPECT_EQ(RenameSheet::titleText("Mine"), QStringLiteral("Rename \u201c\u2068Mine\u2069\u201d"));
}

TEST_F(DeviceInspectorTest, RemovingATeammateAsksFirst)
{
    makeSync({folder("Docs", "st1")});
    load();
    auto bob = inspector(kPeer);
    // "Pause" is not tinted; the menu's items carry their symbols, the
    // removal marked as destroying.
    EXPECT_EQ(TintedButtonPainter::tintOf(*bob->findChild<QPushButton *>("pause")), std::nullopt);
    EXPECT_FALSE(menuItem(*bob, DeviceInspector::renameItem)->icon().isNull());
    EXPECT_TRUE(isDestructive(*menuItem(*bob, DeviceInspector::removeItem)));
    EXPECT_FALSE(menuItem(*bob, DeviceInspector::removeItem)->icon().isNull());
    menuItem(*bob, DeviceInspector::removeItem)->trigger();
    auto *box = bob->findChild<QMessageBox *>("removeConfirm");
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text(), QStringLiteral("Remove \u201c\u2068" "Bob\u2069\u201d from this sync?"));
    EXPECT_EQ(box->informativeText(), QStringLiteral("Stops syncing with this Mac. Files already synced are kept on "
                                                     "both Macs \u2014 nothing is deleted from disk."));
    box->findChild<QPushButton *>("confirm")->click();
    ASSERT_TRUE(waitUntil([&] { return app().projects().project(syncID)->members.size() == 1; }));
}

TEST_F(DeviceInspectorTest, RescanLeavesSwitchedOffFoldersAndPauseAllAlone)
{
    ProjectFolder off = folder("Off", "st3");
    off.syncEnabled = false;
    makeSync({folder("Docs", "st1"), folder("New", std::nullopt), folder("More", "st2"), off});
    load();
    auto mine = inspector(local());
    auto *rescan = mine->findChild<QPushButton *>("rescan");
    rescan->click();
    ASSERT_TRUE(waitUntil([&] { return engine.callCount("rescanFolder") == 2; }));
    EXPECT_EQ(engine.callsOf("rescanFolder"), (QStringList{"rescanFolder(st1)", "rescanFolder(st2)"}));
}

} // namespace
} // namespace tw

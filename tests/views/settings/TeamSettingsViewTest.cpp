// The Team tab offscreen on the view-test rig: joining, the always-on
// backup against the fake node, and the team key in the memory keychain.

#include "views/settings/TeamSettingsView.h"

#include "app/AppPreferences.h"
#include "cluster/ClusterConfig.h"
#include "cluster/NasNodeController.h"
#include "controllers/FolderController.h"
#include "design/ButtonTint.h"
#include "design/ElidedLabel.h"
#include "design/StatusDot.h"
#include "design/Theme.h"
#include "projects/ProjectController.h"
#include "views/joining/NasSetupGuideView.h"
#include "views/kit/DisclosureGroup.h"

#include "AwaitTask.h"
#include "QtPrinters.h"
#include "ReadableTexts.h"
#include "SaveShot.h"
#include "TextContrast.h"
#include "SyncthingInstance.h"
#include "ViewTestEnv.h"
#include "WaitUntil.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

namespace tw {
namespace {

const QString kBullets = QString(24, QChar(0x2022));

class TeamSettingsViewTest : public ViewTestEnv
{
protected:
    void SetUp() override
    {
        ViewTestEnv::SetUp();
        app().setStepObserver([this](const QString &step) {
            if (step == "applyClusterSync")
                ++applied;
        });
    }

    template <typename T = QWidget>
    T *find(const char *name) const
    {
        return tab->findChild<T *>(name);
    }
    QPushButton *button(const char *name) const { return find<QPushButton>(name); }
    QLineEdit *field(const char *name) const { return find<QLineEdit>(name); }
    // What a label says, whole where a long one is drawn shortened.
    QString text(const char *name) const
    {
        auto *elided = qobject_cast<ElidedLabel *>(find<QLabel>(name));
        return elided ? elided->fullText() : find<QLabel>(name)->text();
    }
    bool shown(const char *name) const { return find(name)->isVisibleTo(tab.get()); }
    void openKeyGroup() const { find<DisclosureGroup>("manageTeamKey")->setExpanded(true); }
    // Sets a field as typing into it would.
    static void type(QLineEdit *field, const QString &text) { field->setText(text); }

    // Sync's record and folder-refresh steps, in order, as the connect runs.
    void watchConnect()
    {
        QObject::connect(&app().projects(), &ProjectController::isReconcilingChanged, tab.get(), [this] {
            trace << (app().projects().isReconciling() ? "reconcile" : "reconciled");
        });
        QObject::connect(&app().folders(), &FolderController::isLoadingChanged, tab.get(), [this] {
            trace << (app().folders().isLoading() ? "refresh" : "refreshed");
        });
    }

    // Waits for the apply counter and gives a second one the chance to show.
    void expectApplied(int count)
    {
        EXPECT_TRUE(waitUntil([&] { return applied >= count; }));
        runEventLoopFor(30);
        EXPECT_EQ(applied, count);
    }

    std::unique_ptr<TeamSettingsView> tab = std::make_unique<TeamSettingsView>(app());
    int applied = 0;
    QStringList trace;
};

TEST_F(TeamSettingsViewTest, TheJoiningSwitchAndTheResetOfIgnoredOffers)
{
    ASSERT_TRUE(find<QCheckBox>("autoJoinNode")->isChecked());
    EXPECT_TRUE(text("autoJoinCaption").startsWith("When you join a sync, its always-on backup"));
    find<QCheckBox>("autoJoinNode")->click();
    EXPECT_EQ(defaults.boolean(AppPreferences::autoJoinNodeKey), false);
    EXPECT_EQ(text("autoJoinCaption"),
              u"When you join a sync, the always-on backup appears as a one-time \u201Cdevice wants to connect\u201D "
              u"request that you allow yourself."_qs);

    EXPECT_FALSE(shown("resetIgnored"));
    for (const char *id : {"f1", "f2", "f3"})
        awaitTask(app().projects().dismissIncomingFolderAll(id));
    EXPECT_TRUE(shown("resetIgnored"));
    EXPECT_TRUE(shown("resetIgnoredCaption"));
    EXPECT_EQ(button("resetIgnored")->text(), "Reset ignored invitations (3)");
    button("resetIgnored")->click();
    EXPECT_TRUE(app().projects().dismissedFolderIDs().isEmpty());
    EXPECT_FALSE(shown("resetIgnored"));
    EXPECT_FALSE(shown("resetIgnoredCaption"));
    expectApplied(0);
}

TEST_F(TeamSettingsViewTest, ManualConnectRefusedHeldThenRegisteredAndRemovedBack)
{
    EXPECT_TRUE(shown("setupPart"));
    EXPECT_FALSE(shown("nodePart"));
    auto *manual = find<DisclosureGroup>("connectManually");
    EXPECT_FALSE(manual->isExpanded());
    manual->setExpanded(true);
    EXPECT_EQ(field("name")->text(), "Synology NAS");
    EXPECT_EQ(field("apiKey")->echoMode(), QLineEdit::Password);
    QPushButton *connect = button("connect");
    EXPECT_EQ(TintedButtonPainter::tintOf(*connect), ButtonTint::Prominent);
    EXPECT_FALSE(connect->isEnabled());
    type(field("address"), "  ");
    EXPECT_FALSE(connect->isEnabled());
    type(field("apiKey"), " ");
    EXPECT_TRUE(connect->isEnabled());
    type(field("address"), "");
    EXPECT_FALSE(connect->isEnabled());

    // A key the node refuses: the controller's text in red, the texts kept.
    type(field("address"), nodeURL());
    type(field("apiKey"), "wrong-key");
    connect->click();
    ASSERT_TRUE(waitUntil([&] { return !tab->connecting(); }));
    EXPECT_TRUE(shown("connectError"));
    EXPECT_TRUE(text("connectError").startsWith("Couldn't reach the node at " + nodeURL()));
    EXPECT_TRUE(test::isShadeOf(find<QLabel>("connectError")->palette().color(QPalette::WindowText), Theme::danger()));
    EXPECT_EQ(field("address")->text(), nodeURL());
    EXPECT_EQ(field("apiKey")->text(), "wrong-key");
    EXPECT_EQ(connect->text(), "Connect");
    tab->show();
    settleLayouts();
    tab->ensureWidgetVisible(find("connectError"));
    const QImage refused = saveShot(*tab, QStringLiteral("team-no-node-error"));
    ASSERT_FALSE(refused.isNull());
    EXPECT_EQ(refused.size(), tab->size() * tab->devicePixelRatio());
    EXPECT_TRUE(shotShowsColour(refused, shotArea(refused, *tab, *find("connectError")), Theme::danger()));

    // The right key, answered only when the test lets the node.
    watchConnect();
    type(field("apiKey"), kNodeKey);
    type(field("name"), "Attic");
    node.hold();
    connect->click();
    EXPECT_FALSE(readableTexts(*tab).join('\n').contains(kNodeKey));
    EXPECT_EQ(connect->text(), u"Connecting\u2026"_qs);
    EXPECT_FALSE(connect->isEnabled());
    connect->click();
    ASSERT_TRUE(waitUntil([&] { return node.requests().size() == 2; }));
    node.release();
    ASSERT_TRUE(waitUntil([&] { return !tab->connecting(); }));
    EXPECT_EQ(trace, QStringList({"reconcile", "reconciled", "refresh", "refreshed"}));
    EXPECT_TRUE(shown("nodePart"));
    EXPECT_FALSE(shown("setupPart"));
    EXPECT_EQ(text("nodeName"), "Attic");
    EXPECT_EQ(text("nodeAddress"), nodeURL());
    EXPECT_EQ(find<ElidedLabel>("nodeDeviceID")->fullText(), kNodeDeviceID);
    EXPECT_EQ(text("reachable"), "Reachable");
    EXPECT_EQ(find<StatusDot>("reachableDot")->color(), Theme::synced());
    expectApplied(0);
    settleLayouts();
    tab->ensureWidgetVisible(find("nodeName"));
    const QImage withNode = saveShot(*tab, QStringLiteral("team-with-node"));
    ASSERT_FALSE(withNode.isNull());
    EXPECT_EQ(withNode.size(), tab->size() * tab->devicePixelRatio());
    EXPECT_TRUE(shotShowsColour(withNode, shotArea(withNode, *tab, *find("reachableDot")), Theme::synced()));
    EXPECT_LE(tab->widget()->width(), tab->viewport()->width());

    // Switched off, the node fails its check.
    const QString address = nodeURL();
    node.close();
    button("check")->click();
    ASSERT_TRUE(waitUntil([&] { return text("reachable") == "Not reachable"; }));
    EXPECT_EQ(find<StatusDot>("reachableDot")->color(), Theme::syncing());

    button("removeBackup")->click();
    ASSERT_TRUE(waitUntil([&] { return shown("setupPart"); }));
    EXPECT_FALSE(shown("nodePart"));
    EXPECT_TRUE(manual->isExpanded());
    EXPECT_EQ(field("address")->text(), address);
    EXPECT_EQ(field("apiKey")->text(), kNodeKey);
    EXPECT_EQ(field("name")->text(), "Attic");
    expectApplied(1);
}

TEST_F(TeamSettingsViewTest, OnlyTheFirstOfTwoNodesIsShownAndRemovalTakesBoth)
{
    tab.reset();
    SyncthingInstance::writeFile(dir.filePath("nasnodes.json"),
                                 NasNode::listToFile({{nodeURL(), "N1", "First"}, {nodeURL(), "N2", "Second"}}));
    restartEnvironment();
    tab = std::make_unique<TeamSettingsView>(app());
    EXPECT_EQ(text("nodeName"), "First");
    EXPECT_EQ(find<ElidedLabel>("nodeDeviceID")->fullText(), "N1");
    button("removeBackup")->click();
    ASSERT_TRUE(waitUntil([&] { return app().nasNode().nodes().isEmpty(); }));
    EXPECT_TRUE(shown("setupPart"));
}

TEST_F(TeamSettingsViewTest, SetUpAutomaticallyOpensTheGuideOnce)
{
    tab->show();
    button("setUpAutomatically")->click();
    button("setUpAutomatically")->click();
    ASSERT_NE(tab->guide(), nullptr);
    EXPECT_TRUE(tab->guide()->isVisible());
    EXPECT_EQ(tab->findChildren<NasSetupGuideView *>().size(), 1);
    tab->guide()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(tab->guide(), nullptr);
}

TEST_F(TeamSettingsViewTest, APastedKeyIsTrimmedStoredAndShownMasked)
{
    app().preferences().setClusterSyncEnabled(true);
    tab = std::make_unique<TeamSettingsView>(app());
    openKeyGroup();
    EXPECT_TRUE(find<QCheckBox>("clusterSync")->isChecked());
    EXPECT_FALSE(find<QCheckBox>("clusterSync")->isEnabled());
    EXPECT_TRUE(shown("generateTeamKey"));
    for (const QString &blank : {QString(), QString("  \n\t ")}) {
        type(field("teamKeyInput"), blank);
        EXPECT_FALSE(button("useTeamKey")->isEnabled());
    }
    type(field("teamKeyInput"), "  KEY  ");
    ASSERT_TRUE(button("useTeamKey")->isEnabled());
    button("useTeamKey")->click();
    EXPECT_EQ(field("teamKeyInput")->text(), "");
    ASSERT_TRUE(waitUntil([&] { return app().nasNode().teamKey() == "KEY"; }));
    EXPECT_EQ(keychain.items.value(NasNodeController::clusterSecretAccount), "KEY");
    EXPECT_EQ(text("teamKey"), kBullets);
    EXPECT_FALSE(readableTexts(*tab).join('\n').contains("KEY"));
    EXPECT_EQ(button("reveal")->text(), "Reveal");
    EXPECT_FALSE(shown("generateTeamKey"));
    EXPECT_TRUE(find<QCheckBox>("clusterSync")->isEnabled());
    EXPECT_TRUE(text("teamKeyCaption").contains("Cluster folder ID: " + ClusterConfig::clusterFolderID("KEY") +
                                                u" \u2014 every Mac"_qs));
    expectApplied(1);

    QApplication::clipboard()->setText("before");
    button("copyTeamKey")->click();
    EXPECT_EQ(QApplication::clipboard()->text(), "KEY");
    EXPECT_EQ(button("copyTeamKey")->text(), u"Copied \u2713"_qs);
    EXPECT_EQ(text("teamKey"), kBullets);
    button("reveal")->click();
    EXPECT_EQ(text("teamKey"), "KEY");
    EXPECT_EQ(button("reveal")->text(), "Hide");
    EXPECT_EQ(button("copyTeamKey")->text(), u"Copied \u2713"_qs);
    tab->show();
    settleLayouts();
    tab->ensureWidgetVisible(find("teamKey"));
    const QImage revealed = saveShot(*tab, QStringLiteral("team-key-revealed"));
    ASSERT_FALSE(revealed.isNull());
    EXPECT_EQ(revealed.size(), tab->size() * tab->devicePixelRatio());
    // Closed and opened again: masked, and "Copy" again.
    tab->hide();
    tab->show();
    EXPECT_EQ(text("teamKey"), kBullets);
    EXPECT_EQ(button("reveal")->text(), "Reveal");
    EXPECT_EQ(button("copyTeamKey")->text(), "Copy");

    find<QCheckBox>("clusterSync")->click();
    EXPECT_FALSE(app().preferences().clusterSyncEnabled());
    expectApplied(2);
}

TEST_F(TeamSettingsViewTest, GeneratingWaitsForTheKeychainThenShowsTheNewKeyInClear)
{
    openKeyGroup();
    keychain.holdSets();
    button("generateTeamKey")->click();
    EXPECT_FALSE(button("generateTeamKey")->isEnabled());
    EXPECT_FALSE(button("useTeamKey")->isEnabled());
    button("generateTeamKey")->click();
    ASSERT_TRUE(waitUntil([&] { return keychain.waitingSets() == 1; }));
    EXPECT_EQ(applied, 0);
    keychain.releaseSets();
    ASSERT_TRUE(waitUntil([&] { return shown("teamKey"); }));
    const QString key = text("teamKey");
    EXPECT_TRUE(QRegularExpression("^[A-Za-z0-9_-]{43}$").match(key).hasMatch()) << key.toStdString();
    EXPECT_EQ(app().nasNode().teamKey(), key);
    EXPECT_TRUE(text("teamKeyCaption").contains(ClusterConfig::clusterFolderID(key)));
    expectApplied(1);
}

TEST_F(TeamSettingsViewTest, ARefusingKeychainLeavesTheGenerateAndPasteControls)
{
    openKeyGroup();
    keychain.unavailable = true;
    button("generateTeamKey")->click();
    expectApplied(1);
    type(field("teamKeyInput"), "KEY");
    button("useTeamKey")->click();
    expectApplied(2);
    EXPECT_TRUE(shown("generateTeamKey"));
    EXPECT_TRUE(button("generateTeamKey")->isEnabled());
    EXPECT_TRUE(field("teamKeyInput")->isEnabled());
    EXPECT_FALSE(shown("teamKey"));
    EXPECT_EQ(app().nasNode().lastError(), NasNodeController::keychainUnavailableText);
}

} // namespace
} // namespace tw

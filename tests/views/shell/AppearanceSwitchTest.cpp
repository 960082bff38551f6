// Every screen kept open while the appearance goes Light → Dark → Light
// draws as the same screen built anew in that appearance: nothing keeps a
// colour worked out in the other one.
#include "design/FileIcon.h"
#include "design/MoveFadeTransition.h"
#include "views/joining/JoinSheet.h"
#include "views/joining/NasSetupGuideView.h"
#include "views/joining/WelcomeSheet.h"
#include "views/overview/ProjectOverviewView.h"
#include "views/panels/ArchivePanel.h"
#include "views/panels/FolderSettingsPanel.h"
#include "views/panels/OmitPanel.h"
#include "views/panels/PurgePanel.h"
#include "views/settings/SettingsView.h"
#include "views/shell/WidgetAppearance.h"
#include "views/syncpage/DeviceInspector.h"
#include "views/syncpage/FolderInspector.h"
#include "views/syncpage/ProjectView.h"
#include "views/window/NavigationPath.h"

#include "SaveShot.h"
#include "ScreenChecks.h"
#include "SyncPageRig.h"
#include "WaitUntil.h"

#include <QLineEdit>
#include <QProgressBar>
#include <functional>
#include <memory>

namespace tw {
namespace {

using Appearance = AppPreferences::Appearance;

class AppearanceSwitchTest : public SyncPageRig
{
protected:
    ~AppearanceSwitchTest() override { applyWidgetAppearance(Appearance::System); }

    // Shown at a fixed size, with what it reads and loads in place.
    static void showSettled(QWidget &screen)
    {
        screen.resize(720, 640);
        screen.show();
        const bool settled = waitUntil([&] {
            const auto bars = screen.findChildren<QProgressBar *>();
            const auto icons = screen.findChildren<FileIcon *>();
            return !MoveFadeTransition::anyRunning()
                   && std::none_of(bars.cbegin(), bars.cend(), [](QProgressBar *bar) { return bar->isVisible(); })
                   && std::all_of(icons.cbegin(), icons.cend(),
                                  [](FileIcon *icon) { return !icon->isVisible() || icon->hasImage(); });
        });
        EXPECT_TRUE(settled);
        settleLayouts();
    }
};

TEST_F(AppearanceSwitchTest, EveryScreenKeptOpenDrawsAsBuiltInTheNewAppearance)
{
    const ProjectFolder work = folder(QStringLiteral("work"), QStringLiteral("st-work"));
    makeSync({work}, MemberRole::Editor, true);
    connectPeer();
    load();
    NavigationPath path;
    const QList<std::pair<const char *, std::function<QWidget *()>>> screens = {
        {"overview", [&] { return new ProjectOverviewView(app(), path); }},
        {"sync page", [&] { return new ProjectView(app(), path, syncID); }},
        {"folder inspector", [&] { return new FolderInspector(app(), syncID, work.id); }},
        {"Mac inspector", [&] { return new DeviceInspector(app(), syncID, kPeer); }},
        {"folder settings", [&] { return new FolderSettingsPanel(app(), syncID, work); }},
        {"exclusions", [&] { return new OmitPanel(app(), syncID, work); }},
        {"archive", [&] { return new ArchivePanel(app(), syncID, work); }},
        {"removal", [&] { return new PurgePanel(app(), syncID, work); }},
        {"welcome", [&] { return new WelcomeSheet(app(), [] {}); }},
        {"join sheet", [&] {
             return new JoinSheet(app(), Invite{kPeer, QStringLiteral("Ann"), QStringLiteral("Film"), std::nullopt},
                                  [](const QString &) {});
         }},
        {"node set-up guide", [] {
             auto *guide = new NasSetupGuideView;
             // Filled in: the command's block shows.
             guide->findChild<QLineEdit *>(QStringLiteral("nasAddress"))->setText(QStringLiteral("192.168.1.50"));
             return guide;
         }},
        {"settings", [&] { return new SettingsView(app()); }},
    };
    for (const auto &[name, make] : screens) {
        SCOPED_TRACE(name);
        applyWidgetAppearance(Appearance::Light);
        const std::unique_ptr<QWidget> kept(make());
        showSettled(*kept);
        for (const Appearance appearance : {Appearance::Dark, Appearance::Light}) {
            applyWidgetAppearance(appearance);
            settleLayouts();
            const QImage shown = kept->grab().toImage();
            kept->hide();
            const std::unique_ptr<QWidget> built(make());
            showSettled(*built);
            const QImage fresh = built->grab().toImage();
            built->hide();
            kept->show();
            EXPECT_EQ(screenchecks::keptColourFaults(shown, fresh, QString::fromLatin1(name)), QStringList())
                << (appearance == Appearance::Dark ? "Light to Dark" : "Dark to Light");
        }
    }
}

} // namespace
} // namespace tw

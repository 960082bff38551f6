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
#include "views/syncpage/ProjectPageFactories.h"
#include "views/syncpage/ProjectView.h"
#include "views/window/NavigationPath.h"

#include "SaveShot.h"
#include "ScreenChecks.h"
#include "../support/SyncPageRig.h"
#include "WaitUntil.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <functional>
#include <memory>
#include <optional>

namespace tw {
namespace {

using Appearance = AppPreferences::Appearance;

class AppearanceSwitchTest : public SyncPageRig
{
protected:
    ~AppearanceSwitchTest() override { applyWidgetAppearance(Appearance::System); }

    // What a screen shows: its shown labels' texts, in order.
    static QStringList shownTexts(const QWidget &screen)
    {
        QStringList texts;
        for (const QLabel *label : screen.findChildren<QLabel *>())
            if (label->isVisible())
                texts << label->text();
        return texts;
    }

    // Shown at a fixed size and active, with what it reads and loads in
    // place (the texts `shows`, when given), and drawn without the focus.
    static QImage settledPicture(QWidget &screen, std::optional<QStringList> shows = {})
    {
        screen.resize(720, 640);
        // A button that took the focus once stays the dialog's default: both
        // pictures draw only the defaults the screen sets itself.
        for (QPushButton *button : screen.findChildren<QPushButton *>())
            if (!button->isDefault())
                button->setAutoDefault(false);
        screen.show();
        const bool settled = waitUntil([&] {
            const auto bars = screen.findChildren<QProgressBar *>();
            const auto icons = screen.findChildren<FileIcon *>();
            return screen.isActiveWindow() && !MoveFadeTransition::anyRunning()
                   && (!shows || shownTexts(screen) == *shows)
                   && std::none_of(bars.cbegin(), bars.cend(),
                                   [](QProgressBar *bar) { return bar->isVisible() && bar->maximum() == bar->minimum(); })
                   && std::all_of(icons.cbegin(), icons.cend(),
                                  [](FileIcon *icon) { return !icon->isVisible() || icon->hasImage(); });
        });
        EXPECT_TRUE(settled);
        if (QWidget *focus = screen.focusWidget())
            focus->clearFocus();
        settleLayouts();
        return screen.grab().toImage();
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
        {"sync page", [&] { return new ProjectView(app(), path, syncID, ProjectPageFactories::standard()); }},
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
        settledPicture(*kept);
        for (const Appearance appearance : {Appearance::Dark, Appearance::Light}) {
            applyWidgetAppearance(appearance);
            // The new palette reaches the widgets through posted events.
            EXPECT_TRUE(waitUntil([&] { return kept->palette() == QApplication::palette(); }));
            const QImage shown = settledPicture(*kept);
            const QStringList texts = shownTexts(*kept);
            kept->hide();
            const std::unique_ptr<QWidget> built(make());
            const QImage fresh = settledPicture(*built, texts);
            built->hide();
            kept->show();
            const QString look = appearance == Appearance::Dark ? QStringLiteral("dark") : QStringLiteral("light");
            const QStringList faults = screenchecks::keptColourFaults(shown, fresh, QString::fromLatin1(name));
            EXPECT_EQ(faults, QStringList()) << look.toStdString();
            // Both pictures, for a person to compare.
            if (!faults.isEmpty()) {
                const QDir folder(QStringLiteral(TIDEWELL_SCREENSHOT_DIR));
                const QString file = QString::fromLatin1(name).replace(' ', '-') + '-' + look;
                shown.save(folder.filePath(QStringLiteral("switched-kept-") + file + QStringLiteral(".png")));
                fresh.save(folder.filePath(QStringLiteral("switched-built-") + file + QStringLiteral(".png")));
            }
        }
    }
}

} // namespace
} // namespace tw

#include "views/shell/MenuBarContent.h"

#include "controllers/EngineController.h"

#include "AwaitTask.h"
#include "WaitUntil.h"
#include "../support/ShellRig.h"

#include <QLocale>
#include <gtest/gtest.h>

namespace tw {
namespace {

class MenuBarContentTest : public ::testing::Test
{
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void TearDown() override { QLocale::setDefault(QLocale::system()); }
};

void setRunning(AppEnvironment &env, bool running)
{
    EngineStatus status = env.engineState().status();
    status.isRunning = running;
    env.engineState().setStatus(status);
}

TEST_F(MenuBarContentTest, FollowsTheEngineWhileOpenAndPausesThenRefreshes)
{
    ShellRig rig;
    MenuBarContent &menu = rig.shell->trayMenu();
    menu.popup(QPoint(10, 10));
    ASSERT_TRUE(menu.isVisible());

    const struct
    {
        bool running;
        bool toggle;  // the pause item is chosen first
        const char *state;
        const char *pauseItem;
    } steps[] = {
        {false, false, "Stopped", "Pause Syncing"},
        {false, true, "Stopped", "Resume Syncing"},
        {true, false, "Paused", "Resume Syncing"},
        {true, true, "Connected", "Pause Syncing"},
    };
    for (const auto &step : steps) {
        setRunning(rig.env(), step.running);
        if (step.toggle) {
            const qsizetype before = rig.engine.callLog().size();
            menu.pauseAction()->trigger();
            ASSERT_TRUE(waitUntil([&] {
                const QStringList calls = rig.engine.callLog().mid(before);
                const qsizetype paused = calls.indexOf(QRegularExpression("setAllPaused\\(.*\\)"));
                return paused >= 0 && calls.indexOf("folders()", paused) > paused;
            })) << rig.engine.callLog().mid(before).join(", ").toStdString();
        }
        EXPECT_TRUE(menu.isVisible());
        EXPECT_EQ(menu.stateAction()->text(), step.state);
        EXPECT_EQ(menu.pauseAction()->text(), step.pauseItem);
    }
    EXPECT_EQ(rig.engine.callsOf("setAllPaused"), QStringList({"setAllPaused(true)", "setAllPaused(false)"}));

    EXPECT_EQ(menu.ratesAction()->text(), "0 bytes/s up \u00B7 0 bytes/s down");
    awaitTask(rig.env().engineState().sampleThroughput());
    rig.clock.advanceMs(2000);
    rig.engine.state.transferred = {.inBytes = 4000, .outBytes = 2000};
    awaitTask(rig.env().engineState().sampleThroughput());
    EXPECT_EQ(menu.ratesAction()->text(), "1 kB/s up \u00B7 2 kB/s down");
    menu.close();
}

} // namespace
} // namespace tw

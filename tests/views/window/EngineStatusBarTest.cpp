#include "views/window/EngineStatusBar.h"

#include "app/AppEnvironment.h"
#include "controllers/EngineController.h"
#include "design/StatusDot.h"
#include "design/Theme.h"

#include "AwaitTask.h"
#include "QtPrinters.h"
#include "SaveShot.h"
#include "ViewEnvironment.h"
#include "WaitUntil.h"

#include <QLabel>
#include <QToolButton>
#include <QtTest/QTest>
#include <gtest/gtest.h>

namespace tw {
namespace {

struct BarRig
{
    BarRig() : bar(*rig.env)
    {
        bar.resize(700, bar.sizeHint().height());
        bar.show();
    }
    void setEngine(bool running, bool paused)
    {
        rig.engine.state.running = running;
        awaitTask(rig.env->engineState().refreshStatus());
        if (rig.env->engineState().isAllPaused() != paused)
            awaitTask(rig.env->engineState().toggleAllPaused());
        bar.refresh();
    }
    QLabel *label(const char *name) { return bar.findChild<QLabel *>(name); }
    QToolButton *button() { return bar.findChild<QToolButton *>("pauseButton"); }
    QColor dot() { return bar.findChild<StatusDot *>("statusDot")->color(); }

    ViewEnvironment rig;
    EngineStatusBar bar;
};

TEST(EngineStatusBarTest, ShowsTheEngineStateAndKeepsItsHeight)
{
    BarRig b;
    b.setEngine(true, false);
    const int runningHeight = b.bar.sizeHint().height();

    struct Row
    {
        const char *name;
        bool running, paused;
        QString title;
        QColor dot;
        bool detailVisible;
        QString help;
    };
    const QList<Row> rows = {
        {"stopped", false, false, EngineStatusBar::stoppedText, Theme::danger(), false, EngineStatusBar::pauseHelp},
        {"stopped wins over paused", false, true, EngineStatusBar::stoppedText, Theme::danger(), false,
         EngineStatusBar::resumeHelp},
        {"paused", true, true, EngineStatusBar::pausedText, Theme::syncing(), true, EngineStatusBar::resumeHelp},
        {"running, nothing to move", true, false, EngineStatusBar::upToDateText, Theme::synced(), true,
         EngineStatusBar::pauseHelp},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        b.setEngine(row.running, row.paused);
        EXPECT_EQ(b.label("statusTitle")->text(), row.title);
        EXPECT_EQ(b.dot(), row.dot);
        EXPECT_EQ(b.button()->toolTip(), row.help);
        QLabel *detail = b.label("statusDetail");
        EXPECT_EQ(detail->palette().color(QPalette::WindowText).alpha() > 0, row.detailVisible);
        if (row.detailVisible)
            EXPECT_TRUE(detail->text().startsWith(QStringLiteral("\u2191 "))) << detail->text().toStdString();
        else
            EXPECT_EQ(detail->text(), QStringLiteral(" "));
        EXPECT_EQ(b.bar.sizeHint().height(), runningHeight);

        const QImage shot = saveShot(b.bar, QStringLiteral("status-bar-") + QString::fromLatin1(row.name).replace(' ', '-'));
        ASSERT_FALSE(shot.isNull());
        EXPECT_EQ(shot.size(), b.bar.size() * b.bar.devicePixelRatio());
    }
}

TEST(EngineStatusBarTest, PauseButtonTogglesThenReloadsTheFolders)
{
    BarRig b;
    b.setEngine(true, false);
    const qsizetype start = b.rig.engine.callLog().size();
    QTest::mouseClick(b.button(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return b.rig.env->engineState().isAllPaused() && b.rig.engine.callCount("folders") > 0; }));
    const QStringList calls = b.rig.engine.callLog().mid(start);
    ASSERT_GE(calls.size(), 2);
    EXPECT_EQ(calls[0], QStringLiteral("setAllPaused(true)"));
    EXPECT_EQ(calls[1], QStringLiteral("folders()"));
    ASSERT_TRUE(waitUntil([&] { return b.label("statusTitle")->text() == EngineStatusBar::pausedText; }));
    EXPECT_EQ(b.button()->toolTip(), EngineStatusBar::resumeHelp);
}

} // namespace
} // namespace tw

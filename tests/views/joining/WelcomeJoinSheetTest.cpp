// The welcome and join sheets offscreen, on the real project controller over
// the fake engine.

#include "views/joining/JoinSheet.h"
#include "views/joining/WelcomeSheet.h"

#include "controllers/EngineController.h"
#include "projects/ProjectController.h"
#include "views/kit/PanelTexts.h"

#include "QtPrinters.h"
#include "ReadableTexts.h"
#include "SaveShot.h"
#include "ScreenChecks.h"
#include "ViewTestEnv.h"
#include "WaitUntil.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

namespace tw {
namespace {

const QString kInviter = QStringLiteral("INVITER-AAAAAAA-BBBBBBB-CCCCCCC-DDDDDDD-EEEEEEE-FFFFFFF-GGGGGGG");

void pressReturn(QWidget &sheet)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(&sheet, &press);
}

class WelcomeJoinSheetTest : public ViewTestEnv
{
};

TEST_F(WelcomeJoinSheetTest, ReturnCreatesTheFirstSyncOnce)
{
    struct Case { QString deviceName; bool thisMacRow; };
    for (const Case &c : {Case{"Studio", true}, Case{QString(), false}}) {
        app().engineState().storeDeviceName(c.deviceName);
        int created = 0;
        WelcomeSheet welcome(app(), [&created] { ++created; });
        welcome.show();
        EXPECT_EQ(welcome.findChild<QLabel *>("thisMac") != nullptr, c.thisMacRow);
        if (c.thisMacRow) {
            EXPECT_EQ(welcome.findChild<QLabel *>("thisMac")->text(), "This Mac: \u2068Studio\u2069");
            EXPECT_FALSE(saveShot(welcome, "welcome-sheet").isNull());
        }
        // Every line whole, down to its descenders: the sheet is as high as
        // its wrapped texts at its width.
        EXPECT_EQ(screenchecks::textFootFaults(welcome), QStringList());
        pressReturn(welcome);
        EXPECT_EQ(created, 1);
        EXPECT_FALSE(welcome.isVisible());
    }
    int created = 0;
    WelcomeSheet later(app(), [&created] { ++created; });
    later.show();
    later.findChild<QPushButton *>("maybeLater")->click();
    EXPECT_EQ(created, 0);
    EXPECT_FALSE(later.isVisible());
}

TEST_F(WelcomeJoinSheetTest, ReturnJoinsAndHandsOnTheJoinedSync)
{
    QStringList joined;
    JoinSheet join(app(), Invite{kInviter, "Ann", "Film", std::nullopt},
                   [&joined](QString projectID) { joined << projectID; });
    join.show();
    EXPECT_EQ(join.findChild<QLabel *>("inviterName")->text(), "Ann");
    EXPECT_EQ(join.findChild<QLabel *>("syncName")->text(), "Film");
    EXPECT_FALSE(saveShot(join, "join-sheet").isNull());
    engine.hold("localDeviceID");
    pressReturn(join);
    runEventLoopFor(20);
    // Open until the join has returned.
    EXPECT_TRUE(join.isVisible());
    EXPECT_TRUE(joined.isEmpty());
    engine.release("localDeviceID");
    ASSERT_TRUE(waitUntil([&] { return !join.isVisible(); }));
    ASSERT_EQ(joined.size(), 1);
    const std::optional<Project> film = app().projects().project(joined.front());
    ASSERT_TRUE(film);
    EXPECT_EQ(film->name, "Film");
}

TEST_F(WelcomeJoinSheetTest, AnUnnamedInvitationShowsAnotherMacAndNoSyncRow)
{
    QStringList joined;
    JoinSheet join(app(), Invite{kInviter, QString(), QString(), std::nullopt},
                   [&joined](QString projectID) { joined << projectID; });
    join.show();
    EXPECT_EQ(join.findChild<QLabel *>("inviterName")->text(), texts::anotherMac);
    EXPECT_EQ(join.findChild<QLabel *>("syncName"), nullptr);
    join.findChild<QPushButton *>("join")->click();
    ASSERT_TRUE(waitUntil([&] { return !join.isVisible(); }));
    ASSERT_EQ(joined.size(), 1);
    EXPECT_EQ(app().projects().project(joined.front())->name, "Shared with ");
}

TEST_F(WelcomeJoinSheetTest, AnInvitationFromThisMacClosesWithoutJoining)
{
    int joined = 0;
    JoinSheet join(app(), Invite{engine.state.localDeviceID, "Me", "Film", std::nullopt},
                   [&joined](QString) { ++joined; });
    join.show();
    join.findChild<QPushButton *>("join")->click();
    ASSERT_TRUE(waitUntil([&] { return !join.isVisible(); }));
    EXPECT_EQ(joined, 0);
    EXPECT_TRUE(app().projects().projects().isEmpty());
}

} // namespace
} // namespace tw

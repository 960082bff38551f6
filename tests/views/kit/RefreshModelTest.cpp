#include "app/AppEnvironment.h"
#include "app/AppPreferences.h"
#include "controllers/DeviceController.h"
#include "controllers/EngineController.h"
#include "controllers/FolderController.h"
#include "projects/ProjectController.h"
#include "views/kit/KeyedList.h"
#include "views/kit/RefreshingView.h"

#include "AwaitTask.h"
#include "ViewEnvironment.h"
#include "WaitUntil.h"

#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <QtTest/QTest>
#include <gtest/gtest.h>

namespace tw {
namespace {

class CountingView : public RefreshingView
{
public:
    explicit CountingView(AppEnvironment &environment) { followState(environment); }

protected:
    void refreshContents() override {}
};

ProjectController::PendingDeviceApproval request(int n)
{
    return {.deviceID = QStringLiteral("DEV%1").arg(n), .name = QStringLiteral("Mac %1").arg(n),
            .projectID = QStringLiteral("p"), .projectName = QStringLiteral("Sync")};
}

TEST(RefreshModelTest, ChangesOfOneTurnAreToldOnce)
{
    ViewEnvironment rig;
    QSignalSpy told(rig.env.get(), &AppEnvironment::stateChanged);
    for (int i = 0; i < 50; ++i) {
        rig.env->projects().setPendingDeviceApproval(request(i));
        rig.env->preferences().setLanDiagnostics(i % 2 == 0);
    }
    ASSERT_TRUE(waitUntil([&] { return told.count() > 0; }));
    runEventLoopFor(50);
    EXPECT_EQ(told.count(), 1);

    // The next turn's change is told again; a turn without one is not.
    rig.env->setPendingInvite(Invite{.deviceID = QStringLiteral("X"), .name = {}, .project = {}, .tsIP = {}});
    ASSERT_TRUE(waitUntil([&] { return told.count() == 2; }));
    rig.env->setPendingInvite(rig.env->pendingInvite());
    runEventLoopFor(50);
    EXPECT_EQ(told.count(), 2);
}

// The polling cycle reads the same answers again and again: views hear of it
// only when something differs.
TEST(RefreshModelTest, ReadsThatChangeNothingTellNothing)
{
    ViewEnvironment rig;
    rig.engine.state.running = true;
    rig.engine.state.folders = {SyncFolder{.id = QStringLiteral("f1"), .label = QStringLiteral("One")}};
    QSignalSpy told(rig.env.get(), &AppEnvironment::stateChanged);
    awaitTask(rig.env->engineState().refreshStatus());
    awaitTask(rig.env->folders().refresh());
    awaitTask(rig.env->devices().refresh());
    ASSERT_TRUE(waitUntil([&] { return told.count() > 0; }));
    runEventLoopFor(20);
    const qsizetype after = told.count();
    // What the polling cycle reads each time.
    for (int cycle = 0; cycle < 3; ++cycle) {
        awaitTask(rig.env->engineState().refreshStatus());
        awaitTask(rig.env->folders().syncFolderList());
        awaitTask(rig.env->devices().refresh());
    }
    runEventLoopFor(50);
    EXPECT_EQ(told.count(), after);
}

TEST(RefreshModelTest, HiddenViewSkipsAndCatchesUpWhenShown)
{
    ViewEnvironment rig;
    CountingView view(*rig.env);
    view.show();
    EXPECT_EQ(view.refreshCount(), 1);  // the first show
    rig.env->projects().setPendingDeviceApproval(request(1));
    ASSERT_TRUE(waitUntil([&] { return view.refreshCount() == 2; }));

    view.hide();
    QSignalSpy told(rig.env.get(), &AppEnvironment::stateChanged);
    rig.env->projects().setPendingDeviceApproval(request(2));
    ASSERT_TRUE(waitUntil([&] { return told.count() == 1; }));
    EXPECT_EQ(view.refreshCount(), 2);
    EXPECT_TRUE(view.isBehind());

    view.show();
    EXPECT_EQ(view.refreshCount(), 3);
    EXPECT_FALSE(view.isBehind());
    // Shown again with nothing missed: no extra work.
    view.hide();
    view.show();
    EXPECT_EQ(view.refreshCount(), 3);
}

struct ListRig
{
    ListRig() : layout(new QVBoxLayout(&window)), list(layout, [this](const QString &id) {
        auto *edit = new QLineEdit;
        edit->setObjectName(id);
        ++made;
        return edit;
    })
    {
        window.show();
        window.activateWindow();
    }
    QWidget window;
    QVBoxLayout *layout;
    KeyedList<QLineEdit> list;
    int made = 0;
};

QStringList namesInLayout(QLayout *layout)
{
    QStringList names;
    for (int i = 0; i < layout->count(); ++i)
        names.append(layout->itemAt(i)->widget()->objectName());
    return names;
}

TEST(RefreshModelTest, KeyedListKeepsTheWidgetsOfIdentitiesThatStay)
{
    ListRig rig;
    ASSERT_TRUE(rig.list.setIDs({"a", "b", "c"}));
    QLineEdit *a = rig.list.child("a");
    QLineEdit *b = rig.list.child("b");
    QLineEdit *c = rig.list.child("c");
    ASSERT_TRUE(QTest::qWaitForWindowActive(&rig.window));
    b->setFocus();
    QTest::keyClicks(b, "typed");

    struct Row
    {
        const char *name;
        QStringList ids;
        int made;  // widgets made in all, so far
    };
    const QList<Row> rows = {
        {"same order", {"a", "b", "c"}, 3},
        {"reordered, one new", {"c", "a", "b", "d"}, 4},
        {"one gone", {"c", "b", "d"}, 4},
        {"repeats count once", {"c", "b", "d", "b"}, 4},
    };
    QPointer<QLineEdit> gone = a;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_TRUE(rig.list.setIDs(row.ids));
        QStringList unique = row.ids;
        unique.removeDuplicates();
        EXPECT_EQ(namesInLayout(rig.layout), unique);
        EXPECT_EQ(rig.made, row.made);
        EXPECT_EQ(rig.list.child("b"), b);
        EXPECT_EQ(rig.list.child("c"), c);
        EXPECT_EQ(b->text(), QStringLiteral("typed"));
        EXPECT_TRUE(b->hasFocus());
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(gone.isNull());
}

TEST(RefreshModelTest, KeyedListWaitsForAChildsMenu)
{
    ListRig rig;
    rig.list.setIDs({"a", "b"});
    QPointer<QLineEdit> b = rig.list.child("b");
    auto *menu = new QMenu(b);
    bool actedOnLiveWidget = false;
    QAction *action = menu->addAction(QStringLiteral("Act"));
    QObject::connect(action, &QAction::triggered, [&] { actedOnLiveWidget = !b.isNull(); });
    menu->popup(b->mapToGlobal(QPoint(0, 0)));
    ASSERT_TRUE(waitUntil([&] { return menu->isVisible(); }));

    EXPECT_FALSE(rig.list.setIDs({"a"}));
    EXPECT_TRUE(rig.list.isWaiting());
    EXPECT_EQ(rig.list.ids(), (QStringList{"a", "b"}));
    QCoreApplication::processEvents();
    EXPECT_FALSE(b.isNull());

    // The menu closes through its action, which still finds its widget; the
    // change follows.
    QTest::keyClick(menu, Qt::Key_Down);
    QTest::keyClick(menu, Qt::Key_Return);
    EXPECT_TRUE(actedOnLiveWidget);
    ASSERT_TRUE(waitUntil([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return b.isNull();
    }));
    EXPECT_EQ(rig.list.ids(), QStringList{"a"});
    EXPECT_FALSE(rig.list.isWaiting());
}

} // namespace
} // namespace tw

// Writers of one folder's ignore lines against the fake engine: each
// read-edit-write runs whole before the next writer of that folder starts.

#include "projects/ProjectController.h"
#include "utilities/UserDefaults.h"

#include "AwaitTask.h"
#include "FakeSyncEngine.h"
#include "QtPrinters.h"
#include "WaitUntil.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tw {
namespace {

const Sleeper kInstant = [](std::chrono::milliseconds) -> QCoro::Task<void> { co_return; };

ProjectController::IgnoreEdit appending(const QString &line)
{
    return [line](QStringList lines) {
        lines.append(line);
        return lines;
    };
}

struct Rig
{
    Rig()
    {
        SyncFolder listed;
        listed.id = "st";
        listed.path = dir.filePath("f");
        engine.state.folders = {listed};
        engine.state.ignores["st"] = {"/p", "a"};
        pc.add({.id = "S",
                .folders = {{.id = "F", .ignorePatterns = {"/p", "a"}, .purgeProtected = {"/p"},
                             .syncthingFolderID = "st"}}});
    }

    QTemporaryDir dir;
    UserDefaults defaults{dir.filePath("defaults.json")};
    FakeSyncEngine engine;
    ProjectController pc{engine, AppPaths(dir.path()), defaults, systemClock(), kInstant};
};

// Held at its read, the first edit keeps the lock: the protection's removal
// and the second edit wait for it (unlocked, both would have called the
// engine before returning), so neither the first line is lost nor the
// removed protection line written back.
TEST(ProjectControllerIgnoresTest, WritersOfOneFolderTakeTurnsAndAFailedReadWritesNothing)
{
    Rig rig;
    rig.engine.hold("ignorePatterns");
    QCoro::Task<std::optional<QString>> first = rig.pc.editIgnores("st", appending("x"));
    ASSERT_TRUE(waitUntil([&] { return rig.engine.waiting("ignorePatterns") == 1; }));
    QCoro::Task<bool> unprotect = rig.pc.removePurgeProtection("st", "/p");
    QCoro::Task<std::optional<QString>> second = rig.pc.editIgnores("st", appending("y"));
    EXPECT_EQ(rig.engine.callCount("ignorePatterns"), 1);
    EXPECT_EQ(rig.engine.callCount("updateIgnorePatterns"), 0);

    rig.engine.release("ignorePatterns");
    EXPECT_EQ(awaitTask(std::move(first)), std::nullopt);
    EXPECT_TRUE(awaitTask(std::move(unprotect)));
    EXPECT_EQ(awaitTask(std::move(second)), std::nullopt);
    EXPECT_EQ(rig.engine.state.ignores["st"], QStringList({"a", "x", "y"}));
    EXPECT_EQ(rig.pc.folderOf("S", "F")->ignorePatterns, QStringList({"a", "x", "y"}));
    EXPECT_EQ(rig.engine.callsOf("updateIgnorePatterns"),
              QStringList({"updateIgnorePatterns(st, /p|a|x)", "updateIgnorePatterns(st, a|x)",
                           "updateIgnorePatterns(st, a|x|y)"}));

    rig.engine.failNext("ignorePatterns", SyncEngineError::notRunning());
    EXPECT_TRUE(awaitTask(rig.pc.editIgnores("st", appending("z"))).has_value());
    EXPECT_EQ(rig.engine.callCount("updateIgnorePatterns"), 3);
    EXPECT_EQ(rig.engine.state.ignores["st"], QStringList({"a", "x", "y"}));
}

// The default list applied to all is the last word when it comes second:
// it waits for the edit under way instead of being written over by it.
TEST(ProjectControllerIgnoresTest, ApplyingTheDefaultsWaitsForAnEditUnderWay)
{
    Rig rig;
    rig.pc.setDefaultIgnores({"d"});
    rig.engine.hold("ignorePatterns");
    QCoro::Task<std::optional<QString>> edit = rig.pc.editIgnores("st", appending("x"));
    ASSERT_TRUE(waitUntil([&] { return rig.engine.waiting("ignorePatterns") == 1; }));
    QCoro::Task<void> defaults = rig.pc.applyDefaultIgnoresToAll();
    EXPECT_EQ(rig.engine.callCount("updateIgnorePatterns"), 0);
    rig.engine.release("ignorePatterns");
    EXPECT_EQ(awaitTask(std::move(edit)), std::nullopt);
    awaitTask(std::move(defaults));
    EXPECT_EQ(rig.engine.state.ignores["st"], QStringList({"/p", "d"}));
}

// A remote removal must not go ahead on a line the engine did not take; the
// record keeps it, and the next pass sends it.
TEST(ProjectControllerIgnoresTest, AProtectionTheEngineDidNotTakeIsAnsweredSoAndSentByTheNextPass)
{
    Rig rig;
    SyncFolder listed;
    listed.id = "st2";
    listed.path = rig.dir.path();
    listed.hasSyncedXattrFilter = true;
    rig.engine.state.folders.append(listed);
    rig.engine.state.ignores["st2"] = {"a"};
    rig.pc.add({.id = "T", .folders = {{.id = "G", .localPath = rig.dir.path(), .ignorePatterns = {"a"},
                                        .syncthingFolderID = "st2"}}});
    rig.engine.failNext("updateIgnorePatterns", SyncEngineError::notRunning());
    EXPECT_FALSE(awaitTask(rig.pc.addPurgeProtection("st2", "/q")));
    EXPECT_EQ(rig.pc.folderOf("T", "G")->ignorePatterns, QStringList({"/q", "a"}));
    EXPECT_EQ(rig.engine.state.ignores["st2"], QStringList("a"));
    awaitTask(rig.pc.reconcileAll());
    EXPECT_EQ(rig.engine.state.ignores["st2"], QStringList({"/q", "a"}));
    EXPECT_TRUE(awaitTask(rig.pc.removePurgeProtection("st2", "/q")));
    EXPECT_EQ(rig.engine.state.ignores["st2"], QStringList("a"));
}

// Syncthing stops a folder over a line it cannot use. Such a line of the
// records is never sent: the folder gets the others, and its sync says which
// line and why. Lines Syncthing refuses all the same are sent once, and not
// again by every pass; neither counts as a failed operation.
TEST(ProjectControllerIgnoresTest, LinesSyncthingCannotUseAreSentAtMostOnceAndTheirSyncSaysWhich)
{
    Rig rig;
    for (const QString id : {"st2", "st3"}) {
        SyncFolder listed;
        listed.id = id;
        listed.path = rig.dir.filePath(id);
        listed.hasSyncedXattrFilter = true;
        rig.engine.state.folders.append(listed);
        rig.engine.state.ignores[id] = {};
        QDir().mkpath(listed.path);
    }
    rig.pc.add({.id = "T", .folders = {{.id = "G", .label = "Work", .localPath = rig.dir.filePath("st2"),
                                        .ignorePatterns = {".*", "[abc"}, .syncthingFolderID = "st2"},
                                       {.id = "H", .label = "Notes", .localPath = rig.dir.filePath("st3"),
                                        .ignorePatterns = {"x"}, .syncthingFolderID = "st3"}}});
    rig.engine.failNext("updateIgnorePatterns", SyncEngineError::refused("invalid pattern \"x\""), 2);
    awaitTask(rig.pc.reconcileAll());
    awaitTask(rig.pc.reconcileAll());
    EXPECT_EQ(rig.engine.callsOf("updateIgnorePatterns"),
              QStringList({"updateIgnorePatterns(st2, .*)", "updateIgnorePatterns(st3, x)"}));
    EXPECT_EQ(rig.pc.ignoreRefusal("st2"), "Syncthing can\u2019t use the ignore pattern \u201C[abc\u201D of the folder "
                                           "\u201C\u2068Work\u2069\u201D (a \u201C[\u201D has no closing \u201C]\u201D), so "
                                           "the folder syncs without it.");
    EXPECT_EQ(rig.pc.ignoreRefusal("st3"),
              "Syncthing refused the ignore patterns of the folder \u201C\u2068Notes\u2069\u201D: invalid pattern \"x\"");
    EXPECT_EQ(rig.pc.lastErrorMessage(), std::nullopt);

    // New lines are sent, and what they lack is said no more.
    EXPECT_EQ(awaitTask(rig.pc.writeIgnoresBySyncthingID("st3", {"y"})), std::nullopt);
    EXPECT_EQ(rig.pc.ignoreRefusal("st3"), std::nullopt);
}

} // namespace
} // namespace tw

// Writers of one folder's ignore lines against the fake engine: each
// read-edit-write runs whole before the next writer of that folder starts.

#include "projects/ProjectController.h"
#include "utilities/UserDefaults.h"

#include "AwaitTask.h"
#include "FakeSyncEngine.h"
#include "QtPrinters.h"
#include "WaitUntil.h"

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

} // namespace
} // namespace tw

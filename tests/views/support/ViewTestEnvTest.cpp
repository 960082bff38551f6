// The rig of the panel, sheet and settings view tests: what its fakes answer
// through the real controllers, so that screen tests can lean on it.

#include "cluster/NasNodeController.h"
#include "controllers/EngineController.h"

#include "AwaitTask.h"
#include "QtPrinters.h"
#include "ViewTestEnv.h"
#include "WaitUntil.h"

#include <QDesktopServices>
#include <gtest/gtest.h>

namespace tw {
namespace {

using ViewTestEnvTest = ViewTestEnv;

TEST_F(ViewTestEnvTest, NothingRunsByItself)
{
    runEventLoopFor(100);
    EXPECT_EQ(engine.callLog(), QStringList());
    EXPECT_TRUE(node.requests().isEmpty());
}

TEST_F(ViewTestEnvTest, TheNodeChecksItsKeyAndRecordsWrites)
{
    EXPECT_FALSE(awaitTask(app().nasNode().configure(nodeURL(), "another key", "NAS")));
    EXPECT_TRUE(nodeWrites().isEmpty());
    ASSERT_TRUE(configureNode("Basement"));
    ASSERT_EQ(app().nasNode().nodes().size(), 1);
    EXPECT_EQ(app().nasNode().nodes()[0].deviceID, kNodeDeviceID);
    EXPECT_EQ(app().nasNode().nodes()[0].name, QStringLiteral("Basement"));
    QStringList writes;
    for (const FakeHttpServer::Request &request : nodeWrites())
        writes.append(QString::fromUtf8(request.method + ' ' + request.path()));
    EXPECT_EQ(writes, QStringList({"PATCH /rest/config/defaults/folder", "PATCH /rest/config/defaults/device"}));
}

TEST_F(ViewTestEnvTest, TheEngineKeepsToLoopbackAndHoldsNameAndSettings)
{
    EngineController &engineState = app().engineState();
    awaitTask(engineState.loadNetwork());
    const NetworkSettings loaded = engineState.network();
    EXPECT_FALSE(loaded.natTraversalEnabled || loaded.relayEnabled || loaded.localDiscoveryEnabled
                 || loaded.globalDiscoveryEnabled);

    NetworkSettings limited = loaded;
    limited.downLimitKbps = 125;
    awaitTask(engineState.applyNetwork(limited));
    EXPECT_EQ(engine.state.network, limited);

    engine.state.deviceName = QStringLiteral("Studio");
    EXPECT_EQ(awaitTask(app().engine().localDeviceName()), QStringLiteral("Studio"));
    awaitTask(engineState.setDeviceName(QStringLiteral("Office")));
    EXPECT_EQ(engine.state.deviceName, QStringLiteral("Office"));
    EXPECT_EQ(engineState.deviceName(), QStringLiteral("Office"));
}

TEST_F(ViewTestEnvTest, BrowseAnswersByPrefix)
{
    engine.state.browse["f"][""] = {{"Docs", true}, {".hidden", false}};
    engine.state.browse["f"]["Docs"] = {{"a.txt", false}};
    EXPECT_EQ(awaitTask(app().engine().browse("f", "")), QList<BrowseEntry>({{"Docs", true}, {".hidden", false}}));
    EXPECT_EQ(awaitTask(app().engine().browse("f", "Docs")), QList<BrowseEntry>({{"a.txt", false}}));
    EXPECT_TRUE(awaitTask(app().engine().browse("f", "Docs/none")).isEmpty());
}

TEST_F(ViewTestEnvTest, ARestoreTakesTheListedVersionOutAndFailsForOneNotListed)
{
    const ArchivedVersion a1{"a", "2024-03-01T09:00:00Z", 1};
    const ArchivedVersion a2{"a", "2024-03-02T09:00:00Z", 2};
    const ArchivedVersion b1{"b", "2024-03-01T09:00:00Z", 4};
    engine.state.archives["f"] = {a1, a2, b1};
    SyncEngine &fake = app().engine();

    awaitTask(fake.restoreArchived("f", a1.path, a1.versionTime));
    EXPECT_EQ(awaitTask(fake.archivedVersions("f")), QList<ArchivedVersion>({a2, b1}));
    const std::optional<SyncEngineError> again = failureOf(fake.restoreArchived("f", a1.path, a1.versionTime));
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(again->errorDescription(), QStringLiteral("Could not restore a: version not found"));

    const std::optional<SyncEngineError> batch =
        failureOf(fake.restoreArchivedBatch("f", {{"a", a2.versionTime}, {"c", a2.versionTime}}));
    ASSERT_TRUE(batch.has_value());
    EXPECT_EQ(batch->errorDescription(), QStringLiteral("Could not restore c: version not found"));
    EXPECT_EQ(engine.state.archives["f"], QList<ArchivedVersion>({b1}));
    EXPECT_EQ(engine.callsOf("restoreArchivedBatch"),
              QStringList({"restoreArchivedBatch(f, a@2024-03-02T09:00:00Z|c@2024-03-02T09:00:00Z)"}));
}

TEST_F(ViewTestEnvTest, AddressesTheDesktopWouldOpenAreCaptured)
{
    const QList<QUrl> opened = {QUrl("mailto:someone@example.org"), QUrl::fromLocalFile(dir.path()),
                                QUrl("http://127.0.0.1:48390/?t=abc")};
    for (const QUrl &url : opened)
        EXPECT_TRUE(QDesktopServices::openUrl(url)) << qPrintable(url.toString());
    EXPECT_EQ(urls.opened, opened);
}

} // namespace
} // namespace tw

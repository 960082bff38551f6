// The incoming page of a Mac on its own real Syncthing, driven as the
// application drives it (the environment bootstrapped and polling), while a
// bare Syncthing that this Mac does not know dials in. Unlike the fake
// engine's, a real engine's awaits suspend, so the accepting task outlives
// the row whose button started it.

#include "views/joining/IncomingView.h"

#include "app/AppEnvironment.h"
#include "controllers/DeviceController.h"
#include "controllers/EngineController.h"
#include "projects/ProjectController.h"
#include "services/FeedbackService.h"
#include "utilities/UserDefaults.h"

#include "AwaitTask.h"
#include "MemoryKeychain.h"
#include "RecordingNotifier.h"
#include "SyncthingInstance.h"
#include "WaitUntil.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tw {
namespace {

// This Mac: the environment on its own Syncthing, which bootstrap() starts.
struct ThisMac
{
    explicit ThisMac(SyncthingInstance &instance)
        : engine(instance.makeEngine())
    {
        AppEnvironment::Services services{AppPaths(dir.path())};
        services.defaults = &defaults;
        services.keychain = &keychain;
        services.feedback = &feedback;
        services.notifier = &notifier;
        services.lan = {QHostAddress::LocalHost, 0, quint16(1)};
        services.autostartEntry = dir.filePath(QStringLiteral("autostart.desktop"));
        env = std::make_unique<AppEnvironment>(*engine, std::move(services));
    }
    std::unique_ptr<SyncthingEngine> engine;
    QTemporaryDir dir;
    UserDefaults defaults{dir.filePath(QStringLiteral("defaults.json"))};
    MemoryKeychain keychain;
    FeedbackService feedback{QString(), AppPaths(dir.path())};
    RecordingNotifier notifier;
    std::unique_ptr<AppEnvironment> env;
};

// Has `caller` know `callee` at its listen address and dial it every two
// seconds; `callee` is not told about `caller`. Answers whether both took.
bool dialFrom(SyncthingInstance &caller, SyncthingInstance &callee)
{
    const QJsonObject device{
        {QStringLiteral("deviceID"), callee.deviceID()},
        {QStringLiteral("addresses"), QJsonArray{callee.listenAddress()}},
    };
    const QString path = QStringLiteral("/rest/config/devices/") + callee.deviceID();
    const QByteArray options = R"({"reconnectionIntervalS":2})";
    return caller.put(path, QJsonDocument(device).toJson(QJsonDocument::Compact)).ok()
        && caller.request("PATCH", QStringLiteral("/rest/config/options"), options, caller.apiKey()).ok();
}

bool connected(const AppEnvironment &env, const QString &deviceID)
{
    const std::optional<DeviceConnection> connection = env.devices().connection(deviceID);
    return connection && connection->connected;
}

TEST(IncomingViewIntegrationTest, AcceptingADeviceThatDialsInAddsItAndTheApplicationKeepsRunning)
{
    SyncthingInstance instance;
    ThisMac mac(instance);
    AppEnvironment &env = *mac.env;
    awaitTask(env.bootstrap());
    ASSERT_TRUE(env.engineState().status().isRunning);
    env.startPolling();
    int cycles = 0;
    env.setStepObserver([&cycles](QString step) { cycles += step == QStringLiteral("evaluateNotifications"); });
    IncomingView view(env);
    view.resize(560, 640);
    view.show();

    SyncthingInstance bare(QStringLiteral("127.0.0.2"));
    bare.start();
    ASSERT_TRUE(dialFrom(bare, instance));
    const QString rowName = QStringLiteral("device:") + bare.deviceID();
    ASSERT_TRUE(waitUntil([&] { return view.findChild<QWidget *>(rowName) != nullptr; }, 60000));
    const QString askedName = env.projects().pendingDevices().first().name;
    view.findChild<QWidget *>(rowName)->findChild<QPushButton *>(QStringLiteral("accept"))->click();

    // The row goes once the engine no longer lists the request; the bare
    // Syncthing's next dial is then let in.
    ASSERT_TRUE(waitUntil([&] {
        return view.findChild<QWidget *>(rowName) == nullptr && connected(env, bare.deviceID());
    }, 60000));
    const QJsonObject added = instance.get(QStringLiteral("/rest/config/devices/") + bare.deviceID()).json().object();
    EXPECT_EQ(added.value(QStringLiteral("name")).toString(), askedName);
    EXPECT_FALSE(added.value(QStringLiteral("introducer")).toBool());
    EXPECT_EQ(env.projects().lastErrorMessage(), std::nullopt);
    // The application goes on: three more full polling cycles, each reading
    // the devices and the pending lists again.
    const int seen = cycles;
    EXPECT_TRUE(waitUntil([&] { return cycles >= seen + 3; }, 60000));
    EXPECT_TRUE(connected(env, bare.deviceID()));
    EXPECT_TRUE(env.projects().pendingDevices().isEmpty());
}

} // namespace
} // namespace tw

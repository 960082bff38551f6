#pragma once

#include "app/AppEnvironment.h"
#include "platform/MountEventSource.h"
#include "services/FeedbackService.h"
#include "utilities/UserDefaults.h"
#include "views/shell/AppShell.h"

#include "FakeServices.h"
#include "FakeSyncEngine.h"
#include "ManualClock.h"
#include "MemoryKeychain.h"
#include "QueuedPause.h"
#include "RecordingNotifier.h"

#include <QHostAddress>
#include <QTemporaryDir>
#include <memory>
#include <vector>

namespace tw {

// A shell on the fake engine with a temporary root. Its loops sleep until
// the test wakes them (the tests here never do); quitting, the tray and the
// end of the process are recorded instead of carried out.
struct ShellRig
{
    // Where the rig's feedback would go: loopback, where nothing answers.
    static inline const QString kFeedbackEndpoint =
        QStringLiteral("http://127.0.0.1:9") + QLatin1String(FeedbackService::kRecordsPath);

    // Without `injectTray` the shell looks for a tray host on the session bus;
    // an empty endpoint is the default build's.
    explicit ShellRig(bool recordExit = true, bool injectTray = true, QString feedbackEndpoint = kFeedbackEndpoint)
        : defaults(dir.filePath("defaults.json")), feedback(std::move(feedbackEndpoint), AppPaths(root()))
    {
        AppEnvironment::Services services = fakeServices(AppPaths(root()), defaults, keychain, feedback, notifier, clock,
                                                         mounts, dir.filePath("autostart.desktop"));
        services.sleeper = [this](std::chrono::milliseconds) -> QCoro::Task<void> {
            ++pauses;
            QueuedPause parked{&sleeping};
            co_await parked;
        };
        engine.state.running = true;
        engine.hold("events");
        AppShell::Injectables injectables;
        if (recordExit)
            injectables.exit = [this](int code) { exits.append(code); };
        injectables.aboutToQuit = [this] { ++aboutToQuitCalls; };
        if (injectTray)
            injectables.trayAvailable = [this] { return trayAvailable; };
        injectables.started = [this] { ++startedCalls; };
        // The shell's own behaviour, without the pages reacting to links.
        injectables.mainContent = [](QWidget *parent) { return new QWidget(parent); };
        injectables.settingsContent = [](QWidget *parent) { return new QWidget(parent); };
        shell = std::make_unique<AppShell>(engine, std::move(services), std::move(injectables));
    }

    AppEnvironment &env() const { return shell->environment(); }
    // Where a copy started with XDG_DATA_HOME=<dir>/data keeps its files.
    QString root() const { return dir.filePath(QStringLiteral("data/TidewellSync")); }

    QTemporaryDir dir;
    UserDefaults defaults;
    MemoryKeychain keychain;
    FeedbackService feedback;
    RecordingNotifier notifier;
    ManualClock clock;
    MountEventSource mounts;
    FakeSyncEngine engine;
    std::vector<std::coroutine_handle<>> sleeping;
    int pauses = 0;
    bool trayAvailable = false;
    QList<int> exits;
    int aboutToQuitCalls = 0;
    int startedCalls = 0;
    std::unique_ptr<AppShell> shell;
};

} // namespace tw

#pragma once

#include "app/AppEnvironment.h"
#include "platform/MountEventSource.h"
#include "projects/Project.h"
#include "services/FeedbackService.h"
#include "utilities/UserDefaults.h"

#include "FakeSyncEngine.h"
#include "ManualClock.h"
#include "MemoryKeychain.h"
#include "RecordingNotifier.h"

#include <QFile>
#include <QTemporaryDir>
#include <memory>

namespace tw {

// An environment on the fake engine for view tests: temporary files, a
// memory keychain, its own clock and mount events, the LAN server on
// loopback and paired Macs asked on a port where nothing listens. No loop
// runs; a test arranges `engine.state`, then awaits the controllers' reloads
// (folders().refresh(), devices().refresh(), …) to put it on show.
struct ViewEnvironment
{
    // The syncs are on file before the environment loads them.
    explicit ViewEnvironment(const QList<Project> &projects = {})
        : defaults(dir.filePath(QStringLiteral("defaults.json")))
        , feedback(QString(), AppPaths(dir.path()))
    {
        if (!projects.isEmpty()) {
            QFile file(dir.filePath(QStringLiteral("projects.json")));
            if (file.open(QIODevice::WriteOnly))
                file.write(Project::listToFile(projects));
        }
        AppEnvironment::Services services{AppPaths(dir.path())};
        services.defaults = &defaults;
        services.keychain = &keychain;
        services.feedback = &feedback;
        services.notifier = &notifier;
        services.clock = clock.clock();
        services.mountEvents = &mounts;
        services.lan = {QHostAddress::LocalHost, 0, quint16(1)};
        services.autostartEntry = dir.filePath(QStringLiteral("autostart.desktop"));
        env = std::make_unique<AppEnvironment>(engine, std::move(services));
    }

    QTemporaryDir dir;
    UserDefaults defaults;
    MemoryKeychain keychain;
    FeedbackService feedback;
    RecordingNotifier notifier;
    FakeSyncEngine engine;
    ManualClock clock;
    MountEventSource mounts;
    std::unique_ptr<AppEnvironment> env;
};

} // namespace tw

#pragma once

#include "app/AppEnvironment.h"
#include "platform/MountEventSource.h"
#include "projects/Project.h"
#include "services/FeedbackService.h"
#include "utilities/UserDefaults.h"

#include "FakeServices.h"
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
        env = std::make_unique<AppEnvironment>(
            engine, fakeServices(AppPaths(dir.path()), defaults, keychain, feedback, notifier, clock, mounts,
                                 dir.filePath(QStringLiteral("autostart.desktop"))));
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

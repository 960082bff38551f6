#pragma once

#include "projects/ProjectController.h"

#include "FakeSyncEngine.h"

#include <QTemporaryDir>
#include <QTimeZone>
#include <memory>

namespace tw {

// A controller on a temporary application folder, a fake engine and a fixed
// clock; made on first use so that a test can write projects.json first.
struct ProjectRig
{
    static inline const QDateTime now = QDateTime::fromSecsSinceEpoch(1767225600, QTimeZone::utc());

    ProjectController &controller()
    {
        if (!made)
            made = std::make_unique<ProjectController>(
                engine, AppPaths(dir.path()), [] { return now; },
                [](std::chrono::milliseconds) -> QCoro::Task<void> { co_return; });
        return *made;
    }
    QString path(const QString &name) const { return dir.path() + "/" + name; }

    QTemporaryDir dir;
    FakeSyncEngine engine;
    std::unique_ptr<ProjectController> made;
};

} // namespace tw

#include "projects/ProjectController.h"

#include "cluster/NasNodeController.h"
#include "engine/SyncEngine.h"
#include "platform/PathLookUps.h"
#include "utilities/AssignIfChanged.h"
#include "utilities/JsonDecodeError.h"
#include "utilities/SaveLeftovers.h"
#include "utilities/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QFileInfo>
#include <QSaveFile>

namespace tw {

ProjectController::ProjectController(SyncEngine &engine, AppPaths paths, UserDefaults &defaults, Clock clock,
                                     Sleeper sleeper, QObject *parent)
    : QObject(parent),
      m_engine(engine),
      m_paths(std::move(paths)),
      m_clock(std::move(clock)),
      m_sleeper(std::move(sleeper)),
      m_storePath(m_paths.file(storeFileName)),
      m_pathLookUps(new PathLookUps(PathLookUps::defaultWait, this)),
      m_defaults(defaults)
{
    QDir().mkpath(m_paths.root());
    removeSaveLeftovers(m_storePath);
    const QStringList dismissed = defaults.stringList(dismissedKey).value_or(QStringList());
    m_dismissedFolderIDs = QSet<QString>(dismissed.cbegin(), dismissed.cend());
    m_owedRemovals = defaults.stringList(owedRemovalsKey).value_or(QStringList());
    m_invitedNodes = storedInvitedNodes(defaults);
    load();
    // A folder switched off on this Mac stays paused, whoever resumes it.
    // The engine outlives this controller: once it is gone, nothing is.
    m_engine.runPolicy().setSwitchedOff([self = QPointer<ProjectController>(this)](const QString &engineID) {
        return self && self->namesEngineFolder(engineID) && !self->namesEngineFolder(engineID, true);
    });
}

bool ProjectController::isAllPaused() const
{
    return m_engine.runPolicy().allPaused();
}

std::optional<Project> ProjectController::project(const QString &id) const
{
    for (const Project &candidate : m_projects)
        if (candidate.id == id)
            return candidate;
    return std::nullopt;
}

std::optional<ProjectFolder> ProjectController::folderOf(const QString &projectID, const QString &folderID) const
{
    const std::optional<Project> found = project(projectID);
    for (const ProjectFolder &folder : found ? found->folders : QList<ProjectFolder>())
        if (folder.id == folderID)
            return folder;
    return std::nullopt;
}

// A file that is there but cannot be read is moved aside like an undecodable
// one: treating it as missing would let the next save replace the syncs.
void ProjectController::load()
{
    QFile file(m_storePath);
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        moveAside(m_storePath);
        return;
    }
    const QByteArray body = file.readAll();
    file.close();
    try {
        setProjects(Project::listFromFile(body, m_clock()));
    } catch (const JsonDecodeError &) {
        moveAside(m_storePath);
    }
}

void ProjectController::moveAside(const QString &path)
{
    const QString backup = path + QStringLiteral(".corrupt-") + QString::number(m_clock().toSecsSinceEpoch());
    if (!QFile::rename(path, backup)) {
        m_saveBlocked = true;
        setLastErrorMessage(QStringLiteral("Your syncs file couldn\u2019t be read and was left as it is \u2014 "
                                           "changes to your syncs won\u2019t be saved until it can be read."));
        return;
    }
    setLastErrorMessage(QStringLiteral("Your syncs file was corrupted \u2014 backed up as ") +
                        QFileInfo(backup).fileName() + QStringLiteral(". Starting fresh."));
}

bool ProjectController::save()
{
    if (m_saveBlocked)
        return false;
    QSaveFile file(m_storePath);
    if (file.open(QIODevice::WriteOnly) && file.write(Project::listToFile(m_projects)) >= 0 && file.commit())
        return true;
    setLastErrorMessage(QStringLiteral("Could not save your syncs: ") + file.errorString());
    return false;
}

void ProjectController::setProjects(QList<Project> projects)
{
    assignIfChanged(m_projects, std::move(projects), this, &ProjectController::projectsChanged);
}

bool ProjectController::editProject(const QString &id, const std::function<void(Project &)> &edit)
{
    QList<Project> projects = m_projects;
    for (Project &candidate : projects) {
        if (candidate.id != id)
            continue;
        edit(candidate);
        setProjects(std::move(projects));
        return true;
    }
    return false;
}

bool ProjectController::editFolder(const QString &projectID, const QString &folderID,
                                   const std::function<void(ProjectFolder &)> &edit)
{
    bool found = false;
    editProject(projectID, [&](Project &project) {
        for (ProjectFolder &folder : project.folders)
            if (!found && folder.id == folderID) {
                edit(folder);
                found = true;
            }
    });
    return found;
}

void ProjectController::setLastErrorMessage(std::optional<QString> text)
{
    assignIfChanged(m_lastErrorMessage, std::move(text), this, &ProjectController::lastErrorMessageChanged);
}

void ProjectController::setLastReconcileSummary(std::optional<QString> text)
{
    assignIfChanged(m_lastReconcileSummary, std::move(text), this,
                    &ProjectController::lastReconcileSummaryChanged);
}

void ProjectController::setDefaultIgnores(QStringList patterns)
{
    assignIfChanged(m_defaultIgnores, std::move(patterns), this, &ProjectController::defaultIgnoresChanged);
}

void ProjectController::setReconciling(bool on)
{
    assignIfChanged(m_isReconciling, on, this, &ProjectController::isReconcilingChanged);
}

void ProjectController::setRerunRequested(bool on)
{
    assignIfChanged(m_rerunRequested, on, this, &ProjectController::rerunRequestedChanged);
}

ProjectMember ProjectController::nodeMember(const NasNode &node)
{
    return {.deviceID = node.deviceID,
            .displayName = node.name,
            .role = MemberRole::Seed,
            .isOwnDevice = false,
            .isAlwaysOnNode = true};
}

NewDeviceRequest ProjectController::nodeDevice(const NasNode &node)
{
    return {.id = node.deviceID,
            .name = node.name,
            .addresses = QStringList{QStringLiteral("dynamic")},
            .introducer = false};
}

QString ProjectController::engineLabel(const QString &syncName, const QString &folderLabel)
{
    return syncName.isEmpty() ? folderLabel : syncName + QStringLiteral(" \u2014 ") + folderLabel;
}

std::optional<NasNode> ProjectController::firstNode() const
{
    if (!m_nasNode || m_nasNode->nodes().isEmpty())
        return std::nullopt;
    return m_nasNode->nodes().first();
}

} // namespace tw

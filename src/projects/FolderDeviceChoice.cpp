#include "projects/FolderDeviceChoice.h"

#include "cluster/ClusterConfigStore.h"
#include "projects/ProjectController.h"

#include <optional>

namespace tw {

namespace {

// Releases the hold on every path out of the choice, a throw included.
class ClusterCellsHold
{
public:
    ClusterCellsHold(QPointer<ProjectController> projects, std::optional<QString> engineFolderID)
        : m_projects(std::move(projects))
        , m_engineFolderID(std::move(engineFolderID))
    {
        if (m_projects && m_engineFolderID)
            m_projects->holdClusterCells(*m_engineFolderID);
    }
    ~ClusterCellsHold()
    {
        if (m_projects && m_engineFolderID)
            m_projects->releaseClusterCells(*m_engineFolderID);
    }
    ClusterCellsHold(const ClusterCellsHold &) = delete;
    ClusterCellsHold &operator=(const ClusterCellsHold &) = delete;

private:
    QPointer<ProjectController> m_projects;
    std::optional<QString> m_engineFolderID;
};

} // namespace

QCoro::Task<void> applyFolderDeviceChoice(QPointer<ProjectController> projects, ClusterStoreSource store,
                                          Clock clock, FolderDeviceChoice choice)
{
    if (!projects)
        co_return;
    const std::optional<ProjectFolder> folder = projects->folderOf(choice.projectID, choice.folderID);
    const ClusterCellsHold hold(projects, folder ? folder->syncthingFolderID : std::nullopt);
    const bool excluded = choice.state == CellState::Excluded;
    const bool paused = choice.state == CellState::Paused;
    const std::optional<QString> engineID =
        co_await projects->setFolderDeviceState(choice.projectID, choice.folderID, choice.deviceID, excluded, paused);
    if (!engineID)
        co_return;
    ClusterConfigStore *const record = store ? store() : nullptr;
    if (!record)
        co_return;
    record->recordEdit(*engineID, choice.deviceID, choice.state, clock().toUTC().toString(Qt::ISODate));
}

} // namespace tw

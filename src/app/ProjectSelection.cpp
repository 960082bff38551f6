#include "app/ProjectSelection.h"

namespace tw {

ProjectSelection ProjectSelection::tapped(Inspecting kind, const QString &itemID) const
{
    if (inspecting == kind && id == itemID)
        return {};
    return {kind, itemID, FolderPanel::Overview};
}

ProjectSelection ProjectSelection::opened(FolderPanel next) const
{
    ProjectSelection moved = *this;
    moved.panel = next;
    return moved;
}

bool ProjectSelection::expanded(bool alwaysShowTechnicalDetails) const
{
    switch (inspecting) {
    case Inspecting::Folder:
        return panel != FolderPanel::Overview;
    case Inspecting::Device:
        return alwaysShowTechnicalDetails;
    case Inspecting::None:
        break;
    }
    return false;
}

} // namespace tw

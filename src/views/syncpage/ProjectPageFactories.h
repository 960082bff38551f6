#pragma once

#include "app/ProjectSelection.h"
#include "views/shell/FolderPicker.h"

#include <QString>
#include <functional>

class QDialog;
class QWidget;

namespace tw {

class AppEnvironment;

// A card or chip of the sync page as the page drives it: the widget, how to
// bring it up to date and how to mark it selected.
struct ProjectPageItem
{
    QWidget *widget = nullptr;
    std::function<void()> refresh;
    std::function<void(bool selected)> setSelected;
    // Shown below the scrolled inspector, in view whatever its height: its actions.
    QWidget *foot = nullptr;
};

// How the sync page makes the parts that live in views of their own: Mac
// cards, folder chips, the two inspectors and the invite sheet. Each holds
// IDs and looks its sync, folder or Mac up again on refresh.
// standard() makes the application's own; placeholders() stands in with
// plain widgets (no invite sheet) for tests of the page alone.
struct ProjectPageFactories
{
    using OnClick = std::function<void()>;
    using OnPanel = std::function<void(ProjectSelection::FolderPanel)>;

    std::function<ProjectPageItem(AppEnvironment &, QString projectID, QString deviceID, QWidget *parent, OnClick)>
        deviceCard;
    std::function<ProjectPageItem(AppEnvironment &, QString projectID, QString folderID, QWidget *parent, OnClick)>
        folderChip;
    // The callback opens the panel the inspector asks for.
    std::function<ProjectPageItem(AppEnvironment &, QString projectID, QString folderID, QWidget *parent, OnPanel)>
        folderInspector;
    std::function<ProjectPageItem(AppEnvironment &, QString projectID, QString deviceID, QWidget *parent)>
        deviceInspector;
    // nullptr: nothing opens.
    std::function<QDialog *(AppEnvironment &, QString projectID, QWidget *parent)> inviteSheet;
    // The chooser behind "Add folder"; the shell passes its own, which a test
    // may have replaced.
    std::function<QCoro::Task<std::optional<QString>>(QWidget *parent)> folderPicker = &FolderPicker::pickFolder;

    static ProjectPageFactories standard();
    static ProjectPageFactories placeholders();
};

} // namespace tw

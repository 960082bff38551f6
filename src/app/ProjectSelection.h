#pragma once

#include <QString>

namespace tw {

// What a sync page's inspector area shows and which folder panel is open,
// and how the user's actions move it. Pure, so the page holds no rules.
struct ProjectSelection
{
    // What is inspected: a folder (its ProjectFolder ID), a Mac (its engine
    // device ID) or nothing.
    enum class Inspecting { Folder, Device, None };
    // The folder panel open for the selected folder; Overview: none.
    enum class FolderPanel { Overview, Settings, Omit, Archive, Purge };

    Inspecting inspecting = Inspecting::None;
    QString id = {};
    FolderPanel panel = FolderPanel::Overview;

    bool operator==(const ProjectSelection &) const = default;

    static ProjectSelection folder(const QString &id, FolderPanel panel = FolderPanel::Overview)
    {
        return {Inspecting::Folder, id, panel};
    }
    static ProjectSelection device(const QString &id) { return {Inspecting::Device, id, FolderPanel::Overview}; }

    // A tap on a Mac card or a folder chip: the same item again selects
    // nothing; any tap closes the open panel.
    ProjectSelection tapped(Inspecting kind, const QString &itemID) const;
    // A folder inspector's callback opens its panel; the selection stays.
    ProjectSelection opened(FolderPanel next) const;
    // Back, or a panel's end.
    ProjectSelection back() const { return opened(FolderPanel::Overview); }
    // A folder added from the page is selected, its inspector shown.
    static ProjectSelection added(const QString &folderID) { return folder(folderID); }

    // Whether the inspector area takes its tall height.
    bool expanded(bool alwaysShowTechnicalDetails) const;
};

} // namespace tw

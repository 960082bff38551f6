#include "views/syncpage/ProjectPageFactories.h"

#include "views/joining/InviteSheet.h"
#include "views/kit/PlainLabel.h"
#include "views/syncpage/DeviceCard.h"
#include "views/syncpage/DeviceInspector.h"
#include "views/syncpage/FolderChip.h"
#include "views/syncpage/FolderInspector.h"

#include <QDialog>
#include <QLabel>

namespace tw {

namespace {

ProjectPageItem placeholder(const QString &name, const QString &id, QWidget *parent)
{
    auto *label = plainLabel(id, parent);
    label->setObjectName(name);
    label->setProperty("itemID", id);
    return {label, [] {}, [](bool) {}};
}

// A card or chip: clicked, refreshed and selected the same way.
template <typename Item>
ProjectPageItem clickable(Item *item, ProjectPageFactories::OnClick onClick)
{
    QObject::connect(item, &Item::clicked, item, std::move(onClick));
    return {item, [item] { item->refresh(); }, [item](bool selected) { item->setSelected(selected); }};
}

template <typename Item>
ProjectPageItem inspector(Item *item)
{
    return {item, [item] { item->refresh(); }, [](bool) {}};
}

} // namespace

ProjectPageFactories ProjectPageFactories::standard()
{
    using Panel = ProjectSelection::FolderPanel;
    ProjectPageFactories made;
    made.deviceCard = [](AppEnvironment &env, QString projectID, QString id, QWidget *parent, OnClick onClick) {
        return clickable(new DeviceCard(env, std::move(projectID), std::move(id), parent), std::move(onClick));
    };
    made.folderChip = [](AppEnvironment &env, QString projectID, QString id, QWidget *parent, OnClick onClick) {
        return clickable(new FolderChip(env, std::move(projectID), std::move(id), parent), std::move(onClick));
    };
    made.folderInspector = [](AppEnvironment &env, QString projectID, QString id, QWidget *parent, OnPanel open) {
        auto *made = new FolderInspector(env, std::move(projectID), std::move(id), parent);
        QObject::connect(made, &FolderInspector::settingsRequested, made, [open] { open(Panel::Settings); });
        QObject::connect(made, &FolderInspector::omitRequested, made, [open] { open(Panel::Omit); });
        QObject::connect(made, &FolderInspector::archiveRequested, made, [open] { open(Panel::Archive); });
        QObject::connect(made, &FolderInspector::purgeRequested, made, [open] { open(Panel::Purge); });
        ProjectPageItem item = inspector(made);
        item.foot = made->actionBar();
        return item;
    };
    made.deviceInspector = [](AppEnvironment &env, QString projectID, QString id, QWidget *parent) {
        return inspector(new DeviceInspector(env, std::move(projectID), std::move(id), parent));
    };
    made.inviteSheet = [](AppEnvironment &env, QString projectID, QWidget *parent) -> QDialog * {
        return new InviteSheet(env, std::move(projectID), parent);
    };
    return made;
}

ProjectPageFactories ProjectPageFactories::placeholders()
{
    ProjectPageFactories made;
    made.deviceCard = [](AppEnvironment &, QString, QString id, QWidget *parent, OnClick) {
        return placeholder(QStringLiteral("deviceCard"), id, parent);
    };
    made.folderChip = [](AppEnvironment &, QString, QString id, QWidget *parent, OnClick) {
        return placeholder(QStringLiteral("folderChip"), id, parent);
    };
    made.folderInspector = [](AppEnvironment &, QString, QString id, QWidget *parent, OnPanel) {
        return placeholder(QStringLiteral("folderInspector"), id, parent);
    };
    made.deviceInspector = [](AppEnvironment &, QString, QString id, QWidget *parent) {
        return placeholder(QStringLiteral("deviceInspector"), id, parent);
    };
    made.inviteSheet = [](AppEnvironment &, QString, QWidget *) -> QDialog * { return nullptr; };
    return made;
}

} // namespace tw

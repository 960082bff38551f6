#include "views/ProjectPageFactories.h"

#include <QDialog>
#include <QLabel>

namespace tw {

namespace {

ProjectPageItem placeholder(const QString &name, const QString &id, QWidget *parent)
{
    auto *label = new QLabel(id, parent);
    label->setObjectName(name);
    label->setProperty("itemID", id);
    return {label, [] {}, [](bool) {}};
}

} // namespace

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

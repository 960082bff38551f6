#pragma once

#include <QString>
#include <QStringList>

namespace tw {

// A folder to have on the always-on node: the label it gets if it must be
// created there, and the member Macs that are to share it.
struct NodeFolderShare
{
    QString label;
    QStringList members;

    bool operator==(const NodeFolderShare &) const = default;
};

} // namespace tw

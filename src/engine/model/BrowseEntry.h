#pragma once

#include <QString>

namespace tw {

struct BrowseEntry
{
    QString name;
    bool isDirectory = false;

    bool operator==(const BrowseEntry &) const = default;
};

} // namespace tw

#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace tw {

// One engine event, reduced to what the event poller reads.
struct SyncEvent
{
    qint64 id = 0;
    QString type;
    std::optional<QString> folder;
    std::optional<QString> device;
    std::optional<double> completion;
    std::optional<qint64> needBytes;
    std::optional<QString> stateTo;
    std::optional<QString> item;
    std::optional<QString> itemType;
    std::optional<QString> action;
    std::optional<bool> connected;
    std::optional<QStringList> remoteFiles;
};

} // namespace tw

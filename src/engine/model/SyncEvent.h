#pragma once

#include "engine/model/FolderState.h"
#include "engine/model/FolderStatus.h"

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
    std::optional<bool> takesPart;  // of a completion: as in PeerCompletion
    std::optional<qint64> indexSequence;  // of a completion: as in PeerCompletion
    std::optional<FolderState> fromState;
    std::optional<FolderState> toState;
    QString toStateWord;  // the engine's own word for toState
    // A folder's status as the engine summarised it, without being asked.
    std::optional<FolderStatus> summary;
    std::optional<QString> item;
    std::optional<QString> itemType;
    std::optional<QString> action;
    std::optional<bool> connected;
    std::optional<QStringList> remoteFiles;
    // When the engine logged it, in milliseconds since 1970 by this
    // computer's clock (the engine runs here): the same clock as file times.
    std::optional<qint64> loggedAtMs;
    // An event of a type the controllers act on whose payload lacks what they
    // read: whatever it reported is lost, so the stream has a gap.
    bool undecodable = false;
};

} // namespace tw

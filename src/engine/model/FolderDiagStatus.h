#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace tw {

// One folder's status as Macs exchange it on the local network.
struct FolderDiagStatus
{
    QString folderID;
    QString label;
    QString state;  // the engine's own word, unmapped
    qint64 localBytes = 0;
    qint64 globalBytes = 0;
    qint64 needBytes = 0;
    qint64 needItems = 0;

    bool operator==(const FolderDiagStatus &) const = default;

    static QByteArray encodeList(const QList<FolderDiagStatus> &list);
    // Every key is required; one bad element makes the whole array unreadable.
    // Negative counts are read as 0.
    static std::optional<QList<FolderDiagStatus>> decodeList(const QByteArray &json);
};

} // namespace tw

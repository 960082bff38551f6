#pragma once

#include "engine/syncthing/rest/RestTransport.h"
#include "engine/syncthing/rest/STBrowseEntry.h"
#include "engine/syncthing/rest/STCompletion.h"
#include "engine/syncthing/rest/STConnectionsResponse.h"
#include "engine/syncthing/rest/STDeviceRead.h"
#include "engine/syncthing/rest/STDeviceWrite.h"
#include "engine/syncthing/rest/STFolderRead.h"
#include "engine/syncthing/rest/STFolderStatus.h"
#include "engine/syncthing/rest/STFolderWrite.h"
#include "engine/syncthing/rest/STNeedResponse.h"
#include "engine/syncthing/rest/STOptions.h"
#include "engine/syncthing/rest/STPendingDevice.h"
#include "engine/syncthing/rest/STPendingFolder.h"
#include "engine/syncthing/rest/STSystemStatus.h"
#include "engine/syncthing/rest/STVersion.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <qcoro/qcorotask.h>
#include <optional>

namespace tw {

// The client of Syncthing's REST interface: one member per endpoint, each
// performing exactly one request through the transport's rules.
class SyncthingAPI : public RestTransport
{
public:
    using RestTransport::RestTransport;

    QCoro::Task<STSystemStatus> systemStatus() const;

    QCoro::Task<QList<STFolderRead>> getFolders() const;
    QCoro::Task<> putFolder(STFolderWrite folder) const;
    QCoro::Task<> patchFolder(QString id, QJsonObject json) const;
    QCoro::Task<> deleteFolder(QString id) const;

    QCoro::Task<QList<STDeviceRead>> getDevices() const;
    QCoro::Task<> putDevice(STDeviceWrite device) const;
    QCoro::Task<> patchDevice(QString id, QJsonObject json) const;

    QCoro::Task<STOptions> getOptions() const;
    QCoro::Task<> patchOptions(QJsonObject json) const;

    // An empty folder ID asks for every folder.
    // Every folder when folder is empty; only the items paths names, when given.
    QCoro::Task<> scan(QString folder, QStringList paths = {}) const;
    QCoro::Task<STFolderStatus> folderStatus(QString id) const;
    QCoro::Task<STCompletion> completion(QString folder, QString device) const;
    QCoro::Task<STNeedResponse> need(QString folder) const;
    // An empty prefix sends no "prefix" item.
    QCoro::Task<QList<STBrowseEntry>> browse(QString folder, QString prefix) const;
    // Answers an empty list, never a decoding failure, when the body has no
    // readable "ignore" list; HTTP and transport failures still fail.
    QCoro::Task<QStringList> getIgnores(QString folder) const;
    // Syncthing accepts an invalid pattern with a 2xx answer that carries an
    // "error" text (and then stops the folder): that text, when not empty.
    QCoro::Task<std::optional<QString>> setIgnores(QString folder, QStringList patterns) const;

    QCoro::Task<STConnectionsResponse> connections() const;
    // The raw body of the events long poll; "limit" is sent only when given.
    // The poll is aborted once cancelScope (when given) is destroyed. Given
    // types (comma-separated), only events of those types, else Syncthing's
    // default set. stream "/disk" reads the changes found on disk.
    QCoro::Task<QByteArray> eventsRaw(qint64 since, int timeout, std::optional<int> limit,
                                      QPointer<QObject> cancelScope = nullptr, QString types = {},
                                      QString stream = {}) const;

    QCoro::Task<QMap<QString, STPendingDevice>> pendingDevices() const;
    QCoro::Task<QMap<QString, STPendingFolder>> pendingFolders() const;
    QCoro::Task<> dismissPendingDevice(QString id) const;
    QCoro::Task<> dismissPendingFolder(QString folderID, QString device) const;

    QCoro::Task<QMap<QString, QList<STVersion>>> folderVersions(QString folder) const;
    // mapping: file path (relative to the folder) to the version time to
    // restore. Syncthing answers 2xx also when it restored nothing: the result
    // maps each path it could not restore to its error text.
    QCoro::Task<QMap<QString, QString>> restoreVersions(QString folder, QMap<QString, QString> mapping) const;

    // GET of any path read loosely: a body that is not a JSON object gives an
    // empty object; HTTP and transport failures still fail.
    QCoro::Task<QJsonObject> rawDict(QString path, QueryItems query) const;
    // "<when>  <message>" per entry of Syncthing's log, in the server's order.
    QCoro::Task<QStringList> systemLogLines() const;

    // The liveness probe: any 2xx answer to GET /rest/system/ping.
    QCoro::Task<> ping() const;
};

} // namespace tw

#pragma once

#include "engine/model/ClusterNeed.h"
#include "engine/model/FolderStatus.h"
#include "engine/model/SyncFolder.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <exception>
#include <optional>

#include <qcoro/qcorotask.h>

namespace tw {

class SyncEngine;

using FolderStatusMap = QMap<QString, FolderStatus>;
using ClusterNeedMap = QMap<QString, ClusterNeed>;
using FolderTextMap = QMap<QString, QString>;

// The live mirror of the engine's folders: the folders the user may see (the
// hidden team-configuration folder left out), their last known statuses, the
// error texts of folders in error, what connected peers still need and the
// item each syncing folder is transferring. Main thread only; no operation
// throws, and nothing runs unless a caller awaits an operation.
class FolderController : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QList<tw::SyncFolder> folders READ folders NOTIFY foldersChanged)
    Q_PROPERTY(tw::FolderStatusMap statuses READ statuses NOTIFY statusesChanged)
    Q_PROPERTY(tw::ClusterNeedMap clusterNeeds READ clusterNeeds NOTIFY clusterNeedsChanged)
    Q_PROPERTY(tw::FolderTextMap transferring READ transferring NOTIFY transferringChanged)
    Q_PROPERTY(tw::FolderTextMap folderErrors READ folderErrors NOTIFY folderErrorsChanged)
    Q_PROPERTY(std::optional<QString> lastErrorMessage READ lastErrorMessage NOTIFY lastErrorMessageChanged)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)

public:
    // Folders whose ID begins with this carry the team configuration and are
    // never shown.
    static inline const QString hiddenFolderPrefix = QStringLiteral("tdw-cluster-");

    explicit FolderController(SyncEngine &engine, QObject *parent = nullptr);

    const QList<SyncFolder> &folders() const { return m_folders; }
    const FolderStatusMap &statuses() const { return m_statuses; }
    const ClusterNeedMap &clusterNeeds() const { return m_clusterNeeds; }
    const FolderTextMap &transferring() const { return m_transferring; }
    const FolderTextMap &folderErrors() const { return m_folderErrors; }
    const std::optional<QString> &lastErrorMessage() const { return m_lastErrorMessage; }
    bool isLoading() const { return m_isLoading; }

    // The stored status, or an unknown one with all numbers 0.
    FolderStatus status(const QString &folderID) const;

    // Full reload: the folder list, then everything refreshStatuses() does.
    QCoro::Task<void> refresh();
    // The polling loop's light reload: the list (kept when unchanged or when
    // the engine fails), then refreshStatuses().
    QCoro::Task<void> syncFolderList();
    // Statuses, error texts, cluster needs and transfer names of the listed
    // folders.
    QCoro::Task<void> refreshStatuses();
    // Deletes the engine's archive directory inside a listed folder.
    QCoro::Task<void> emptyArchive(QString folderID);

    void setError(const std::exception &error);

    static bool isHidden(const QString &folderID);

signals:
    void foldersChanged();
    void statusesChanged();
    void clusterNeedsChanged();
    void transferringChanged();
    void folderErrorsChanged();
    void lastErrorMessageChanged();
    void isLoadingChanged();

private:
    bool isListed(const QString &folderID) const;
    QCoro::Task<void> refreshFolderErrors();
    QCoro::Task<void> refreshTransferring();

    void setFolders(QList<SyncFolder> folders);
    void setClusterNeeds(ClusterNeedMap needs);
    void setFolderErrors(FolderTextMap errors);
    void setLastErrorMessage(std::optional<QString> message);
    void setLoading(bool loading);

    SyncEngine &m_engine;
    QList<SyncFolder> m_folders;
    FolderStatusMap m_statuses;
    ClusterNeedMap m_clusterNeeds;
    FolderTextMap m_transferring;
    FolderTextMap m_folderErrors;
    std::optional<QString> m_lastErrorMessage;
    bool m_isLoading = false;
};

} // namespace tw

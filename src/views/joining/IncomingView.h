#pragma once

#include "engine/model/PendingFolder.h"
#include "views/joining/AcceptFolderSheet.h"
#include "views/kit/RefreshingView.h"

#include <QPointer>
#include <optional>
#include <qcoro/qcorotask.h>

class QLabel;

namespace tw {

class AppEnvironment;
class IncomingDeviceRow;
class IncomingOfferRow;
class ProjectController;
class SyncEngine;
template <typename Child>
class KeyedList;

// What other devices offer this Mac: folders grouped by the sync they belong
// to, each placed through the placing sheet or ignored, and devices asking
// to connect, accepted or ignored. Rows are keyed, so a poll that brings
// equal lists leaves every row widget as it is.
class IncomingView : public RefreshingView
{
    Q_OBJECT

public:
    explicit IncomingView(AppEnvironment &env, AcceptFolderSheet::PickFolder pickFolder = {},
                          QWidget *parent = nullptr);
    ~IncomingView() override;

    // The offer whose placing sheet is open.
    const std::optional<PendingFolder> &acceptingFolder() const { return m_acceptingFolder; }
    AcceptFolderSheet *acceptSheet() const { return m_sheet; }

    // The rows' actions, by the offer's identity ("<folder ID>|<device ID>")
    // or the device's ID, each looked up in the current lists.
    void placeFolder(const QString &offerIdentity);
    void ignoreFolder(const QString &folderID);
    void acceptDevice(const QString &deviceID);
    void ignoreDevice(const QString &deviceID);

protected:
    void refreshContents() override;

private:
    static QCoro::Task<void> addDevice(QPointer<ProjectController> projects, QPointer<SyncEngine> engine,
                                       QString id, QString name);
    static QCoro::Task<void> dismissDevice(QPointer<ProjectController> projects, QPointer<SyncEngine> engine,
                                           QString id);

    AppEnvironment &m_env;
    const AcceptFolderSheet::PickFolder m_pickFolder;
    std::optional<PendingFolder> m_acceptingFolder;
    QPointer<AcceptFolderSheet> m_sheet;
    QWidget *m_empty = nullptr;
    QWidget *m_foldersSection = nullptr;
    QWidget *m_devicesSection = nullptr;
    KeyedList<IncomingOfferRow> *m_groups = nullptr;
    KeyedList<IncomingDeviceRow> *m_devices = nullptr;
};

} // namespace tw

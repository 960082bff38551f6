#pragma once

#include "projects/Project.h"
#include "views/kit/KeyedList.h"
#include "views/kit/RefreshingView.h"

#include <QList>
#include <QPair>
#include <QPointer>
#include <QStringList>

class QLabel;
class QMenu;
class QPushButton;
class QStackedWidget;
class QToolButton;
class QVBoxLayout;

namespace tw {

class AppEnvironment;
class DisclosureGroup;
class ElidedLabel;
class RenameSheet;
class StatusBubble;

// One Mac of a sync, under the sync's page: how it is connected, how each
// folder stands on it and, for a connected teammate, the connection's
// details; pausing, renaming and removing it, and on this Mac's own
// inspector a rescan of the sync's folders. The page refreshes it.
class DeviceInspector : public RefreshingView
{
    Q_OBJECT

public:
    static inline const QString foldersTitle = QStringLiteral("FOLDERS ON THIS MAC");
    static inline const QString noFoldersText = QStringLiteral("No folders in this sync yet.");
    static inline const QString renameItem = QStringLiteral("Rename\u2026");
    static inline const QString nodeItem = QStringLiteral("Always-on node \u2014 manage in Settings \u2192 Team");
    static inline const QString removeItem = QStringLiteral("Remove from sync\u2026");
    static inline const QString detailsTitle = QStringLiteral("TECHNICAL DETAILS");
    static inline const QString detailsToggle = QStringLiteral("Technical details");
    static inline const QString rescanText = QStringLiteral("Retry / rescan");
    static inline const QString removeMacAction = QStringLiteral("Remove Mac");
    static inline const QString removeMessage = QStringLiteral(
        "Stops syncing with this Mac. Files already synced are kept on both Macs \u2014 nothing is deleted from disk.");
    static QString removeTitle(const QString &name);

    DeviceInspector(AppEnvironment &env, QString projectID, QString deviceID, QWidget *parent = nullptr);

    QMenu *moreMenu() const { return m_menu; }
    // Opens the rename sheet over the inspector.
    RenameSheet *openRename();
    // Asks before removing the Mac from the sync.
    void confirmRemove();

protected:
    void refreshContents() override;

private:
    QWidget *makeHeader();
    void rebuildMenu(bool isThisMac, bool isNode);
    QWidget *makeFolderRow();
    void refreshFolders(const Project &project, bool isThisMac, int peerCount);
    void refreshDetails(const QList<QPair<QString, QString>> &rows);
    void togglePause();
    void rescan();

    AppEnvironment &m_env;
    QString m_projectID;
    QString m_deviceID;
    QString m_name;
    bool m_isThisMac = false;
    std::optional<bool> m_menuFor;  // the node flag the menu was built for
    bool m_paused = false;

    QLabel *m_symbol = nullptr;
    ElidedLabel *m_nameLabel = nullptr;
    ElidedLabel *m_line = nullptr;
    QPushButton *m_pause = nullptr;
    QToolButton *m_more = nullptr;
    QMenu *m_menu = nullptr;
    QWidget *m_folderBox = nullptr;
    KeyedList<QWidget> *m_folderRows = nullptr;
    QLabel *m_noFolders = nullptr;
    QWidget *m_details = nullptr;
    QStackedWidget *m_detailsStack = nullptr;
    QVBoxLayout *m_alwaysRows = nullptr;
    DisclosureGroup *m_disclosure = nullptr;
    QList<QPair<QString, QString>> m_shownRows;
    QPushButton *m_rescan = nullptr;
};

} // namespace tw

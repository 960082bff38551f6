#pragma once

#include "cluster/CellState.h"
#include "views/kit/KeyedList.h"
#include "views/kit/RefreshingView.h"
#include "views/syncpage/CapsuleChip.h"

#include <QDBusConnection>
#include <QHash>
#include <QPointer>
#include <QStringList>
#include <optional>
#include <qcoro/qcorotask.h>

class QBoxLayout;
class QLabel;
class QToolButton;

namespace tw {

class AppEnvironment;
class ElidedLabel;
class FileIcon;
class FlowLayout;
class StatusBubble;
struct ProjectDeviceRef;
struct ProjectFolder;

// How one folder of a sync stands, under the sync's page: its state here,
// room on this Mac's drive, the file being received, its state on every Mac
// (each teammate's receive / pause / exclude chosen here and carried to the
// team) and its ignore patterns; and its actions. The page refreshes it.
class FolderInspector : public RefreshingView
{
    Q_OBJECT

public:
    static inline const QString receiveOnlyText = QStringLiteral("\u2193 Receive-only");
    static inline const QString statusPerMacTitle = QStringLiteral("STATUS PER MAC");
    static inline const QString ignoresTitle = QStringLiteral("DON'T SYNC THESE");
    static inline const QString everythingSyncsText = QStringLiteral("Everything here syncs");
    static inline const QString hiddenFilesText = QStringLiteral("Hidden files");
    static inline const QString moreSuffix = QStringLiteral(" more");
    static inline const QString excludedHelp =
        QStringLiteral("Excluded \u2014 doesn't receive this folder (existing files kept)");
    static inline const QString pausedHelp = QStringLiteral("Paused for this folder");
    static inline const QString receivesItem = QStringLiteral("Receives this folder");
    static inline const QString pauseItem = QStringLiteral("Pause for this folder");
    static inline const QString excludeItem = QStringLiteral("Exclude from this folder");
    static inline const QString showInFileManager = QStringLiteral("Show in file manager");
    static inline const QString removeFolderAction = QStringLiteral("Remove folder");
    static inline const QString removeMessage =
        QStringLiteral("Stops syncing this folder. The files on this Mac (and on your teammates\u2019 Macs) are kept "
                       "\u2014 nothing is deleted from disk.");
    // Said where the folder's drive keeps no extended attributes: its files
    // sync, these do not.
    static inline const QString xattrNoteText =
        QStringLiteral("This drive can\u2019t keep tags, creation dates or folder dates, so they don\u2019t travel "
                       "for this folder.");
    static constexpr int shownPatterns = 8;

    // "Not enough disk space here — needs <need>, but only <free> free on this Mac. …"
    static QString diskNoteText(qint64 need, qint64 free);
    // "Receiving “<name>” — big files appear in the file manager only once complete."
    static QString transferText(const QString &name);
    static QString removeTitle(const QString &label);

    FolderInspector(AppEnvironment &env, QString projectID, QString folderID, QWidget *parent = nullptr);

    QString folderID() const { return m_folderID; }
    // Shows another folder of the sync: its patterns load and collapse again.
    void setFolderID(QString folderID);
    // The bus the reveal asks a file manager on (the session bus by default).
    void setRevealConnection(QDBusConnection connection) { m_revealBus = std::move(connection); }
    const QStringList &ignores() const { return m_ignores; }
    // The divider and the action buttons, at the inspector's foot until a
    // page that scrolls the inspector puts them below what scrolls.
    QWidget *actionBar() const { return m_actionBar; }

signals:
    void settingsRequested();
    void omitRequested();
    void archiveRequested();
    void purgeRequested();

protected:
    void refreshContents() override;
    void showEvent(QShowEvent *event) override;

private:
    QWidget *makeHeader();
    QWidget *makeTiles();
    QWidget *makeActions();
    QToolButton *actionButton(const char *name, const QString &text, Symbol symbol);
    CapsuleChip *makeDeviceChip(const QString &deviceID);
    void refreshDeviceChips(const ProjectFolder &folder, const QList<ProjectDeviceRef> &macs);
    void refreshDeviceChip(CapsuleChip &chip, const ProjectFolder &folder, const ProjectDeviceRef &mac, int peers);
    void refreshIgnoreTile();
    void loadIgnores();
    void choose(const QString &deviceID, CellState state);
    void toggleSync();
    void reveal();
    void confirmRemove();
    static QCoro::Task<void> loadIgnoresTask(QPointer<FolderInspector> self, quint64 generation,
                                             std::optional<QString> engineID, QStringList stored);

    AppEnvironment &m_env;
    QString m_projectID;
    QString m_folderID;
    QDBusConnection m_revealBus;
    QStringList m_ignores;
    bool m_showAllOmits = false;
    quint64 m_loadGeneration = 0;
    std::optional<std::pair<QStringList, bool>> m_shownPatterns;
    // Whether each Mac's chip may be edited, as of the last refresh.
    QHash<QString, bool> m_editable;

    FileIcon *m_icon = nullptr;
    ElidedLabel *m_label = nullptr;
    ElidedLabel *m_path = nullptr;
    QLabel *m_receiveOnly = nullptr;
    QWidget *m_receiveOnlyBadge = nullptr;
    StatusBubble *m_bubble = nullptr;
    QLabel *m_status = nullptr;
    QWidget *m_diskNote = nullptr;
    QLabel *m_diskText = nullptr;
    QLabel *m_xattrNote = nullptr;
    QWidget *m_transferRow = nullptr;
    QWidget *m_actionBar = nullptr;
    ElidedLabel *m_transfer = nullptr;
    KeyedList<CapsuleChip> *m_deviceChips = nullptr;
    QWidget *m_everythingSyncs = nullptr;
    QWidget *m_patternBox = nullptr;
    FlowLayout *m_patterns = nullptr;
    QToolButton *m_ignore = nullptr;
    QToolButton *m_archive = nullptr;
    QToolButton *m_pause = nullptr;
    QToolButton *m_purge = nullptr;
};

} // namespace tw

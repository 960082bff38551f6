#pragma once

#include "app/ProjectSelection.h"
#include "projects/Project.h"
#include "views/kit/KeyedList.h"
#include "views/kit/RefreshingView.h"
#include "views/syncpage/ProjectPageFactories.h"

#include <QHash>
#include <QMessageBox>
#include <QPointer>
#include <optional>
#include <qcoro/qcorotask.h>

class QAction;
class QLabel;
class QMenu;
class QMimeData;
class QPropertyAnimation;
class QStackedWidget;
class QToolButton;

namespace tw {

class AdaptiveGrid;
class AppEnvironment;
class ElidedLabel;
class EngineController;
class ErrorBanner;
class FolderController;
class NavigationPath;
class ProjectController;

// The page of one sync: its Macs as cards, its folders as chips, and below
// them an inspector area for the selected folder or Mac, or one of the
// folder panels. Its toolbar switches syncs, invites, pauses everything and
// pauses or removes this sync. Folders come from the chooser or are dropped
// on the page. It holds the selection only; everything else is read from the
// controllers on each refresh.
class ProjectView : public RefreshingView
{
    Q_OBJECT

public:
    static const QString notFoundText;
    static const QString macsHeader;
    static const QString foldersHeader;
    static const QString foldersSubtitle;
    static const QString inviteHelp;
    static const QString addFolderHelp;
    static const QString noFoldersText;
    static const QString hintText;
    static const QString inviteText;
    static const QString pauseText;
    static const QString resumeText;
    static const QString moreText;
    static const QString pauseSyncText;
    static const QString resumeSyncText;
    static const QString removeSyncText;
    static const QString removeTitle;  // %1: the sync's name
    static const QString removeMessage;
    static const QString removeAction;
    static const QString settingsTitle;
    static const QString omitTitle;
    static const QString archiveTitle;
    static const QString purgeTitle;
    static constexpr int inspectorHeight = 270;
    static constexpr int expandedInspectorHeight = 460;
    static constexpr int animationMs = 220;
    // The widest the sync switcher draws a name.
    static constexpr int switcherNameWidth = 240;

    ProjectView(AppEnvironment &env, NavigationPath &path, QString projectID,
                ProjectPageFactories factories = ProjectPageFactories::placeholders(), QWidget *parent = nullptr);

    const QString &projectID() const { return m_projectID; }
    const ProjectSelection &selection() const { return m_selection; }
    bool isNotFound() const { return m_notFound; }
    // Animations end at once; for tests.
    void setAnimated(bool animated) { m_animated = animated; }

    QWidget *inspectorArea() const { return m_inspectorArea; }
    QWidget *inspectorContent() const { return m_inspectorContent; }
    ElidedLabel *panelTitle() const { return m_panelTitle; }
    QLabel *noFoldersLabel() const { return m_noFolders; }
    ErrorBanner *errorBanner() const { return m_banner; }
    QMenu *switcherMenu() const { return m_switcherMenu; }
    QAction *pauseAllAction() const { return m_pauseAll; }
    QAction *pauseSyncAction() const { return m_pauseSync; }
    QAction *removeSyncAction() const { return m_removeSync; }
    QAction *inviteAction() const { return m_invite; }
    QMessageBox *removalBox() const { return m_removal; }
    QStringList deviceIDs() const { return m_devices ? m_devices->ids() : QStringList(); }
    QStringList folderIDs() const { return m_folders ? m_folders->ids() : QStringList(); }

    // The user's actions, as the widgets call them.
    void tapDevice(const QString &deviceID);
    void tapFolder(const QString &folderID);
    void openPanel(ProjectSelection::FolderPanel panel);
    void addFolderWithPicker();
    void addFolderAt(const QString &path);
    void switchTo(const QString &projectID);
    // Adds every local directory of a drop, each in its own task; files and
    // other items are skipped. Which are directories is asked off the main
    // thread: a drop may come from a network mount. Whether anything was
    // offered.
    bool handleDrop(const QMimeData &mime);
    void confirmRemoval();

protected:
    void refreshContents() override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void buildNotFound();
    void buildPage();
    QWidget *header(const QString &title, const QString &subtitle, const QString &help, std::function<void()> action);
    void refreshToolbar(const Project &project);
    void refreshSwitcher();
    void refreshLists(const Project &project);
    void select(ProjectSelection next);
    void showInspector();
    void updateInspectorHeight();
    QWidget *makePanel(const ProjectFolder &folder);
    static QWidget *withFoot(QWidget *scrolled, QWidget *foot);
    QWidget *panelHost(const ProjectFolder &folder);
    void removeConfirmed();
    void openInvite();

    static QCoro::Task<void> pauseEverything(QPointer<EngineController> engine, QPointer<FolderController> folders);
    static QCoro::Task<void> pauseSync(QPointer<ProjectController> projects, QPointer<FolderController> folders,
                                       QString projectID, bool paused);
    static QCoro::Task<void> addFolder(QPointer<ProjectView> page, QPointer<ProjectController> projects,
                                       QString projectID, QString path);
    static QCoro::Task<void> pickAndAdd(QPointer<ProjectView> page);
    static QCoro::Task<void> addDropped(QPointer<ProjectView> page, QStringList paths);

    AppEnvironment &m_env;
    NavigationPath &m_path;
    QString m_projectID;
    ProjectPageFactories m_factories;
    ProjectSelection m_selection;
    bool m_notFound = false;
    bool m_animated = true;
    bool m_lastTechnical = false;

    QWidget *m_deviceHost = nullptr;
    QWidget *m_folderHost = nullptr;
    KeyedList<QWidget> *m_devices = nullptr;
    KeyedList<QWidget> *m_folders = nullptr;
    QHash<QString, ProjectPageItem> m_deviceItems;
    QHash<QString, ProjectPageItem> m_folderItems;
    QLabel *m_noFolders = nullptr;
    QWidget *m_inspectorArea = nullptr;
    QPointer<QWidget> m_inspectorContent;
    std::optional<ProjectPageItem> m_inspectorItem;
    QString m_inspectorKey;
    ElidedLabel *m_panelTitle = nullptr;
    QPropertyAnimation *m_minAnimation = nullptr;
    QPropertyAnimation *m_maxAnimation = nullptr;
    ErrorBanner *m_banner = nullptr;
    // The folder and device controllers keep their last error until the next
    // one; the failures counted before the page opened belong to another page.
    int m_folderErrorsAtOpen = 0;
    int m_deviceErrorsAtOpen = 0;

    QAction *m_switcher = nullptr;
    QToolButton *m_switcherButton = nullptr;
    QMenu *m_switcherMenu = nullptr;
    QAction *m_invite = nullptr;
    QAction *m_pauseAll = nullptr;
    QAction *m_more = nullptr;
    QAction *m_pauseSync = nullptr;
    QAction *m_removeSync = nullptr;
    QPointer<QMessageBox> m_removal;
};

} // namespace tw

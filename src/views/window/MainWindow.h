#pragma once

#include "projects/ProjectController.h"
#include "views/kit/RefreshingView.h"
#include "views/window/JoinApprovalPrompt.h"
#include "views/window/NavigationPath.h"
#include "views/window/ViewFactories.h"

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QWindow>
#include <optional>
#include <qcoro/qcorotask.h>

class QAction;
class QStackedWidget;
class QToolBar;

namespace tw {

class AppEnvironment;
class AppSignals;
class EngineStatusBar;
class IncomingBanner;

// The content of the application's main window: its toolbar (Back and the
// top page's actions), the incoming banner, the page stack following the
// navigation path, and the status bar. It opens the sheets the application
// opens on its own (welcome, new sync, joining, node set-up, feedback), one
// at a time, a link's first: it replaces the welcome, which comes back only
// when the link's sheet is declined. And the prompt approving a Mac that
// wants to join.
class MainWindow : public RefreshingView
{
    Q_OBJECT

public:
    // The user default telling that the welcome was shown once.
    static const QString didCompleteSetupKey;
    // After the welcome's create, before the new-sync sheet opens.
    static constexpr int newSyncDelayMs = 350;

    MainWindow(AppEnvironment &environment, AppSignals &appSignals, ViewFactories factories,
               QWidget *parent = nullptr);

    NavigationPath &path() { return m_path; }
    QWidget *topPage() const;
    QStackedWidget *stack() const { return m_stack; }
    QToolBar *toolBar() const { return m_toolBar; }
    EngineStatusBar *statusBar() const { return m_statusBar; }
    IncomingBanner *incomingBanner() const { return m_banner; }
    // The window's own sheet open now, and the approval prompt.
    QDialog *openSheet() const { return m_sheet; }
    JoinApprovalPrompt *approvalPrompt() const { return m_prompt; }

protected:
    void refreshContents() override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The window's own sheets, in the order they are given their turn.
    enum class Sheet { None, Welcome, NewProject, Join, NodeSetup, Feedback };
    // How a sheet closed: by its main action, by the user's other ways out,
    // or by the window, for a sheet that comes first.
    enum class Ending { Accepted, Declined, Replaced };
    struct Page
    {
        QString route;  // empty for the root
        QWidget *widget;
    };

    void followPath();
    void showTopTitle();
    void waitForExpose();
    QWidget *makePage(const QString &route);
    void dropPagesFrom(int index);
    void showTopActions();
    void refreshBanner();
    void placeBanner();

    void startWelcomeOnce();
    void updateSheets();
    void updateSheetsLater();
    Sheet nextSheet() const;
    void openSheetOf(Sheet kind);
    void sheetClosed(Sheet kind, Ending ending);
    bool linkSheetIsStale() const;
    bool linkPending() const;

    void updatePrompt();
    void promptClosed(JoinApprovalPrompt *prompt);
    static QCoro::Task<void> approve(QPointer<ProjectController> projects, ProjectController::PendingDeviceApproval request);
    static QCoro::Task<void> decline(QPointer<ProjectController> projects, ProjectController::PendingDeviceApproval request);

    AppEnvironment &m_environment;
    ViewFactories m_factories;
    NavigationPath m_path;
    QToolBar *m_toolBar;
    QAction *m_backAction;
    IncomingBanner *m_banner;
    QStackedWidget *m_stack;
    EngineStatusBar *m_statusBar;
    QList<Page> m_pages;

    bool m_welcomeChecked = false;
    bool m_showWelcome = false;
    bool m_showNewProject = false;
    bool m_showFeedback = false;
    QPointer<QDialog> m_sheet;
    QPointer<QWindow> m_exposeWatched;
    Sheet m_sheetKind = Sheet::None;
    bool m_sheetReplaced = false;
    std::optional<Invite> m_shownInvite;
    std::optional<NodeSetupPayload> m_shownNodeSetup;
    QPointer<JoinApprovalPrompt> m_prompt;
};

} // namespace tw

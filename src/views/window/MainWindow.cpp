#include "views/window/MainWindow.h"

#include "app/AppEnvironment.h"
#include "app/AppSignals.h"
#include "design/FileIconProvider.h"
#include "design/MoveFadeTransition.h"
#include "utilities/Detach.h"
#include "utilities/IsolatedName.h"
#include "utilities/UserDefaults.h"
#include "views/kit/KeyboardFocus.h"
#include "views/kit/OpenOverlay.h"
#include "views/window/EngineStatusBar.h"
#include "views/window/IncomingBanner.h"
#include "views/window/JoinApprovalPrompt.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QStackedWidget>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <utility>

namespace tw {

const QString MainWindow::didCompleteSetupKey = QStringLiteral("didCompleteSetup");

namespace {

const QString kBack = QStringLiteral("Back");
const QString appTitle = QStringLiteral("TidewellMesh");

// A page's own dialog open now, the one furthest down a chain of dialogs,
// so the approval prompt opens over it rather than behind it.
QWidget *innermostDialogOf(const QWidget *window)
{
    QWidget *found = nullptr;
    int foundDepth = 0;
    for (QWidget *candidate : QApplication::topLevelWidgets()) {
        if (!candidate->isVisible() || !qobject_cast<QDialog *>(candidate))
            continue;
        int depth = 0;
        bool within = false;
        for (const QWidget *owner = candidate->parentWidget(); owner; owner = owner->parentWidget()) {
            ++depth;
            within = within || owner == window;
        }
        if (within && depth > foundDepth) {
            found = candidate;
            foundDepth = depth;
        }
    }
    return found;
}

// Whether the dialog was opened over the owner, a widget in it or a dialog
// of those.
bool standsOver(const QWidget &dialog, const QWidget &owner)
{
    for (const QWidget *up = dialog.parentWidget(); up; up = up->parentWidget())
        if (up == &owner)
            return true;
    return false;
}

} // namespace

MainWindow::MainWindow(AppEnvironment &environment, AppSignals &appSignals, ViewFactories factories, QWidget *parent)
    : RefreshingView(parent)
    , m_environment(environment)
    , m_factories(std::move(factories))
    , m_toolBar(new QToolBar)
    , m_backAction(new QAction(QIcon::fromTheme(QStringLiteral("go-previous")), kBack, this))
    , m_banner(new IncomingBanner)
    , m_stack(new QStackedWidget)
    , m_statusBar(new EngineStatusBar(environment))
{
    setObjectName(QStringLiteral("mainWindow"));
    m_toolBar->setObjectName(QStringLiteral("mainToolBar"));
    m_backAction->setObjectName(QStringLiteral("backAction"));
    m_stack->setObjectName(QStringLiteral("pageStack"));
    m_banner->hide();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_toolBar);
    layout->addWidget(m_stack, 1);
    layout->addWidget(m_statusBar);
    // Outside the layout, over the toolbar's free end: a request arriving
    // moves nothing the pointer may be on and covers none of the page.
    m_banner->setParent(this);
    m_stack->installEventFilter(this);
    m_toolBar->installEventFilter(this);
    m_toolBar->setMinimumHeight(m_banner->markedHeight());

    connect(m_backAction, &QAction::triggered, &m_path, &NavigationPath::pop);
    connect(m_banner, &IncomingBanner::clicked, this, [this] { m_path.push(NavigationPath::incomingRoute); });
    connect(&m_path, &NavigationPath::changed, this, &MainWindow::followPath);
    connect(&appSignals, &AppSignals::showFeedbackSheet, this, [this] {
        m_showFeedback = true;
        updateSheets();
    });
    // Icons of folders and volumes may change with any mount.
    connect(&environment, &AppEnvironment::iconCacheStale, this, [] { FileIconProvider::clearCache(); });
    followState(environment);
    followPath();
}

QWidget *MainWindow::topPage() const
{
    return m_pages.isEmpty() ? nullptr : m_pages.last().widget;
}

// Pages ---------------------------------------------------------------------

void MainWindow::followPath()
{
    const QStringList &ids = m_path.ids();
    // m_pages[0] is the root; m_pages[i] shows ids[i - 1].
    qsizetype kept = m_pages.isEmpty() ? 0 : 1;
    while (kept < m_pages.size() && kept - 1 < ids.size() && m_pages[kept].route == ids[kept - 1])
        ++kept;
    dropPagesFrom(int(kept));
    if (m_pages.isEmpty())
        m_pages.append({QString(), makePage(QString())});
    for (qsizetype i = m_pages.size() - 1; i < ids.size(); ++i)
        m_pages.append({ids[i], makePage(ids[i])});
    for (const Page &page : std::as_const(m_pages))
        if (page.widget != topPage())
            closeDialogsLater(page.widget);
    m_stack->setCurrentWidget(topPage());
    showTopActions();
    showTopTitle();
    m_statusBar->setProjectID(m_path.currentProjectID());
    refreshBanner();
}

QWidget *MainWindow::makePage(const QString &route)
{
    QWidget *page = nullptr;
    if (route.isEmpty())
        page = m_factories.projectOverview(m_environment, m_path);
    else if (route == NavigationPath::incomingRoute)
        page = m_factories.incomingView(m_environment);
    else
        page = m_factories.projectView(m_environment, m_path, route);
    if (!page)
        page = new QWidget;
    // The requests take the focus on their first stop, as a part opened in
    // place does, and give it back to the banner or whatever opened them.
    if (route == NavigationPath::incomingRoute)
        KeyboardFocus::openedInPlace(*page, window()->focusWidget());
    page->installEventFilter(this);
    m_stack->addWidget(page);
    return page;
}

void MainWindow::dropPagesFrom(int index)
{
    if (index >= m_pages.size())
        return;
    // The toolbar lets go of the leaving pages' actions first.
    m_toolBar->clear();
    while (m_pages.size() > index) {
        QWidget *page = m_pages.takeLast().widget;
        page->removeEventFilter(this);
        m_stack->removeWidget(page);
        page->hide();
        closeDialogsLater(page);
        deleteWhenNoOverlay(page);
    }
}

// A page's sheet or question is about that page: one a link took the window
// away from would stand over a page it does not belong to. Closed a turn
// later, so a question whose answer left the page ends as answered.
void MainWindow::closeDialogsLater(QWidget *page)
{
    QTimer::singleShot(0, this, [this, page = QPointer<QWidget>(page)] {
        if (!page || page == topPage())
            return;
        // The approval prompt is the window's, opened over a page's dialog
        // only to be seen: it stays, over the window.
        if (m_prompt && standsOver(*m_prompt, *page)) {
            m_prompt->setParent(this, m_prompt->windowFlags());
            m_prompt->open();
        }
        closeDialogsOf(*page);
    });
}

void MainWindow::showTopActions()
{
    m_toolBar->clear();
    if (!m_path.ids().isEmpty())
        m_toolBar->addAction(m_backAction);
    if (QWidget *top = topPage())
        m_toolBar->addActions(top->actions());
    // A toolbar's own buttons take no focus: here each is a stop of Tab.
    for (QAction *action : m_toolBar->actions())
        if (QWidget *button = m_toolBar->widgetForAction(action))
            button->setFocusPolicy(Qt::TabFocus);
    placeBanner();
}

// The top page's navigation title ("Syncs", a sync's name, "Incoming") names
// the window, as a title bar shows it.
void MainWindow::showTopTitle()
{
    const QWidget *top = topPage();
    const QString page = top ? top->windowTitle() : QString();
    const QString title = page.isEmpty() ? appTitle : isolatedName(page) + QStringLiteral(" \u2014 ") + appTitle;
    if (window()->windowTitle() != title)
        window()->setWindowTitle(title);
}

void MainWindow::waitForExpose()
{
    QWindow *handle = window()->windowHandle();
    if (!handle || m_exposeWatched == handle)
        return;
    if (m_exposeWatched)
        m_exposeWatched->removeEventFilter(this);
    m_exposeWatched = handle;
    handle->installEventFilter(this);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (watched == m_exposeWatched && type == QEvent::Expose && m_exposeWatched->isExposed()) {
        m_exposeWatched->removeEventFilter(this);
        m_exposeWatched = nullptr;
        updateSheets();
        updatePrompt();
        return false;
    }
    if (watched == m_stack && (type == QEvent::Resize || type == QEvent::Move))
        placeBanner();
    // The toolbar lays its buttons out after this event: place the banner
    // once they stand where they will.
    if (watched == m_toolBar && (type == QEvent::LayoutRequest || type == QEvent::Resize))
        QMetaObject::invokeMethod(this, &MainWindow::placeBanner, Qt::QueuedConnection);
    if (watched == topPage() && (type == QEvent::ActionAdded || type == QEvent::ActionRemoved))
        showTopActions();
    if (watched == topPage() && type == QEvent::WindowTitleChange)
        showTopTitle();
    return RefreshingView::eventFilter(watched, event);
}

// Refresh -------------------------------------------------------------------

void MainWindow::refreshContents()
{
    refreshBanner();
    updateSheets();
    updatePrompt();
}

void MainWindow::refreshBanner()
{
    const int count = m_environment.projects().distinctPendingCount();
    m_banner->setCount(count);
    setVisibleWithTransition(*m_banner, count >= 1 && !m_path.endsInIncoming());
}

// The banner lies over the toolbar's free end, right of its last button,
// where it hides nothing. Only a toolbar too full to give it half its width,
// or the least it shows, has it over the top of the pages instead.
void MainWindow::placeBanner()
{
    const QRect bar = m_toolBar->geometry();
    int used = bar.left();
    for (QAction *action : m_toolBar->actions())
        if (const QWidget *button = m_toolBar->widgetForAction(action); button && button->isVisible())
            used = std::max(used, button->mapTo(this, QPoint(button->width(), 0)).x());
    const QSize wanted = m_banner->sizeHint();
    constexpr int edge = 8;  // off the window's edge, as the toolbar's buttons are
    const int free = bar.right() + 1 - edge - used;
    if (free >= std::max(wanted.width() / 2, m_banner->minimumSizeHint().width())) {
        const int width = std::min(wanted.width(), free);
        m_banner->setGeometry(bar.right() + 1 - edge - width, bar.top(), width, bar.height());
    } else {
        const QRect pages = m_stack->geometry();
        m_banner->setGeometry(pages.left(), pages.top(), pages.width(), wanted.height());
    }
    m_banner->raise();
}

void MainWindow::showEvent(QShowEvent *event)
{
    RefreshingView::showEvent(event);
    startWelcomeOnce();
    updateSheets();
    updatePrompt();
}

// A window manager may stack the window over its sheet (the window mapped
// after the sheet, or brought forward by a link): whenever the window comes
// forward, so does the dialog that blocks it.
void MainWindow::changeEvent(QEvent *event)
{
    RefreshingView::changeEvent(event);
    if (event->type() != QEvent::ActivationChange || !isActiveWindow())
        return;
    if (QWidget *blocking = innermostDialogOf(this); blocking && blocking->isModal()) {
        blocking->raise();
        blocking->activateWindow();
    }
}

// Sheets --------------------------------------------------------------------

void MainWindow::startWelcomeOnce()
{
    if (m_welcomeChecked)
        return;
    m_welcomeChecked = true;
    UserDefaults &defaults = m_environment.defaults();
    if (defaults.boolean(didCompleteSetupKey).value_or(false))
        return;
    // Stored at once: a welcome dismissed without creating anything is not
    // shown again either.
    defaults.setBoolean(didCompleteSetupKey, true);
    m_showWelcome = true;
}

void MainWindow::updateSheets()
{
    if (!isVisible())
        return;
    // A sheet mapped before its window may end up below it: it waits until
    // the window is on screen.
    const QWindow *handle = window()->windowHandle();
    if (!handle || !handle->isExposed()) {
        waitForExpose();
        return;
    }
    if (m_sheet) {
        // A link opened meanwhile replaces the welcome, which waits for it;
        // a link's sheet stays until the user answers it (later links wait
        // their turn in the environment).
        if (linkSheetIsStale() || (m_sheetKind == Sheet::Welcome && linkPending())) {
            m_sheetReplaced = true;
            m_sheet->reject();
        }
        return;
    }
    if (const Sheet next = nextSheet(); next != Sheet::None)
        openSheetOf(next);
}

void MainWindow::updateSheetsLater()
{
    QTimer::singleShot(0, this, [this] {
        updateSheets();
        updatePrompt();
    });
}

// A link's sheet comes first: the user opened the link just now.
MainWindow::Sheet MainWindow::nextSheet() const
{
    if (m_environment.pendingInvite())
        return Sheet::Join;
    if (m_environment.pendingNodeSetup())
        return Sheet::NodeSetup;
    if (m_showWelcome)
        return Sheet::Welcome;
    if (m_showNewProject)
        return Sheet::NewProject;
    if (m_showFeedback)
        return Sheet::Feedback;
    return Sheet::None;
}

bool MainWindow::linkPending() const
{
    return m_environment.pendingInvite().has_value() || m_environment.pendingNodeSetup().has_value();
}

// Its link was let go of elsewhere (the confirmation clears its own).
bool MainWindow::linkSheetIsStale() const
{
    if (m_sheetKind == Sheet::Join)
        return m_environment.pendingInvite() != m_shownInvite;
    if (m_sheetKind == Sheet::NodeSetup)
        return m_environment.pendingNodeSetup() != m_shownNodeSetup;
    return false;
}

void MainWindow::openSheetOf(Sheet kind)
{
    QPointer<MainWindow> self(this);
    const auto openPath = [self](QString projectID) {
        if (self)
            self->m_path.setIDs({projectID});
    };
    QDialog *dialog = nullptr;
    switch (kind) {
    case Sheet::None:
        return;
    case Sheet::Welcome:
        dialog = m_factories.welcomeSheet(m_environment, this, [self] {
            if (!self)
                return;
            QTimer::singleShot(newSyncDelayMs, self, [self] {
                self->m_showNewProject = true;
                self->updateSheets();
            });
        });
        break;
    case Sheet::NewProject:
        dialog = m_factories.newProjectSheet(m_environment, this, openPath);
        break;
    case Sheet::Join:
        m_shownInvite = m_environment.pendingInvite();
        dialog = m_factories.joinSheet(m_environment, this, *m_shownInvite, openPath);
        break;
    case Sheet::NodeSetup:
        m_shownNodeSetup = m_environment.pendingNodeSetup();
        dialog = m_factories.nodeSetupConfirmSheet(m_environment, this, *m_shownNodeSetup);
        break;
    case Sheet::Feedback:
        dialog = m_factories.feedbackSheet(m_environment, this);
        break;
    }
    m_sheetKind = kind;
    if (!dialog) {
        sheetClosed(kind, Ending::Declined);
        return;
    }
    m_sheet = dialog;
    dialog->setWindowModality(Qt::WindowModal);
    connect(dialog, &QDialog::finished, this, [this, dialog, kind](int result) {
        const bool replaced = std::exchange(m_sheetReplaced, false);
        if (m_sheet == dialog)
            sheetClosed(kind, replaced                       ? Ending::Replaced
                              : result == QDialog::Accepted ? Ending::Accepted
                                                            : Ending::Declined);
        dialog->deleteLater();
    });
    dialog->open();
    // A sheet a link opened takes the keyboard, even when the window it
    // blocks was brought forward after it.
    dialog->raise();
    dialog->activateWindow();
}

void MainWindow::sheetClosed(Sheet kind, Ending ending)
{
    m_sheet = nullptr;
    m_sheetKind = Sheet::None;
    // The welcome waits behind a link's sheet; a link acted on made it moot.
    if ((kind == Sheet::Welcome && ending != Ending::Replaced) ||
        ((kind == Sheet::Join || kind == Sheet::NodeSetup) && ending == Ending::Accepted))
        m_showWelcome = false;
    switch (kind) {
    case Sheet::None:
    case Sheet::Welcome:
        break;
    case Sheet::NewProject:
        m_showNewProject = false;
        break;
    case Sheet::Feedback:
        m_showFeedback = false;
        break;
    case Sheet::Join:
        // Only the invitation it showed: one opened meanwhile stays.
        if (m_environment.pendingInvite() == m_shownInvite)
            m_environment.setPendingInvite(std::nullopt);
        m_shownInvite.reset();
        break;
    case Sheet::NodeSetup:
        if (m_environment.pendingNodeSetup() == m_shownNodeSetup)
            m_environment.setPendingNodeSetup(std::nullopt);
        m_shownNodeSetup.reset();
        break;
    }
    updateSheetsLater();
}

// Join approval -------------------------------------------------------------

void MainWindow::updatePrompt()
{
    if (!isVisible())
        return;
    const std::optional<ProjectController::PendingDeviceApproval> &pending =
        m_environment.projects().pendingDeviceApproval();
    if (m_prompt) {
        if (!pending)
            m_prompt->reject();
        return;
    }
    // It waits behind the window's own sheets only; a page's dialog it opens
    // over.
    if (!pending || m_sheet)
        return;
    QWidget *over = innermostDialogOf(this);
    auto *prompt = new JoinApprovalPrompt(*pending, over ? over : this);
    m_prompt = prompt;
    connect(prompt, &QMessageBox::finished, this, [this, prompt] { promptClosed(prompt); });
    prompt->open();
}

void MainWindow::promptClosed(JoinApprovalPrompt *prompt)
{
    const ProjectController::PendingDeviceApproval request = prompt->request();
    ProjectController &projects = m_environment.projects();
    switch (prompt->choice()) {
    case JoinApprovalPrompt::Choice::Allow:
        detach(approve(&projects, request));
        break;
    case JoinApprovalPrompt::Choice::Decline:
        detach(decline(&projects, request));
        break;
    case JoinApprovalPrompt::Choice::NotNow:
        break;
    }
    // Only the request shown: one surfaced meanwhile gets its own prompt.
    projects.clearPendingDeviceApproval(request);
    if (m_prompt == prompt)
        m_prompt = nullptr;
    prompt->deleteLater();
    updateSheetsLater();
}

QCoro::Task<void> MainWindow::approve(QPointer<ProjectController> projects,
                                      ProjectController::PendingDeviceApproval request)
{
    if (projects)
        co_await projects->approvePendingDevice(std::move(request));
}

QCoro::Task<void> MainWindow::decline(QPointer<ProjectController> projects,
                                      ProjectController::PendingDeviceApproval request)
{
    if (projects)
        co_await projects->declinePendingDevice(std::move(request));
}

} // namespace tw

#include "views/syncpage/ProjectView.h"

#include "app/AppEnvironment.h"
#include "app/AppPreferences.h"
#include "app/texts/CardPresentation.h"
#include "app/texts/FriendlyFolderErrorMessage.h"
#include "app/HealthRules.h"
#include "controllers/DeviceController.h"
#include "controllers/EngineController.h"
#include "controllers/FolderController.h"
#include "design/AdaptiveGrid.h"
#include "design/ContrastRatio.h"
#include "design/DerivedForeground.h"
#include "design/DestructiveItem.h"
#include "design/ShownSymbol.h"
#include "design/ElidedLabel.h"
#include "design/ElidedLine.h"
#include "design/Symbol.h"
#include "design/TextStyle.h"
#include "design/Theme.h"
#include "projects/ProjectController.h"
#include "utilities/Detach.h"
#include "utilities/IsolatedName.h"
#include "views/panels/ArchivePanel.h"
#include "views/kit/ConfirmAction.h"
#include "views/kit/KeyboardFocus.h"
#include "views/kit/LiteralAmpersands.h"
#include "views/kit/LiteralText.h"
#include "views/kit/PlainLabel.h"
#include "views/kit/ShowGroundThrough.h"
#include "views/kit/StyledLabel.h"
#include "views/panels/FolderSettingsPanel.h"
#include "views/panels/OmitPanel.h"
#include "views/panels/PurgePanel.h"
#include "views/shell/FolderPicker.h"
#include "views/window/ErrorBanner.h"
#include "views/window/NavigationPath.h"

#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPropertyAnimation>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWidgetAction>
#include <QtConcurrent/QtConcurrentRun>
#include <qcoro/qcorofuture.h>

namespace tw {

const QString ProjectView::notFoundText = QStringLiteral("Sync not found");
const QString ProjectView::macsHeader = QStringLiteral("MACS IN THIS SYNC");
const QString ProjectView::foldersHeader = QStringLiteral("FOLDERS & DRIVES");
const QString ProjectView::foldersSubtitle = QStringLiteral("or drag a folder onto the window");
const QString ProjectView::inviteHelp = QStringLiteral("Invite a Mac");
const QString ProjectView::addFolderHelp = QStringLiteral("Add a folder or drive");
const QString ProjectView::noFoldersText = QStringLiteral("No folders yet \u2014 press + or drag a folder here.");
const QString ProjectView::hintText = QStringLiteral("Select a Mac or a folder above to manage it.");
const QString ProjectView::inviteText = QStringLiteral("Invite");
const QString ProjectView::pauseText = QStringLiteral("Pause");
const QString ProjectView::resumeText = QStringLiteral("Resume");
const QString ProjectView::moreText = QStringLiteral("More");
const QString ProjectView::pauseSyncText = QStringLiteral("Pause this sync");
const QString ProjectView::resumeSyncText = QStringLiteral("Resume this sync");
const QString ProjectView::removeSyncText = QStringLiteral("Remove this sync\u2026");
const QString ProjectView::removeTitle = QStringLiteral("Remove \u201C%1\u201D?");
const QString ProjectView::removeMessage =
    QStringLiteral("This stops syncing and removes the sync from this app. Your files on this Mac (and on your "
                   "teammates\u2019 Macs) are kept \u2014 nothing is deleted from disk.");
const QString ProjectView::removeAction = QStringLiteral("Remove sync");
const QString ProjectView::settingsTitle = QStringLiteral("Settings \u2014 ");
const QString ProjectView::omitTitle = QStringLiteral("Ignore files \u2014 ");
const QString ProjectView::archiveTitle = QStringLiteral("Archive \u2014 ");
const QString ProjectView::purgeTitle = QStringLiteral("Remove from other Macs \u2014 ");

namespace {

using Panel = ProjectSelection::FolderPanel;
using Inspecting = ProjectSelection::Inspecting;

QFrame *divider(QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

// The inspector's ground: the window tinted with its own text colour at 3 %,
// read from the palette at each paint so it follows the appearance.
class InspectorArea : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QColor tint = palette().color(QPalette::WindowText);
        tint.setAlphaF(0.03f);
        QPainter(this).fillRect(rect(), tint);
    }
};

// A toolbar button whose whole face opens its menu, with no arrow of the
// style's own beside what it shows.
QWidgetAction *menuButtonAction(QToolButton *button, QMenu *menu, QObject *parent)
{
    button->setAutoRaise(true);
    QObject::connect(button, &QToolButton::clicked, menu,
                     [button, menu] { menu->popup(button->mapToGlobal(QPoint(0, button->height()))); });
    auto *action = new QWidgetAction(parent);
    action->setDefaultWidget(button);
    return action;
}

QLabel *secondaryLabel(const QString &text, qreal points, QWidget *parent)
{
    auto *label = plainLabel(text, parent);
    label->setFont(pointsFont(points));
    DerivedForeground::apply(*label, windowTextAt(secondaryStrength));
    return label;
}

QWidget *hintWidget(QWidget *parent)
{
    auto *hint = new QWidget(parent);
    hint->setObjectName(QStringLiteral("inspectorHint"));
    auto *column = new QVBoxLayout(hint);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(6);
    column->addStretch();
    auto *symbol = new QLabel(hint);
    symbol->setObjectName(QStringLiteral("hintSymbol"));
    showSymbol(*symbol, Symbol::HandTap, QFontMetrics(textStyleFont(TextStyle::Title2)).height(), windowTextAt(0.45));
    column->addWidget(symbol, 0, Qt::AlignHCenter);
    QLabel *text = secondaryLabel(ProjectView::hintText, 14, hint);
    text->setObjectName(QStringLiteral("hintText"));
    column->addWidget(text, 0, Qt::AlignHCenter);
    column->addStretch();
    return hint;
}

QString titleOf(Panel panel, const QString &label)
{
    switch (panel) {
    case Panel::Settings:
        return ProjectView::settingsTitle + isolatedName(label);
    case Panel::Omit:
        return ProjectView::omitTitle + isolatedName(label);
    case Panel::Archive:
        return ProjectView::archiveTitle + isolatedName(label);
    case Panel::Purge:
        return ProjectView::purgeTitle + isolatedName(label);
    case Panel::Overview:
        break;
    }
    return label;
}

QString panelKey(Panel panel)
{
    return QString::number(int(panel));
}

QStringList directoriesAmong(const QStringList &paths)
{
    QStringList directories;
    for (const QString &path : paths)
        if (QFileInfo(path).isDir())
            directories.append(path);
    return directories;
}

} // namespace

ProjectView::ProjectView(AppEnvironment &env, NavigationPath &path, QString projectID, ProjectPageFactories factories,
                         QWidget *parent)
    : RefreshingView(parent), m_env(env), m_path(path), m_projectID(std::move(projectID)),
      m_factories(std::move(factories)), m_folderErrorsAtOpen(env.folders().operationErrorCount()),
      m_deviceErrorsAtOpen(env.devices().operationErrorCount())
{
    setObjectName(QStringLiteral("projectView"));
    if (m_env.projects().project(m_projectID))
        buildPage();
    else
        buildNotFound();
    followState(env);
}

void ProjectView::buildNotFound()
{
    m_notFound = true;
    setWindowTitle(notFoundText);
    auto *column = new QVBoxLayout(this);
    column->addStretch();
    auto *icon = plainLabel(this);
    showSymbol(*icon, Symbol::Folder, 46, windowTextAt(secondaryStrength));
    column->addWidget(icon, 0, Qt::AlignHCenter);
    QLabel *title = styledLabel(notFoundText, TextRole::Title2);
    title->setObjectName(QStringLiteral("notFound"));
    column->addWidget(title, 0, Qt::AlignHCenter);
    column->addStretch();
}

QWidget *ProjectView::header(const QString &title, const QString &subtitle, const QString &help,
                             std::function<void()> action)
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    QLabel *name = secondaryLabel(title, 12, row);
    name->setFont(pointsFont(12, QFont::DemiBold));
    layout->addWidget(name);
    if (!subtitle.isEmpty()) {
        QLabel *note = secondaryLabel(QStringLiteral("\u2014 ") + subtitle, 11, row);
        note->setObjectName(QStringLiteral("headerSubtitle"));
        DerivedForeground::apply(*note, windowTextAt(tertiaryStrength));
        layout->addWidget(note);
    }
    layout->addStretch();
    auto *button = new QToolButton(row);
    button->setAutoRaise(true);
    const int side = QFontMetrics(pointsFont(13, QFont::DemiBold)).ascent();
    button->setIconSize({side, side});
    showSymbol(*button, Symbol::Plus, readableTint(Theme::accent(), markContrast));
    button->setToolTip(help);
    button->setObjectName(help);
    connect(button, &QToolButton::clicked, this, std::move(action));
    layout->addWidget(button);
    return row;
}

void ProjectView::buildPage()
{
    setAcceptDrops(true);
    auto *content = new QWidget;
    auto *column = new QVBoxLayout(content);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(20);
    column->addWidget(header(macsHeader, QString(), inviteHelp, [this] { openInvite(); }));
    m_deviceHost = new QWidget(content);
    auto *deviceGrid = new AdaptiveGrid(260, 12, m_deviceHost);
    m_devices = new KeyedList<QWidget>(deviceGrid, [this](const QString &id) {
        ProjectPageItem item = m_factories.deviceCard(m_env, m_projectID, id, m_deviceHost, [this, id] { tapDevice(id); });
        m_deviceItems.insert(id, item);
        return item.widget;
    });
    column->addWidget(m_deviceHost);
    column->addWidget(header(foldersHeader, foldersSubtitle, addFolderHelp, [this] { addFolderWithPicker(); }));
    m_noFolders = secondaryLabel(noFoldersText, 14, content);
    m_noFolders->setObjectName(QStringLiteral("noFolders"));
    m_noFolders->setContentsMargins(0, 8, 0, 8);
    column->addWidget(m_noFolders);
    m_folderHost = new QWidget(content);
    auto *folderGrid = new AdaptiveGrid(185, 10, m_folderHost);
    m_folders = new KeyedList<QWidget>(folderGrid, [this](const QString &id) {
        ProjectPageItem item = m_factories.folderChip(m_env, m_projectID, id, m_folderHost, [this, id] { tapFolder(id); });
        m_folderItems.insert(id, item);
        return item.widget;
    });
    column->addWidget(m_folderHost);
    column->addStretch();
    auto *scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(content);

    m_inspectorArea = new InspectorArea(this);
    m_inspectorArea->setObjectName(QStringLiteral("inspectorArea"));
    m_inspectorArea->setAutoFillBackground(true);
    auto *inspectorLayout = new QVBoxLayout(m_inspectorArea);
    inspectorLayout->setContentsMargins(0, 0, 0, 0);
    m_inspectorArea->setMinimumHeight(inspectorHeight);
    m_inspectorArea->setMaximumHeight(inspectorHeight);
    m_minAnimation = new QPropertyAnimation(m_inspectorArea, "minimumHeight", this);
    m_maxAnimation = new QPropertyAnimation(m_inspectorArea, "maximumHeight", this);
    for (QPropertyAnimation *animation : {m_minAnimation, m_maxAnimation}) {
        animation->setDuration(animationMs);
        animation->setEasingCurve(QEasingCurve::InOutQuad);
    }

    m_banner = new ErrorBanner(this);
    auto *page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(0);
    // The banner takes its room from the foot of the cards' area: neither
    // the cards nor the inspector move as it comes, goes or grows a line.
    page->addWidget(scroll, 1);
    page->addWidget(m_banner);
    page->addWidget(divider(this));
    page->addWidget(m_inspectorArea);

    m_switcherMenu = new QMenu(this);
    m_switcherMenu->setObjectName(QStringLiteral("switcher"));
    m_switcherButton = new QToolButton;
    m_switcherButton->setObjectName(QStringLiteral("switcherButton"));
    m_switcherButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_switcherButton->setFont(textStyleFont(TextStyle::Headline));
    m_switcher = menuButtonAction(m_switcherButton, m_switcherMenu, this);
    m_invite = new QAction(symbolIcon(Symbol::PersonCropCircle), inviteText, this);
    m_invite->setObjectName(QStringLiteral("invite"));
    m_pauseAll = new QAction(this);
    m_pauseAll->setObjectName(QStringLiteral("pauseAll"));
    auto *more = new QMenu(this);
    more->setObjectName(QStringLiteral("more"));
    m_pauseSync = more->addAction(QString());
    m_pauseSync->setObjectName(QStringLiteral("pauseSync"));
    more->addSeparator();
    m_removeSync = more->addAction(removeSyncText);
    markDestructive(*m_removeSync, Symbol::Trash);
    m_removeSync->setObjectName(QStringLiteral("removeSync"));
    auto *moreButton = new QToolButton;
    moreButton->setObjectName(QStringLiteral("moreButton"));
    moreButton->setIcon(symbolIcon(Symbol::EllipsisCircle));
    moreButton->setText(moreText);
    moreButton->setToolTip(moreText);
    moreButton->setAccessibleName(moreText);
    moreButton->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_more = menuButtonAction(moreButton, more, this);
    addActions({m_switcher, m_invite, m_pauseAll, m_more});

    connect(m_invite, &QAction::triggered, this, &ProjectView::openInvite);
    connect(m_pauseAll, &QAction::triggered, this,
            [this] { detach(pauseEverything(&m_env.engineState(), &m_env.folders())); });
    connect(m_pauseSync, &QAction::triggered, this, [this] {
        const std::optional<Project> project = m_env.projects().project(m_projectID);
        if (project)
            detach(pauseSync(&m_env.projects(), &m_env.folders(), m_projectID, !projectCountsAsPaused(*project)));
    });
    connect(m_removeSync, &QAction::triggered, this, &ProjectView::confirmRemoval);
    showInspector();
}

void ProjectView::refreshContents()
{
    if (m_notFound)
        return;
    const std::optional<Project> project = m_env.projects().project(m_projectID);
    if (!project)
        return;  // the page is on its way out; the window drops it
    const QString title = literalWindowTitle(project->name);
    if (windowTitle() != title)
        setWindowTitle(title);
    refreshToolbar(*project);
    refreshLists(*project);
    // The folder operations started from this page (a restore, the rescan
    // after a settings change) report through the folder controller, pausing
    // a teammate through the device controller.
    const auto sinceOpened = [](const auto &controller, int countAtOpen) {
        return controller.operationErrorCount() == countAtOpen ? std::nullopt : controller.lastErrorMessage();
    };
    const std::optional<QString> folderError = sinceOpened(m_env.folders(), m_folderErrorsAtOpen);
    // "Pause all" and "Resume" are pressed from this page's toolbar: what
    // the engine did not take, or the choice not stored, shows here.
    QList<std::optional<QString>> messages{
        m_env.engineState().pauseAllProblem(),
        m_env.projects().lastErrorMessage(),
        folderError ? std::optional(friendlyFolderErrorMessage(*folderError)) : std::nullopt,
        sinceOpened(m_env.devices(), m_deviceErrorsAtOpen)};
    // Ignore lines Syncthing cannot use stay left out of its folders until
    // they change: said for as long as they are.
    for (const ProjectFolder &folder : project->folders)
        if (folder.syncthingFolderID)
            messages.append(m_env.projects().ignoreRefusal(*folder.syncthingFolderID));
    m_banner->setMessages(messages);
    showInspector();
}

void ProjectView::refreshToolbar(const Project &project)
{
    // A long name ends in "…", so the toolbar's other actions stay in view.
    const QString label = literalAmpersands(
        isolatedName(elidedToFit(project.name, m_switcherButton->font(), Qt::ElideRight, switcherNameWidth))
        + QStringLiteral(" \u25BE"));
    if (m_switcherButton->text() != label)
        m_switcherButton->setText(label);
    refreshSwitcher();
    const bool allPaused = m_env.engineState().isAllPaused();
    m_pauseAll->setText(allPaused ? resumeText : pauseText);
    m_pauseAll->setIcon(symbolIcon(allPaused ? Symbol::PlayFill : Symbol::PauseFill));
    const bool paused = projectCountsAsPaused(project);
    m_pauseSync->setText(paused ? resumeSyncText : pauseSyncText);
    m_pauseSync->setIcon(symbolIcon(paused ? Symbol::PlayFill : Symbol::PauseFill));
    // While everything is paused the sync reads "Paused" whatever its own
    // switch says: only "Resume" (all) changes what Syncthing does.
    m_pauseSync->setEnabled(!allPaused);
}

void ProjectView::refreshSwitcher()
{
    const QList<Project> &projects = m_env.projects().projects();
    const QList<QAction *> shown = m_switcherMenu->actions();
    bool same = shown.size() == projects.size();
    for (qsizetype i = 0; same && i < projects.size(); ++i)
        same = shown[i]->data().toString() == projects[i].id && shown[i]->text() == literalAmpersands(projects[i].name);
    if (same || m_switcherMenu->isVisible())
        return;
    m_switcherMenu->clear();
    for (const Project &project : projects) {
        QAction *item = m_switcherMenu->addAction(literalAmpersands(project.name));
        item->setData(project.id);
        const QString id = project.id;
        connect(item, &QAction::triggered, this, [this, id] { switchTo(id); });
    }
}

void ProjectView::refreshLists(const Project &project)
{
    const HealthInputs inputs = m_env.healthInputs();
    QStringList deviceIDs;
    for (const ProjectDeviceRef &device : projectDevices(project, inputs))
        deviceIDs.append(device.id);
    m_devices->setIDs(deviceIDs);
    QStringList folderIDs;
    for (const ProjectFolder &folder : project.folders)
        folderIDs.append(folder.id);
    m_folders->setIDs(folderIDs);
    m_noFolders->setVisible(folderIDs.isEmpty());
    m_folderHost->setVisible(!folderIDs.isEmpty());

    const auto drive = [](KeyedList<QWidget> &list, QHash<QString, ProjectPageItem> &items, Inspecting kind,
                          const ProjectSelection &selection) {
        for (const QString &id : list.ids()) {
            const ProjectPageItem item = items.value(id);
            if (item.widget != list.child(id))
                continue;
            if (item.setSelected)
                item.setSelected(selection.inspecting == kind && selection.id == id);
            if (item.refresh)
                item.refresh();
        }
    };
    drive(*m_devices, m_deviceItems, Inspecting::Device, m_selection);
    drive(*m_folders, m_folderItems, Inspecting::Folder, m_selection);
}

void ProjectView::tapDevice(const QString &deviceID)
{
    select(m_selection.tapped(Inspecting::Device, deviceID));
}

void ProjectView::tapFolder(const QString &folderID)
{
    select(m_selection.tapped(Inspecting::Folder, folderID));
}

void ProjectView::openPanel(ProjectSelection::FolderPanel panel)
{
    select(m_selection.opened(panel));
}

void ProjectView::select(ProjectSelection next)
{
    if (next == m_selection)
        return;
    m_selection = std::move(next);
    refresh();
}

void ProjectView::showInspector()
{
    if (m_notFound)
        return;
    const std::optional<Project> project = m_env.projects().project(m_projectID);
    std::optional<ProjectFolder> folder;
    bool deviceFound = false;
    if (project && m_selection.inspecting == Inspecting::Folder)
        folder = m_env.projects().folderOf(m_projectID, m_selection.id);
    if (project && m_selection.inspecting == Inspecting::Device)
        deviceFound = m_devices->ids().contains(m_selection.id);

    QString key = QStringLiteral("hint");
    if (folder)
        key = QStringLiteral("folder:") + folder->id + QLatin1Char(':') + panelKey(m_selection.panel);
    else if (deviceFound)
        key = QStringLiteral("device:") + m_selection.id;
    if (key == m_inspectorKey) {
        if (m_inspectorItem && m_inspectorItem->refresh)
            m_inspectorItem->refresh();
        if (folder && m_panelTitle)
            m_panelTitle->setFullText(titleOf(m_selection.panel, folder->label));
        updateInspectorHeight();
        return;
    }
    m_inspectorKey = key;
    m_inspectorItem.reset();
    m_panelTitle = nullptr;
    // Taken before the content that holds it goes: a panel gives it back.
    const QPointer<QWidget> focused = QApplication::focusWidget();
    if (m_inspectorContent) {
        // Gone from the area now; deleted once whatever it runs has returned.
        m_inspectorContent->hide();
        m_inspectorArea->layout()->removeWidget(m_inspectorContent);
        m_inspectorContent->deleteLater();
    }
    QWidget *shown = nullptr;
    if (folder && m_selection.panel != Panel::Overview) {
        shown = panelHost(*folder);
        KeyboardFocus::openedInPlace(*shown, focused);
    } else if (folder || deviceFound) {
        const QString id = m_selection.id;
        QPointer<ProjectView> self(this);
        ProjectPageItem item = folder
            ? m_factories.folderInspector(m_env, m_projectID, id, nullptr,
                                          [self](Panel panel) {
                                              if (self)
                                                  self->openPanel(panel);
                                          })
            : m_factories.deviceInspector(m_env, m_projectID, id, nullptr);
        auto *scroll = new QScrollArea;
        scroll->setWidgetResizable(true);
        scroll->setFrameShape(QFrame::NoFrame);
        item.widget->setContentsMargins(20, 20, 20, item.foot ? 14 : 20);
        scroll->setWidget(item.widget);
        showGroundThrough(*scroll);
        m_inspectorItem = item;
        shown = item.foot ? withFoot(scroll, item.foot) : scroll;
    } else {
        shown = hintWidget(nullptr);
    }
    m_inspectorContent = shown;
    m_inspectorArea->layout()->addWidget(shown);
    shown->show();
    updateInspectorHeight();
}

// The foot stays in view below what scrolls: the folder inspector's actions
// were cut at the area's foot, or out of view, at the window's least height.
QWidget *ProjectView::withFoot(QWidget *scrolled, QWidget *foot)
{
    auto *area = new QWidget;
    auto *column = new QVBoxLayout(area);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(scrolled, 1);
    foot->setContentsMargins(20, 0, 20, 16);
    column->addWidget(foot);
    return area;
}

QWidget *ProjectView::panelHost(const ProjectFolder &folder)
{
    auto *host = new QWidget;
    host->setObjectName(QStringLiteral("panelHost"));
    auto *column = new QVBoxLayout(host);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(12);
    auto *row = new QHBoxLayout;
    row->setSpacing(10);
    auto *back = new QToolButton(host);
    back->setObjectName(QStringLiteral("back"));
    back->setAutoRaise(true);
    back->setIcon(symbolIcon(Symbol::ChevronLeft));
    connect(back, &QToolButton::clicked, this, [this] { select(m_selection.back()); });
    m_panelTitle = new ElidedLabel(Qt::ElideRight, host);
    m_panelTitle->setObjectName(QStringLiteral("panelTitle"));
    m_panelTitle->setFont(pointsFont(17, QFont::DemiBold));
    m_panelTitle->setFullText(titleOf(m_selection.panel, folder.label));
    row->addWidget(back);
    row->addWidget(m_panelTitle, 1);
    column->addLayout(row);
    column->addWidget(divider(host));
    if (QWidget *panel = makePanel(folder))
        column->addWidget(panel, 1);
    else
        column->addStretch();
    return host;
}

QWidget *ProjectView::makePanel(const ProjectFolder &folder)
{
    QWidget *panel = nullptr;
    switch (m_selection.panel) {
    case Panel::Settings:
        panel = new FolderSettingsPanel(m_env, m_projectID, folder);
        connect(static_cast<FolderSettingsPanel *>(panel), &FolderSettingsPanel::finished, this,
                [this] { select(m_selection.back()); });
        break;
    case Panel::Omit:
        if (folder.syncthingFolderID)
            panel = new OmitPanel(m_env, m_projectID, folder);
        break;
    case Panel::Archive:
        if (folder.syncthingFolderID)
            panel = new ArchivePanel(m_env, m_projectID, folder);
        break;
    case Panel::Purge:
        panel = new PurgePanel(m_env, m_projectID, folder);
        connect(static_cast<PurgePanel *>(panel), &PurgePanel::finished, this, [this] { select(m_selection.back()); });
        break;
    case Panel::Overview:
        break;
    }
    return panel;
}

void ProjectView::updateInspectorHeight()
{
    const int target = m_selection.expanded(m_env.preferences().alwaysShowTechnicalDetails()) ? expandedInspectorHeight
                                                                                                : inspectorHeight;
    if (m_maxAnimation->state() == QAbstractAnimation::Running && m_maxAnimation->endValue().toInt() == target)
        return;
    if (m_inspectorArea->maximumHeight() == target && m_maxAnimation->state() != QAbstractAnimation::Running)
        return;
    if (!m_animated || !isVisible()) {
        m_minAnimation->stop();
        m_maxAnimation->stop();
        m_inspectorArea->setMinimumHeight(target);
        m_inspectorArea->setMaximumHeight(target);
        return;
    }
    for (QPropertyAnimation *animation : {m_minAnimation, m_maxAnimation}) {
        animation->stop();
        animation->setStartValue(m_inspectorArea->height());
        animation->setEndValue(target);
        animation->start();
    }
}

void ProjectView::addFolderWithPicker()
{
    detach(pickAndAdd(this));
}

QCoro::Task<void> ProjectView::pickAndAdd(QPointer<ProjectView> page)
{
    const auto pick = page->m_factories.folderPicker;
    const std::optional<QString> chosen = co_await pick(page.data());
    if (!page || !chosen)
        co_return;
    page->addFolderAt(*chosen);
}

void ProjectView::addFolderAt(const QString &path)
{
    detach(addFolder(this, &m_env.projects(), m_projectID, path));
}

QCoro::Task<void> ProjectView::addFolder(QPointer<ProjectView> page, QPointer<ProjectController> projects,
                                         QString projectID, QString path)
{
    if (!projects)
        co_return;
    const std::optional<QString> folderID = co_await projects->addFolder(projectID, path, std::nullopt, true);
    if (!page || !folderID)
        co_return;
    page->select(ProjectSelection::added(*folderID));
}

QCoro::Task<void> ProjectView::pauseEverything(QPointer<EngineController> engine, QPointer<FolderController> folders)
{
    if (!engine)
        co_return;
    co_await engine->toggleAllPaused();
    if (folders)
        co_await folders->refresh();
}

QCoro::Task<void> ProjectView::pauseSync(QPointer<ProjectController> projects, QPointer<FolderController> folders,
                                         QString projectID, bool paused)
{
    if (!projects)
        co_return;
    co_await projects->setProjectPaused(projectID, paused);
    if (folders)
        co_await folders->refresh();
}

void ProjectView::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void ProjectView::dropEvent(QDropEvent *event)
{
    if (handleDrop(*event->mimeData()))
        event->acceptProposedAction();
}

bool ProjectView::handleDrop(const QMimeData &mime)
{
    const QList<QUrl> urls = mime.urls();
    if (urls.isEmpty())
        return false;
    QStringList paths;
    for (const QUrl &url : urls)
        if (url.isLocalFile())
            paths.append(url.toLocalFile());
    detach(addDropped(QPointer(this), paths));
    return true;
}

QCoro::Task<void> ProjectView::addDropped(QPointer<ProjectView> page, QStringList paths)
{
    const QStringList directories = co_await QtConcurrent::run(&directoriesAmong, paths);
    if (!page)
        co_return;
    for (const QString &path : directories)
        page->addFolderAt(path);
}

void ProjectView::switchTo(const QString &projectID)
{
    if (projectID == m_projectID || m_path.ids().isEmpty())
        return;
    QStringList ids = m_path.ids();
    ids.last() = projectID;
    m_path.setIDs(ids);
}

void ProjectView::openInvite()
{
    if (!m_factories.inviteSheet)
        return;
    if (QDialog *sheet = m_factories.inviteSheet(m_env, m_projectID, this)) {
        sheet->setAttribute(Qt::WA_DeleteOnClose);
        sheet->setWindowModality(Qt::WindowModal);
        sheet->open();
    }
}

void ProjectView::confirmRemoval()
{
    const std::optional<Project> project = m_env.projects().project(m_projectID);
    if (!project || m_removal)
        return;
    QPointer<ProjectView> self(this);
    m_removal = confirmAction(
        *this, removeTitle.arg(isolatedName(project->name)), removeMessage, removeAction, true,
        [self] {
            if (self)
                self->removeConfirmed();
        },
        [self] {
            if (self)
                self->m_removal = nullptr;
        });
}

void ProjectView::removeConfirmed()
{
    // Leave the page first; then remove the sync as it is now, so a folder
    // added while the question was open leaves the engine too.
    ProjectController &projects = m_env.projects();
    const QString id = m_projectID;
    if (!m_path.ids().isEmpty())
        m_path.pop();
    if (const std::optional<Project> current = projects.project(id))
        projects.remove(*current);
}

} // namespace tw

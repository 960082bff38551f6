#include "views/syncpage/DeviceInspector.h"

#include "app/AppEnvironment.h"
#include "app/AppPreferences.h"
#include "app/HealthRules.h"
#include "app/texts/FriendlyFolderErrorMessage.h"
#include "app/texts/SyncPageTexts.h"
#include "controllers/DeviceController.h"
#include "controllers/EngineController.h"
#include "controllers/FolderController.h"
#include "design/ButtonTint.h"
#include "design/DestructiveItem.h"
#include "design/ElidedLabel.h"
#include "design/ShownSymbol.h"
#include "design/StatusBubble.h"
#include "design/TextStyle.h"
#include "design/Theme.h"
#include "design/WrappingLabel.h"
#include "engine/SyncEngine.h"
#include "projects/ProjectController.h"
#include "projects/SyncRescan.h"
#include "utilities/Detach.h"
#include "utilities/IsolatedName.h"
#include "views/kit/ConfirmAction.h"
#include "views/kit/DisclosureGroup.h"
#include "views/kit/InformationRow.h"
#include "views/kit/PlainLabel.h"
#include "views/syncpage/RenameSheet.h"
#include "views/syncpage/SyncPageParts.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace tw {

namespace {

QLabel *sectionTitle(const QString &text)
{
    auto *title = plainLabel(text);
    title->setFont(pointsFont(12, QFont::DemiBold));
    DerivedForeground::apply(*title, windowTextAt(tertiaryStrength));
    return title;
}

std::optional<ProjectDeviceRef> findDevice(const Project &project, const QString &id, const HealthInputs &in)
{
    for (const ProjectDeviceRef &ref : projectDevices(project, in))
        if (ref.id == id)
            return ref;
    return std::nullopt;
}

QWidget *detailRows(const QList<QPair<QString, QString>> &rows)
{
    auto *box = new QWidget;
    box->setObjectName(QStringLiteral("detailRows"));
    box->setMaximumWidth(420);
    box->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    auto *grid = new QGridLayout(box);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setVerticalSpacing(6);
    grid->setHorizontalSpacing(8);
    grid->setColumnMinimumWidth(0, 120);
    for (int i = 0; i < rows.size(); ++i) {
        auto *label = plainLabel(rows[i].first);
        label->setFont(pointsFont(12));
        setSecondaryForeground(*label);
        auto *value = new ElidedLabel;
        value->setObjectName(QStringLiteral("detailValue"));
        value->setFont(pointsFont(12));
        value->setFullText(rows[i].second);
        setToolTipIfChanged(*value, rows[i].second);
        grid->addWidget(label, i, 0, Qt::AlignTop);
        grid->addWidget(value, i, 1, Qt::AlignTop);
    }
    grid->setColumnStretch(1, 1);
    return box;
}

void clearLayout(QLayout &layout)
{
    while (QLayoutItem *item = layout.takeAt(0)) {
        delete item->widget();
        delete item;
    }
}

QCoro::Task<void> setPaused(QPointer<DeviceController> devices, QPointer<SyncEngine> engine, QString deviceID,
                            bool paused)
{
    if (!engine)
        co_return;
    bool done = false;
    try {
        co_await engine->setDevicePaused(deviceID, paused);
        done = true;
    } catch (const std::exception &error) {
        if (devices)
            devices->setError(error);
    }
    if (done && devices)
        co_await devices->refresh();
}

QCoro::Task<void> saveRename(QPointer<EngineController> engine, QPointer<ProjectController> projects,
                             QString projectID, QString deviceID, bool isThisMac, QString name)
{
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty())
        co_return;
    if (isThisMac) {
        if (engine)
            co_await engine->setDeviceName(trimmed);
    } else if (projects) {
        projects->renameMember(projectID, deviceID, trimmed);
    }
}

QCoro::Task<void> removeMember(QPointer<ProjectController> projects, QString projectID, QString deviceID)
{
    if (projects)
        co_await projects->removeMember(projectID, deviceID);
}

} // namespace

QString DeviceInspector::removeTitle(const QString &name)
{
    return QStringLiteral("Remove \u201c") + isolatedName(name) + QStringLiteral("\u201d from this sync?");
}

DeviceInspector::DeviceInspector(AppEnvironment &env, QString projectID, QString deviceID, QWidget *parent)
    : RefreshingView(parent)
    , m_env(env)
    , m_projectID(std::move(projectID))
    , m_deviceID(std::move(deviceID))
{
    setObjectName(QStringLiteral("deviceInspector"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);
    column->addWidget(makeHeader());
    column->addWidget(sectionTitle(foldersTitle));
    m_folderBox = new QWidget;
    auto *rows = new QVBoxLayout(m_folderBox);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(12);
    m_folderRows = new KeyedList<QWidget>(rows, [this](const QString &) { return makeFolderRow(); });
    column->addWidget(m_folderBox);
    m_noFolders = plainLabel(noFoldersText);
    m_noFolders->setObjectName(QStringLiteral("noFolders"));
    m_noFolders->setFont(pointsFont(13));
    setSecondaryForeground(*m_noFolders);
    column->addWidget(m_noFolders);

    m_details = new QWidget;
    m_details->setObjectName(QStringLiteral("details"));
    auto *detailsLayout = new QVBoxLayout(m_details);
    detailsLayout->setContentsMargins(0, 0, 0, 0);
    m_detailsStack = new QStackedWidget;
    m_detailsStack->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    auto *always = new QWidget;
    always->setObjectName(QStringLiteral("detailsAlways"));
    m_alwaysRows = new QVBoxLayout(always);
    m_alwaysRows->setContentsMargins(0, 0, 0, 0);
    m_alwaysRows->setSpacing(6);
    m_disclosure = new DisclosureGroup(detailsToggle);
    m_disclosure->setObjectName(QStringLiteral("detailsDisclosure"));
    m_detailsStack->addWidget(always);
    m_detailsStack->addWidget(m_disclosure);
    detailsLayout->addWidget(m_detailsStack);
    column->addWidget(m_details);

    m_rescan = new QPushButton(rescanText);
    m_rescan->setObjectName(QStringLiteral("rescan"));
    m_rescan->setFont(pointsFont(13));
    showSymbol(*m_rescan, Symbol::ArrowClockwise);
    connect(m_rescan, &QPushButton::clicked, this, &DeviceInspector::rescan);
    column->addWidget(m_rescan, 0, Qt::AlignLeft);
    column->addStretch();
}

QWidget *DeviceInspector::makeHeader()
{
    auto *header = new QWidget;
    auto *row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);
    m_symbol = plainLabel();
    m_symbol->setObjectName(QStringLiteral("symbol"));
    m_symbol->setFixedWidth(26);
    m_nameLabel = new ElidedLabel(Qt::ElideRight);
    m_nameLabel->setObjectName(QStringLiteral("name"));
    m_nameLabel->setFont(pointsFont(19, QFont::DemiBold));
    m_line = new ElidedLabel(Qt::ElideRight);
    m_line->setObjectName(QStringLiteral("line"));
    m_line->setFont(pointsFont(13));
    auto *names = new QVBoxLayout;
    names->setSpacing(1);
    names->addWidget(m_nameLabel);
    names->addWidget(m_line);
    m_pause = new QPushButton;
    m_pause->setObjectName(QStringLiteral("pause"));
    connect(m_pause, &QPushButton::clicked, this, &DeviceInspector::togglePause);
    m_more = new QToolButton;
    m_more->setObjectName(QStringLiteral("more"));
    m_more->setText(QStringLiteral("\u22ef"));
    m_more->setAccessibleName(QStringLiteral("More"));
    // Its face is the symbol, in the secondary colour, at a 17-point size.
    m_more->setToolButtonStyle(Qt::ToolButtonIconOnly);
    const int side = QFontMetrics(pointsFont(17)).ascent();
    m_more->setIconSize({side, side});
    showSymbol(*m_more, Symbol::EllipsisCircle, windowTextAt(secondaryStrength));
    m_more->setAutoRaise(true);
    // The face opens the menu, with no arrow of the style's own beside it
    // (a style sheet hiding that arrow would keep the symbol's colour from
    // following the appearance).
    m_menu = new QMenu(m_more);
    connect(m_more, &QToolButton::clicked, m_menu,
            [this] { m_menu->popup(m_more->mapToGlobal(QPoint(0, m_more->height()))); });
    row->addWidget(m_symbol);
    row->addLayout(names, 1);
    row->addWidget(m_pause);
    row->addWidget(m_more);
    return header;
}

void DeviceInspector::rebuildMenu(bool isThisMac, bool isNode)
{
    m_menu->clear();
    connect(m_menu->addAction(symbolIcon(Symbol::Pencil), renameItem), &QAction::triggered, this,
            [this] { openRename(); });
    if (isNode) {
        addInformationRow(*m_menu, nodeItem);
    } else if (!isThisMac) {
        QAction *remove = m_menu->addAction(removeItem);
        markDestructive(*remove, Symbol::PersonBadgeMinus);
        connect(remove, &QAction::triggered, this, &DeviceInspector::confirmRemove);
    }
}

void DeviceInspector::refreshContents()
{
    const std::optional<Project> project = m_env.projects().project(m_projectID);
    const HealthInputs in = m_env.healthInputs();
    const std::optional<ProjectDeviceRef> device = project ? findDevice(*project, m_deviceID, in) : std::nullopt;
    if (!device)
        return;
    m_name = device->name;
    m_isThisMac = device->isThisMac;
    const std::optional<DeviceConnection> conn = m_env.devices().connection(device->id);
    const bool connected = device->isThisMac || (conn && conn->connected);
    const int peerCount = int(projectDevices(*project, in).size()) - 1;
    std::optional<SyncDevice> syncDevice;
    for (const SyncDevice &known : in.devices)
        if (known.id == device->id) {
            syncDevice = known;
            break;
        }
    m_paused = syncDevice && syncDevice->isPaused;

    if (shownSymbol(*m_symbol) != deviceSymbol(*device))
        showSymbol(*m_symbol, deviceSymbol(*device), 24, deviceSymbolColor(*device));
    m_nameLabel->setFullText(device->name);
    setTextIfChanged(*m_line, m_paused ? SyncPageTexts::pausedNotSyncing
                                       : SyncPageTexts::connLine(device->isThisMac, connected, conn));
    if (connected && !m_paused)
        setSecondaryForeground(*m_line);
    else
        setForeground(*m_line, m_paused ? Theme::syncing() : Theme::offline());
    m_pause->setVisible(!device->isThisMac && !device->isAlwaysOnNode && syncDevice.has_value());
    const QString pauseText = m_paused ? QStringLiteral("Resume") : QStringLiteral("Pause");
    if (m_pause->text() != pauseText) {
        m_pause->setText(pauseText);
        showSymbol(*m_pause, m_paused ? Symbol::PlayFill : Symbol::PauseFill);
    }
    // "Resume" stands out, tinted with the accent; "Pause" is in the
    // secondary colour.
    if (m_paused) {
        TintedButtonPainter::apply(*m_pause, ButtonTint::Bordered);
    } else {
        TintedButtonPainter::clear(*m_pause);
        setSecondaryForeground(*m_pause);
    }
    const int menuKind = device->isThisMac ? 0 : device->isAlwaysOnNode ? 1 : 2;
    if (m_menuFor != (menuKind == 1) || m_menu->isEmpty()) {
        m_menuFor = menuKind == 1;
        rebuildMenu(device->isThisMac, device->isAlwaysOnNode);
    }

    refreshFolders(*project, device->isThisMac, peerCount);

    const bool details = !device->isThisMac && conn && conn->connected;
    m_details->setVisible(details);
    if (details) {
        m_detailsStack->setCurrentIndex(m_env.preferences().alwaysShowTechnicalDetails() ? 0 : 1);
        refreshDetails(SyncPageTexts::technicalDetailRows(*conn));
    }
    m_rescan->setVisible(device->isThisMac);
}

QWidget *DeviceInspector::makeFolderRow()
{
    auto *row = new QWidget;
    row->setObjectName(QStringLiteral("folderRow"));
    auto *bubble = new StatusBubble(SyncHealth::allSynced(), 14);
    auto *label = new ElidedLabel(Qt::ElideRight);
    label->setObjectName(QStringLiteral("label"));
    label->setFont(pointsFont(14));
    auto *detail = new ElidedLabel(Qt::ElideRight);
    detail->setObjectName(QStringLiteral("detail"));
    detail->setFont(pointsFont(12));
    setSecondaryForeground(*detail);
    auto *error = new WrappingLabel;
    error->setObjectName(QStringLiteral("error"));
    error->setFont(pointsFont(12));
    setForeground(*error, Theme::danger());
    auto *texts = new QVBoxLayout;
    texts->setSpacing(1);
    texts->addWidget(label);
    texts->addWidget(detail);
    texts->addWidget(error);
    auto *line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(10);
    line->addWidget(bubble, 0, Qt::AlignTop);
    line->addLayout(texts, 1);
    return row;
}

void DeviceInspector::refreshFolders(const Project &project, bool isThisMac, int peerCount)
{
    QStringList ids;
    for (const ProjectFolder &folder : project.folders)
        ids.append(folder.id);
    m_folderRows->setIDs(ids);
    m_folderBox->setVisible(!ids.isEmpty());
    m_noFolders->setVisible(ids.isEmpty());
    const HealthInputs in = m_env.healthInputs();
    for (const ProjectFolder &folder : project.folders) {
        QWidget *row = m_folderRows->child(folder.id);
        if (!row)
            continue;
        showNow(*row);
        const SyncHealth health = folderHealthOnDevice(folder, m_deviceID, in);
        QString error;
        if (isThisMac && health.kind == SyncHealth::Kind::Error && folder.syncthingFolderID
            && m_env.folders().folderErrors().contains(*folder.syncthingFolderID))
            error = friendlyFolderErrorMessage(m_env.folders().folderErrors().value(*folder.syncthingFolderID));
        const qint64 bytes =
            folder.syncthingFolderID ? m_env.folders().status(*folder.syncthingFolderID).globalBytes : 0;
        auto *detail = row->findChild<ElidedLabel *>(QStringLiteral("detail"));
        auto *errorLabel = row->findChild<QLabel *>(QStringLiteral("error"));
        row->findChild<StatusBubble *>()->setHealth(health);
        row->findChild<ElidedLabel *>(QStringLiteral("label"))->setFullText(folder.label);
        detail->setFullText(SyncPageTexts::folderRowDetail(bytes, health, peerCount, isThisMac));
        setTextIfChanged(*errorLabel, error);
        detail->setVisible(error.isEmpty());
        errorLabel->setVisible(!error.isEmpty());
    }
}

void DeviceInspector::refreshDetails(const QList<QPair<QString, QString>> &rows)
{
    if (rows == m_shownRows && m_alwaysRows->count() > 0)
        return;
    m_shownRows = rows;
    clearLayout(*m_alwaysRows);
    clearLayout(*m_disclosure->content());
    m_alwaysRows->addWidget(sectionTitle(detailsTitle));
    m_alwaysRows->addWidget(detailRows(rows));
    m_disclosure->content()->addWidget(detailRows(rows));
    for (QLayout *layout : {static_cast<QLayout *>(m_alwaysRows), static_cast<QLayout *>(m_disclosure->content())})
        for (int i = 0; i < layout->count(); ++i)
            if (QWidget *widget = layout->itemAt(i)->widget())
                showNow(*widget);
}

void DeviceInspector::togglePause()
{
    detach(setPaused(&m_env.devices(), &m_env.engine(), m_deviceID, !m_paused));
}

RenameSheet *DeviceInspector::openRename()
{
    auto *sheet = new RenameSheet(m_name, m_isThisMac, this);
    connect(sheet, &RenameSheet::saved, this,
            [engine = QPointer<EngineController>(&m_env.engineState()),
             projects = QPointer<ProjectController>(&m_env.projects()), projectID = m_projectID,
             deviceID = m_deviceID, isThisMac = m_isThisMac](const QString &name) {
                detach(saveRename(engine, projects, projectID, deviceID, isThisMac, name));
            });
    sheet->open();
    return sheet;
}

void DeviceInspector::confirmRemove()
{
    QMessageBox *box = confirmAction(*this, removeTitle(m_name), removeMessage, removeMacAction, true,
                                     [projects = QPointer<ProjectController>(&m_env.projects()),
                                      projectID = m_projectID, deviceID = m_deviceID] {
                                         detach(removeMember(projects, projectID, deviceID));
                                     });
    box->setObjectName(QStringLiteral("removeConfirm"));
}

void DeviceInspector::rescan()
{
    const std::optional<Project> project = m_env.projects().project(m_projectID);
    if (project)
        detach(rescanSyncFolders(&m_env.folders(), &m_env.engine(), *project));
}

} // namespace tw

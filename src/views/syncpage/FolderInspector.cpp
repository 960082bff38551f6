#include "views/syncpage/FolderInspector.h"

#include "app/AppEnvironment.h"
#include "app/HealthRules.h"
#include "app/texts/SyncPageTexts.h"
#include "controllers/EngineController.h"
#include "controllers/FolderController.h"
#include "controllers/FormatFileSize.h"
#include "design/AdaptiveGrid.h"
#include "design/CardFrame.h"
#include "design/ContrastRatio.h"
#include "design/DerivedForeground.h"
#include "design/ElidedLabel.h"
#include "design/FileIcon.h"
#include "design/FlowLayout.h"
#include "design/LooksLikeVolumeRoot.h"
#include "design/ShownSymbol.h"
#include "design/StatusBubble.h"
#include "design/TextStyle.h"
#include "design/Theme.h"
#include "design/WrappingLabel.h"
#include "engine/SyncEngine.h"
#include "platform/FileManagerRevealer.h"
#include "projects/FolderDeviceChoice.h"
#include "projects/ProjectController.h"
#include "utilities/Detach.h"
#include "utilities/IsolatedName.h"
#include "views/kit/ConfirmAction.h"
#include "views/kit/PlainLabel.h"
#include "views/syncpage/CapsuleChip.h"
#include "views/syncpage/SyncPageParts.h"

#include <QFontDatabase>
#include <QFrame>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QToolButton>
#include <QVBoxLayout>

namespace tw {

namespace {

constexpr int kTileMinimumWidth = 160;

QLabel *tileTitle(const QString &text)
{
    auto *title = plainLabel(text);
    QFont font = pointsFont(11, QFont::DemiBold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0.4);
    title->setFont(font);
    DerivedForeground::apply(*title, windowTextAt(tertiaryStrength));
    return title;
}

QWidget *tile(const QString &title, QWidget *content)
{
    auto *body = new QWidget;
    auto *column = new QVBoxLayout(body);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    column->addWidget(tileTitle(title));
    column->addWidget(content);
    column->addStretch();
    auto *frame = new CardFrame(body, {.radius = 11, .padding = CardStyle::even(13), .strokeWidth = 0,
                                       .fill = FrameColour::ofPalette(QPalette::WindowText, 0.045)});
    frame->setMinimumHeight(64);
    return frame;
}

// An invalid colour: the chip's secondary text colour.
QColor chipColor(bool excluded, bool paused, const SyncHealth &health)
{
    if (excluded)
        return {};
    if (paused || health.kind == SyncHealth::Kind::Syncing)
        return Theme::syncing();
    return Theme::healthColor(health);
}

QCoro::Task<void> setSyncEnabled(QPointer<ProjectController> projects, QString projectID, QString folderID,
                                 bool enabled)
{
    if (projects)
        co_await projects->setFolderSyncEnabled(projectID, folderID, enabled);
}

QCoro::Task<void> removeFolder(QPointer<ProjectController> projects, QString projectID, QString folderID)
{
    if (projects)
        co_await projects->removeFolder(projectID, folderID);
}

QCoro::Task<void> revealFolder(QDBusConnection bus, QString path)
{
    const FileManagerRevealer revealer(std::move(bus));
    co_await revealer.reveal(path);
}

} // namespace

QString FolderInspector::diskNoteText(qint64 need, qint64 free)
{
    return QStringLiteral("Not enough disk space here \u2014 needs ") + formatFileSize(need)
        + QStringLiteral(", but only ") + formatFileSize(free)
        + QStringLiteral(" free on this Mac. Free up space and it continues automatically.");
}

QString FolderInspector::transferText(const QString &name)
{
    return QStringLiteral("Receiving \u201c") + isolatedName(name)
        + QStringLiteral("\u201d \u2014 big files appear in the file manager only once complete.");
}

QString FolderInspector::removeTitle(const QString &label)
{
    return QStringLiteral("Remove \u201c") + isolatedName(label) + QStringLiteral("\u201d from this sync?");
}

FolderInspector::FolderInspector(AppEnvironment &env, QString projectID, QString folderID, QWidget *parent)
    : RefreshingView(parent)
    , m_env(env)
    , m_projectID(std::move(projectID))
    , m_folderID(std::move(folderID))
    , m_revealBus(QDBusConnection::sessionBus())
{
    setObjectName(QStringLiteral("folderInspector"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(14);
    column->addWidget(makeHeader());

    m_diskText = new WrappingLabel;
    m_diskText->setObjectName(QStringLiteral("diskNoteText"));
    m_diskText->setFont(pointsFont(12));
    QColor orangeFill = Theme::orange();
    orangeFill.setAlphaF(0.12);
    tintText(*m_diskText, Theme::orange(), orangeFill);
    auto *diskBody = new QWidget;
    auto *diskRow = new QHBoxLayout(diskBody);
    diskRow->setContentsMargins(0, 0, 0, 0);
    auto *warning = plainLabel();
    showSymbol(*warning, Symbol::ExclamationmarkTriangleFill, 14, Theme::orange());
    diskRow->addWidget(warning, 0, Qt::AlignTop);
    diskRow->addWidget(m_diskText, 1);
    m_diskNote = new CardFrame(diskBody, {.radius = 8, .padding = CardStyle::even(8), .strokeWidth = 0, .fill = orangeFill});
    m_diskNote->setObjectName(QStringLiteral("diskNote"));
    column->addWidget(m_diskNote);

    // What the drive cannot keep is no fault of the folder's: said quietly.
    m_xattrNote = new WrappingLabel(xattrNoteText);
    m_xattrNote->setObjectName(QStringLiteral("xattrNote"));
    m_xattrNote->setFont(pointsFont(12));
    setSecondaryForeground(*m_xattrNote);
    column->addWidget(m_xattrNote);

    m_transferRow = new QWidget;
    m_transferRow->setObjectName(QStringLiteral("transferRow"));
    m_transferRow->setFixedHeight(16);
    auto *transferLayout = new QHBoxLayout(m_transferRow);
    transferLayout->setContentsMargins(0, 0, 0, 0);
    transferLayout->setSpacing(6);
    auto *arrow = plainLabel();
    showSymbol(*arrow, Symbol::TrayArrowDown, 12, Theme::syncing());
    // The file's name comes from the disk: cut to the inspector's width.
    m_transfer = new ElidedLabel(Qt::ElideRight);
    m_transfer->setFullText(QStringLiteral(" "));
    m_transfer->setObjectName(QStringLiteral("transfer"));
    m_transfer->setFont(pointsFont(12));
    setForeground(*m_transfer, Theme::syncing());
    transferLayout->addWidget(arrow);
    transferLayout->addWidget(m_transfer, 1);
    auto *opacity = new QGraphicsOpacityEffect(m_transferRow);
    opacity->setOpacity(0);
    m_transferRow->setGraphicsEffect(opacity);
    column->addWidget(m_transferRow);

    column->addWidget(makeTiles());
    m_actionBar = new QWidget;
    m_actionBar->setObjectName(QStringLiteral("actionBar"));
    auto *foot = new QVBoxLayout(m_actionBar);
    foot->setContentsMargins(0, 0, 0, 0);
    foot->setSpacing(14);
    auto *divider = new QFrame;
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    // A separator's faint line, not the text's.
    DerivedForeground::apply(*divider, windowTextAt(0.15, 0));
    foot->addWidget(divider);
    foot->addWidget(makeActions());
    column->addWidget(m_actionBar);
    column->addStretch();
}

QWidget *FolderInspector::makeHeader()
{
    auto *header = new QWidget;
    auto *row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);
    m_icon = new FileIcon(QString(), false, 24);
    m_label = new ElidedLabel(Qt::ElideRight);
    m_label->setObjectName(QStringLiteral("label"));
    m_label->setFont(pointsFont(19, QFont::DemiBold));
    m_path = new ElidedLabel;
    m_path->setObjectName(QStringLiteral("path"));
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSizeF(pointsFont(11).pointSizeF());
    m_path->setFont(mono);
    DerivedForeground::apply(*m_path, windowTextAt(tertiaryStrength));
    auto *names = new QVBoxLayout;
    names->setSpacing(1);
    names->addWidget(m_label);
    names->addWidget(m_path);
    m_receiveOnly = plainLabel(receiveOnlyText);
    m_receiveOnly->setObjectName(QStringLiteral("receiveOnly"));
    m_receiveOnly->setFont(pointsFont(11, QFont::Medium));
    QColor badgeFill = Theme::accent();
    badgeFill.setAlphaF(0.16f);
    tintText(*m_receiveOnly, Theme::accent(), badgeFill);
    // A capsule: the ends are half circles of the badge's height.
    const int badgeHeight = QFontMetrics(m_receiveOnly->font()).height() + 6;
    m_receiveOnlyBadge = new CardFrame(m_receiveOnly, {.radius = badgeHeight / 2.0,
                                                       .padding = QMargins(8, 3, 8, 3),
                                                       .strokeWidth = 0,
                                                       .fill = badgeFill});
    m_receiveOnlyBadge->setFixedHeight(badgeHeight);
    m_bubble = new StatusBubble(SyncHealth::allSynced(), 16);
    m_status = plainLabel();
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setFont(pointsFont(13, QFont::Medium));
    row->addWidget(m_icon);
    row->addLayout(names, 1);
    row->addWidget(m_receiveOnlyBadge);
    auto *status = new QHBoxLayout;
    status->setSpacing(6);
    status->addWidget(m_bubble);
    status->addWidget(m_status);
    row->addLayout(status);
    return header;
}

QWidget *FolderInspector::makeTiles()
{
    auto *macs = new QWidget;
    auto *flow = new FlowLayout(6, 6, macs);
    flow->setContentsMargins(0, 0, 0, 0);
    m_deviceChips = new KeyedList<CapsuleChip>(flow, [this](const QString &id) { return makeDeviceChip(id); });

    auto *ignores = new QWidget;
    auto *stack = new QVBoxLayout(ignores);
    stack->setContentsMargins(0, 0, 0, 0);
    m_everythingSyncs = new QWidget;
    m_everythingSyncs->setObjectName(QStringLiteral("everythingSyncs"));
    auto *synced = new QHBoxLayout(m_everythingSyncs);
    synced->setContentsMargins(0, 0, 0, 0);
    synced->setSpacing(7);
    auto *seal = plainLabel();
    showSymbol(*seal, Symbol::CheckmarkCircleFill, 13, Theme::synced());
    auto *syncsText = plainLabel(everythingSyncsText);
    syncsText->setFont(pointsFont(13));
    setSecondaryForeground(*syncsText);
    synced->addWidget(seal);
    synced->addWidget(syncsText, 1);
    m_patternBox = new QWidget;
    m_patterns = new FlowLayout(6, 6, m_patternBox);
    m_patterns->setContentsMargins(0, 0, 0, 0);
    stack->addWidget(m_everythingSyncs);
    stack->addWidget(m_patternBox);
    m_patternBox->hide();

    // Two equal columns: a box layout would give the fuller tile its wider
    // wish whenever the row is short of room.
    auto *tiles = new QWidget;
    auto *row = new AdaptiveGrid(kTileMinimumWidth, 14, tiles);
    row->setFixedColumns(2);
    for (QWidget *shown : {tile(statusPerMacTitle, macs), tile(ignoresTitle, ignores)}) {
        row->addWidget(shown);
        row->setAlignment(shown, Qt::AlignTop);
    }
    return tiles;
}

QToolButton *FolderInspector::actionButton(const char *name, const QString &text, Symbol symbol)
{
    auto *button = new QToolButton;
    button->setObjectName(QString::fromLatin1(name));
    button->setText(text);
    button->setAutoRaise(true);
    button->setFont(pointsFont(13));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    showSymbol(*button, symbol);
    return button;
}

QWidget *FolderInspector::makeActions()
{
    // The six wrap onto a second line where the inspector is narrow, so it
    // never scrolls sideways; "Remove" keeps the far end of the first. All
    // seven are children of the bar, so Tab reads them as the eye does:
    // "Remove" before the second line.
    auto *bar = new QWidget;
    auto *row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(18);
    auto *flow = new FlowLayout(18, 6);
    flow->setContentsMargins(0, 0, 0, 0);
    QToolButton *settings = actionButton("settings", QStringLiteral("Settings"), Symbol::SliderHorizontal3);
    m_ignore = actionButton("ignore", QStringLiteral("Ignore"), Symbol::EyeSlash);
    m_archive = actionButton("archive", QStringLiteral("Archive"), Symbol::ClockArrowCirclepath);
    m_pause = actionButton("pause", QStringLiteral("Pause"), Symbol::PauseFill);
    QToolButton *reveal = actionButton("reveal", showInFileManager, Symbol::Folder);
    m_purge = actionButton("purge", QStringLiteral("Remove from others"), Symbol::Person2Slash);
    QToolButton *remove = actionButton("remove", QStringLiteral("Remove"), Symbol::Trash);
    showSymbol(*remove, Symbol::Trash, readableTint(Theme::danger(), textContrast));
    connect(settings, &QToolButton::clicked, this, &FolderInspector::settingsRequested);
    connect(m_ignore, &QToolButton::clicked, this, &FolderInspector::omitRequested);
    connect(m_archive, &QToolButton::clicked, this, &FolderInspector::archiveRequested);
    connect(m_purge, &QToolButton::clicked, this, &FolderInspector::purgeRequested);
    connect(m_pause, &QToolButton::clicked, this, &FolderInspector::toggleSync);
    connect(reveal, &QToolButton::clicked, this, &FolderInspector::reveal);
    connect(remove, &QToolButton::clicked, this, &FolderInspector::confirmRemove);
    for (QToolButton *button : {settings, m_ignore, m_archive, m_pause, reveal, m_purge})
        flow->addWidget(button);
    row->addLayout(flow, 1);
    row->addWidget(remove, 0, Qt::AlignTop);
    return bar;
}

void FolderInspector::setFolderID(QString folderID)
{
    if (folderID == m_folderID)
        return;
    m_folderID = std::move(folderID);
    m_ignores.clear();
    m_showAllOmits = false;
    refreshIgnoreTile();
    if (isVisible())
        loadIgnores();
    refresh();
}

void FolderInspector::showEvent(QShowEvent *event)
{
    loadIgnores();
    RefreshingView::showEvent(event);
}

void FolderInspector::loadIgnores()
{
    const std::optional<ProjectFolder> folder = m_env.projects().folderOf(m_projectID, m_folderID);
    m_showAllOmits = false;
    if (!folder)
        return;
    detach(loadIgnoresTask(this, ++m_loadGeneration, folder->syncthingFolderID, folder->ignorePatterns));
}

QCoro::Task<void> FolderInspector::loadIgnoresTask(QPointer<FolderInspector> self, quint64 generation,
                                                   std::optional<QString> engineID, QStringList stored)
{
    QStringList patterns = stored;
    if (engineID) {
        try {
            patterns = co_await self->m_env.engine().ignorePatterns(*engineID);
        } catch (...) {
            patterns.clear();
        }
    }
    if (!self || self->m_loadGeneration != generation)
        co_return;
    self->m_ignores = patterns;
    self->refreshIgnoreTile();
}

void FolderInspector::refreshContents()
{
    const std::optional<Project> project = m_env.projects().project(m_projectID);
    const std::optional<ProjectFolder> folder = m_env.projects().folderOf(m_projectID, m_folderID);
    if (!project || !folder)
        return;
    const HealthInputs in = m_env.healthInputs();
    const QList<ProjectDeviceRef> macs = projectDevices(*project, in);
    const int peers = int(macs.size()) - 1;
    const SyncHealth health = folderHealth(*folder, in);

    if (m_icon->path() != folder->localPath)
        m_icon->setPath(folder->localPath, looksLikeVolumeRoot(folder->localPath));
    m_label->setFullText(folder->label);
    if (m_path->fullText() != folder->localPath)
        m_path->setFullText(folder->localPath);
    setToolTipIfChanged(*m_path, folder->localPath);
    m_receiveOnlyBadge->setVisible(project->ownRole() != MemberRole::Editor);
    m_bubble->setHealth(health);
    setTextIfChanged(*m_status, SyncPageTexts::headerStatus(health, peers));
    setForeground(*m_status, Theme::healthColor(health));

    const std::optional<DiskShortfall> shortfall = m_env.diskShortfall(*folder);
    m_diskNote->setVisible(shortfall.has_value());
    if (shortfall)
        setTextIfChanged(*m_diskText, diskNoteText(shortfall->need, shortfall->free));

    // Only what the user asked to travel is missed.
    m_xattrNote->setVisible(folder->syncMetadata && m_env.projects().driveRefusesXattrs(folder->localPath));

    const QString transferName =
        folder->syncthingFolderID ? m_env.folders().transferring().value(*folder->syncthingFolderID) : QString();
    setTextIfChanged(*m_transfer, transferName.isEmpty() ? QStringLiteral(" ") : transferText(transferName));
    static_cast<QGraphicsOpacityEffect *>(m_transferRow->graphicsEffect())->setOpacity(transferName.isEmpty() ? 0 : 1);

    const bool hasEngineID = folder->syncthingFolderID.has_value();
    m_ignore->setEnabled(hasEngineID);
    m_archive->setEnabled(hasEngineID);
    m_purge->setEnabled(hasEngineID);
    const QString pauseText = folder->syncEnabled ? QStringLiteral("Pause") : QStringLiteral("Resume");
    if (m_pause->text() != pauseText) {
        m_pause->setText(pauseText);
        showSymbol(*m_pause, folder->syncEnabled ? Symbol::PauseFill : Symbol::PlayFill);
    }
    // While everything is paused the header reads "Paused" whatever the
    // folder's own switch says: only "Resume" (all) changes what Syncthing does.
    m_pause->setEnabled(!m_env.engineState().isAllPaused());
    refreshDeviceChips(*folder, macs);
}

CapsuleChip *FolderInspector::makeDeviceChip(const QString &deviceID)
{
    auto *chip = new CapsuleChip;
    chip->setObjectName(QStringLiteral("deviceChip"));
    chip->setProperty("deviceID", deviceID);
    if (!m_editable.value(deviceID))
        return chip;
    auto *menu = new QMenu(chip);
    const auto item = [this, menu, deviceID](const QString &text, CellState state) {
        QAction *action = menu->addAction(text);
        action->setCheckable(true);
        action->setData(int(state));
        connect(action, &QAction::triggered, this, [this, deviceID, state] { choose(deviceID, state); });
    };
    item(receivesItem, CellState::Active);
    item(pauseItem, CellState::Paused);
    menu->addSeparator();
    item(excludeItem, CellState::Excluded);
    chip->setMenu(menu);
    chip->setInteractive(true);
    return chip;
}

void FolderInspector::refreshDeviceChips(const ProjectFolder &folder, const QList<ProjectDeviceRef> &macs)
{
    QStringList ids;
    for (const ProjectDeviceRef &mac : macs) {
        ids.append(mac.id);
        m_editable.insert(mac.id, !mac.isThisMac && !mac.isAlwaysOnNode);
    }
    m_deviceChips->setIDs(ids);
    for (const ProjectDeviceRef &mac : macs)
        if (CapsuleChip *chip = m_deviceChips->child(mac.id)) {
            showNow(*chip);
            refreshDeviceChip(*chip, folder, mac, int(macs.size()) - 1);
        }
}

void FolderInspector::refreshDeviceChip(CapsuleChip &chip, const ProjectFolder &folder, const ProjectDeviceRef &mac,
                                        int peers)
{
    const SyncHealth health = folderHealthOnDevice(folder, mac.id, m_env.healthInputs());
    const bool excluded = folder.excludedDeviceIDs.contains(mac.id);
    const bool paused = folder.pausedDeviceIDs.contains(mac.id);
    CapsuleChip::Face face{.markSize = excluded || paused ? 11 : 12,
                           .text = mac.name,
                           .font = pointsFont(12, QFont::Medium),
                           .color = chipColor(excluded, paused, health),
                           .struckOut = excluded};
    if (excluded)
        face.symbol = Symbol::MinusCircleFill;
    else if (paused)
        face.symbol = Symbol::PauseCircleFill;
    else
        face.health = health;
    chip.setFace(face);
    const bool editable = chip.menu() != nullptr;
    const QString status = SyncPageTexts::chipStatus(health, peers, mac.isThisMac);
    setToolTipIfChanged(chip, !editable ? status : excluded ? excludedHelp : paused ? pausedHelp : status);
    if (QMenu *menu = chip.menu()) {
        const CellState current = excluded ? CellState::Excluded : paused ? CellState::Paused : CellState::Active;
        for (QAction *action : menu->actions())
            if (action->isCheckable())
                action->setChecked(action->data().toInt() == int(current));
    }
}

void FolderInspector::refreshIgnoreTile()
{
    const bool collapsed = !m_showAllOmits && m_ignores.size() > shownPatterns;
    const QStringList shown = collapsed ? m_ignores.mid(0, shownPatterns) : m_ignores;
    m_everythingSyncs->setVisible(m_ignores.isEmpty());
    m_patternBox->setVisible(!m_ignores.isEmpty());
    const std::pair<QStringList, bool> rendered{m_ignores, collapsed};
    if (m_shownPatterns == rendered)
        return;
    m_shownPatterns = rendered;
    while (QLayoutItem *item = m_patterns->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    for (const QString &pattern : shown) {
        const bool hidden = pattern == QStringLiteral(".*");
        auto *chip = new CapsuleChip;
        chip->setObjectName(QStringLiteral("omitChip"));
        QFont font = pointsFont(12);
        if (!hidden)
            font.setFamily(QFontDatabase::systemFont(QFontDatabase::FixedFont).family());
        chip->setFace({.symbol = hidden ? Symbol::EyeSlash : Symbol::EyeSlashFill,
                       .markSize = 10,
                       .text = hidden ? hiddenFilesText : pattern,
                       .font = font,
                       .color = Theme::syncing(),
                       .fillOpacity = 0.16});
        setToolTipIfChanged(*chip, pattern);
        chip->setMaximumWidth(260);
        m_patterns->addWidget(chip);
        showNow(*chip);
    }
    if (collapsed) {
        auto *more = new CapsuleChip;
        more->setObjectName(QStringLiteral("moreChip"));
        more->setFace({.text = QString::number(m_ignores.size() - shown.size()) + moreSuffix,
                       .font = pointsFont(12, QFont::Medium),
                       .color = {},
                       .fillOpacity = 0.08});
        more->setInteractive(true);
        connect(more, &QToolButton::clicked, this, [this] {
            m_showAllOmits = true;
            refreshIgnoreTile();
        });
        m_patterns->addWidget(more);
        showNow(*more);
    }
}

void FolderInspector::choose(const QString &deviceID, CellState state)
{
    const QPointer<AppEnvironment> env(&m_env);
    ClusterStoreSource store = [env]() -> ClusterConfigStore * { return env ? env->clusterStore() : nullptr; };
    Clock clock = [env] { return env ? env->now() : QDateTime::currentDateTimeUtc(); };
    detach(applyFolderDeviceChoice(&m_env.projects(), std::move(store), std::move(clock),
                                   {m_projectID, m_folderID, deviceID, state}));
}

void FolderInspector::toggleSync()
{
    const std::optional<ProjectFolder> folder = m_env.projects().folderOf(m_projectID, m_folderID);
    if (folder)
        detach(setSyncEnabled(&m_env.projects(), m_projectID, m_folderID, !folder->syncEnabled));
}

void FolderInspector::reveal()
{
    const std::optional<ProjectFolder> folder = m_env.projects().folderOf(m_projectID, m_folderID);
    if (folder)
        detach(revealFolder(m_revealBus, folder->localPath));
}

void FolderInspector::confirmRemove()
{
    const std::optional<ProjectFolder> folder = m_env.projects().folderOf(m_projectID, m_folderID);
    if (!folder)
        return;
    QMessageBox *box = confirmAction(*this, removeTitle(folder->label), removeMessage, removeFolderAction, true,
                                     [projects = QPointer<ProjectController>(&m_env.projects()),
                                      projectID = m_projectID, folderID = m_folderID] {
                                         detach(removeFolder(projects, projectID, folderID));
                                     });
    box->setObjectName(QStringLiteral("removeConfirm"));
}

} // namespace tw

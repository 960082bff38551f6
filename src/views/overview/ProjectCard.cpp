#include "views/overview/ProjectCard.h"

#include "app/AppEnvironment.h"
#include "app/HealthRules.h"
#include "controllers/FolderController.h"
#include "design/AdaptiveGrid.h"
#include "design/CardFrame.h"
#include "design/DerivedForeground.h"
#include "design/DestructiveItem.h"
#include "design/ElidedLabel.h"
#include "design/ShownSymbol.h"
#include "design/StatusDot.h"
#include "design/Symbol.h"
#include "design/TextStyle.h"
#include "design/Theme.h"
#include "projects/ProjectController.h"
#include "views/kit/FocusRing.h"
#include "views/kit/KeyActivation.h"
#include "views/kit/PlainLabel.h"
#include "views/overview/DeviceMini.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QVBoxLayout>
#include <algorithm>

namespace tw {

const QString ProjectCard::removeItemText = QStringLiteral("Remove sync\u2026");

namespace {

constexpr qreal kCardRadius = 14;

void setTextIfChanged(QLabel *label, const QString &text)
{
    if (label->text() != text)
        label->setText(text);
}

QLabel *toneLabel(QFont font, QWidget *parent)
{
    auto *label = plainLabel(parent);
    label->setFont(font);
    return label;
}

QWidget *iconTile(QWidget *parent)
{
    auto *tile = plainLabel(parent);
    tile->setObjectName(QStringLiteral("iconTile"));
    tile->setFixedSize(52, 52);
    tile->setAlignment(Qt::AlignCenter);
    showSymbol(*tile, Symbol::FilmStack, 26, Theme::accent());
    return tile;
}

} // namespace

QColor cardToneColor(CardTone tone)
{
    switch (tone) {
    case CardTone::Syncing:
        return Theme::syncing();
    case CardTone::Offline:
        return Theme::offline();
    case CardTone::Synced:
        return Theme::synced();
    case CardTone::Danger:
        return Theme::danger();
    }
    return Theme::offline();
}

ProjectCard::ProjectCard(AppEnvironment &env, QString projectID, QWidget *parent)
    : QWidget(parent), m_env(env), m_projectID(std::move(projectID)), m_name(new ElidedLabel(Qt::ElideRight, this)),
      m_subtitle(toneLabel(pointsFont(13), this)), m_dot(new StatusDot(Theme::synced(), 9, this)),
      m_status(toneLabel(pointsFont(12, QFont::Medium), this)), m_miniGrid(new AdaptiveGrid(10, 8)),
      m_progress(new QProgressBar(this)), m_healthLine(toneLabel(pointsFont(12), this))
{
    setObjectName(QStringLiteral("projectCard"));
    m_name->setFont(pointsFont(17, QFont::DemiBold));
    setMinimumHeight(140);
    setCursor(Qt::PointingHandCursor);
    // Reached with Tab like a button, opened with Return, Enter or Space.
    KeyActivation::install(*this, [this] { emit clicked(); });
    FocusRing::setShape(*this, 0, kCardRadius);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &ProjectCard::showMenu);

    DerivedForeground::apply(*m_subtitle, windowTextAt(secondaryStrength));
    DerivedForeground::apply(*m_healthLine, windowTextAt(secondaryStrength));
    m_subtitle->setObjectName(QStringLiteral("subtitle"));
    m_status->setObjectName(QStringLiteral("status"));
    m_healthLine->setObjectName(QStringLiteral("healthLine"));

    // The header's row is taller than the block: the block stays together,
    // centred, rather than parting its dot from its text.
    auto *status = new QVBoxLayout;
    status->setSpacing(4);
    status->addStretch();
    status->addWidget(m_dot, 0, Qt::AlignRight);
    status->addWidget(m_status, 0, Qt::AlignRight);
    status->addStretch();
    auto *names = new QVBoxLayout;
    names->setSpacing(3);
    names->addWidget(m_name);
    names->addWidget(m_subtitle);
    auto *header = new QHBoxLayout;
    header->setSpacing(14);
    header->addWidget(iconTile(this));
    header->addLayout(names, 1);
    header->addLayout(status);

    auto *minis = new QWidget(this);
    minis->setLayout(m_miniGrid);
    m_minis = new KeyedList<DeviceMini>(m_miniGrid, [minis](const QString &) { return new DeviceMini(minis); });

    m_progress->setRange(0, 1000);
    m_progress->setTextVisible(false);
    m_progress->setFixedHeight(4);
    auto *health = new QWidget(this);
    health->setFixedHeight(36);
    auto *healthColumn = new QVBoxLayout(health);
    healthColumn->setContentsMargins(0, 0, 0, 0);
    healthColumn->setSpacing(4);
    healthColumn->addWidget(m_progress);
    healthColumn->addWidget(m_healthLine);
    healthColumn->addStretch();

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(18, 18, 18, 18);
    column->setSpacing(14);
    column->addLayout(header);
    column->addWidget(minis);
    column->addWidget(health);
    // A card the grid makes as tall as its neighbour keeps its content at
    // the top, level with the neighbour's: only this takes the extra height
    // (the status block's own stretches would share it otherwise).
    column->addStretch(1);
}

QString ProjectCard::subtitle() const
{
    return m_subtitle->text();
}

void ProjectCard::refresh(const HealthInputs &in)
{
    const std::optional<Project> project = m_env.projects().project(m_projectID);
    if (!project)
        return;
    const QList<ProjectDeviceRef> devices = projectDevices(*project, in);
    const int macs = int(std::count_if(devices.begin(), devices.end(),
                                       [](const ProjectDeviceRef &device) { return !device.isAlwaysOnNode; }));
    m_name->setFullText(project->name);
    setTextIfChanged(m_subtitle, overviewSubtitle(macs, int(project->folders.size()),
                                                  projectGlobalBytes(*project, in.folderStatuses)));
    showPresentation(cardPresentation(projectHealth(*project, in), devices.size() == 1,
                                      projectTeamCatchingUp(*project, in)));

    QStringList ids;
    for (const ProjectDeviceRef &device : devices)
        ids.append(device.id);
    m_miniGrid->setFixedColumns(std::max(1, std::min(4, int(devices.size()))));
    m_minis->setIDs(ids);
    for (const ProjectDeviceRef &device : devices) {
        if (DeviceMini *mini = m_minis->child(device.id))
            mini->refresh(m_env, *project, device, in);
    }
}

void ProjectCard::showPresentation(const CardPresentation &shown)
{
    if (m_presented && shown == m_shown)
        return;
    const bool toneChanged = !m_presented || shown.tone != m_shown.tone;
    m_shown = shown;
    m_presented = true;
    setTextIfChanged(m_status, shown.statusText);
    setTextIfChanged(m_healthLine, shown.healthLine);
    m_progress->setValue(int(std::clamp(shown.progress, 0.0, 1.0) * 1000));
    if (toneChanged) {
        const QColor color = cardToneColor(shown.tone);
        m_dot->setColor(color);
        tintText(*m_status, color);
        tintMark(*m_progress, color, QPalette::Highlight);
    }
}

void ProjectCard::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintCard(painter, rect(), CardStyle{.radius = kCardRadius, .padding = {}}, palette());
}

void ProjectCard::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

void ProjectCard::showMenu(const QPoint &position)
{
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction *remove = menu->addAction(removeItemText);
    markDestructive(*remove, Symbol::Trash);
    remove->setObjectName(QStringLiteral("removeSync"));
    connect(remove, &QAction::triggered, this, &ProjectCard::removeRequested);
    menu->popup(mapToGlobal(position));
}

} // namespace tw

#include "views/syncpage/FolderChip.h"

#include "app/AppEnvironment.h"
#include "app/HealthRules.h"
#include "app/texts/SyncPageTexts.h"
#include "controllers/ETAEstimator.h"
#include "controllers/FolderController.h"
#include "design/CardFrame.h"
#include "design/ElidedLabel.h"
#include "design/FileIcon.h"
#include "design/LooksLikeVolumeRoot.h"
#include "design/StatusBubble.h"
#include "design/TextStyle.h"
#include "design/Theme.h"
#include "projects/ProjectController.h"
#include "views/kit/FocusRing.h"
#include "views/kit/KeyActivation.h"
#include "views/kit/PlainLabel.h"
#include "views/syncpage/SyncPageParts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

namespace tw {

FolderChip::FolderChip(AppEnvironment &env, QString projectID, QString folderID, QWidget *parent)
    : QWidget(parent)
    , m_env(env)
    , m_projectID(std::move(projectID))
    , m_folderID(std::move(folderID))
    , m_icon(new FileIcon(QString(), false, 17))
    , m_label(new ElidedLabel(Qt::ElideRight))
    , m_bubble(new StatusBubble(SyncHealth::allSynced(), 13))
    , m_detail(new ElidedLabel(Qt::ElideRight))
{
    setObjectName(QStringLiteral("folderChip"));
    // Opened from the keyboard as by a click; the ring runs inside the
    // selected card's edge, so a chosen card still shows where the focus is.
    KeyActivation::install(*this, [this] { emit clicked(); });
    FocusRing::setShape(*this, 3, 10 - 3);
    m_label->setObjectName(QStringLiteral("label"));
    m_detail->setObjectName(QStringLiteral("detail"));
    m_label->setFont(pointsFont(13, QFont::Medium));
    m_detail->setFont(pointsFont(12));
    setSecondaryForeground(*m_detail);

    auto *top = new QHBoxLayout;
    top->setSpacing(7);
    top->addWidget(m_icon);
    top->addWidget(m_label, 1);
    auto *bottom = new QHBoxLayout;
    bottom->setSpacing(6);
    bottom->addWidget(m_bubble);
    bottom->addWidget(m_detail, 1);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(13, 13, 13, 13);
    column->setSpacing(5);
    column->addLayout(top);
    column->addLayout(bottom);
    // Made as tall as its row by the grid, it keeps its content at the top.
    column->addStretch(1);
    refresh();
}

void FolderChip::setSelected(bool selected)
{
    if (m_selected == selected)
        return;
    m_selected = selected;
    update();
}

void FolderChip::refresh()
{
    const std::optional<ProjectFolder> folder = m_env.projects().folderOf(m_projectID, m_folderID);
    if (!folder)
        return;
    const HealthInputs in = m_env.healthInputs();
    const SyncHealth health = folderHealth(*folder, in);
    std::optional<qint64> bytes;
    std::optional<double> eta;
    if (folder->syncthingFolderID) {
        bytes = m_env.folders().status(*folder->syncthingFolderID).globalBytes;
        eta = m_env.eta().eta(*folder->syncthingFolderID, m_env.now());
    }
    if (m_icon->path() != folder->localPath)
        m_icon->setPath(folder->localPath, looksLikeVolumeRoot(folder->localPath));
    m_label->setFullText(folder->label);
    m_bubble->setHealth(health);
    setTextIfChanged(*m_detail, SyncPageTexts::folderChipDetail(health, bytes, eta));
}

void FolderChip::paintEvent(QPaintEvent *)
{
    CardStyle style{.radius = 10, .padding = CardStyle::even(13)};
    if (m_selected) {
        style.strokeWidth = 1.5;
        style.stroke = Theme::accent();
    } else {
        style.stroke = FrameColour::ofPalette(QPalette::WindowText, 0.18);
    }
    QPainter painter(this);
    paintCard(painter, rect(), style, palette());
}

void FolderChip::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

} // namespace tw

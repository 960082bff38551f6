#include "views/overview/ProjectOverviewView.h"

#include "app/AppEnvironment.h"
#include "design/AdaptiveGrid.h"
#include "design/ContrastRatio.h"
#include "design/DerivedForeground.h"
#include "design/ShownSymbol.h"
#include "design/Symbol.h"
#include "design/TextStyle.h"
#include "design/Theme.h"
#include "projects/ProjectController.h"
#include "utilities/IsolatedName.h"
#include "views/kit/ConfirmAction.h"
#include "views/kit/FocusRing.h"
#include "views/kit/PlainLabel.h"
#include "views/kit/StyledLabel.h"
#include "views/overview/NewProjectSheet.h"
#include "views/overview/ProjectCard.h"
#include "views/window/NavigationPath.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QVBoxLayout>

namespace tw {

const QString ProjectOverviewView::titleText = QStringLiteral("Syncs");
const QString ProjectOverviewView::emptyTitle = QStringLiteral("No syncs yet");
const QString ProjectOverviewView::emptyText =
    QStringLiteral("A sync is one film or job. Add the drives to sync and invite your team \u2014 both sides confirm "
                   "once, then files flow automatically.");
const QString ProjectOverviewView::tileText = QStringLiteral("New sync");
const QString ProjectOverviewView::newSyncText = QStringLiteral("New Sync");
const QString ProjectOverviewView::incomingText = QStringLiteral("Incoming (%1)");
const QString ProjectOverviewView::showIgnoredText = QStringLiteral("Show %1 ignored");
const QString ProjectOverviewView::showIgnoredTip =
    QStringLiteral("A teammate is inviting you again to folder(s) you previously ignored. Show them so you can accept.");
const QString ProjectOverviewView::removeTitle = QStringLiteral("Remove \u201C%1\u201D?");
const QString ProjectOverviewView::removeMessage =
    QStringLiteral("This stops syncing and removes the sync from this app. Your files on this Mac (and your "
                   "teammates\u2019) are kept \u2014 nothing is deleted from disk.");
const QString ProjectOverviewView::removeAction = QStringLiteral("Remove sync");

namespace {

QWidget *makeEmptyState(QWidget *parent)
{
    auto *empty = new QWidget(parent);
    empty->setObjectName(QStringLiteral("emptyState"));
    auto *column = new QVBoxLayout(empty);
    column->setContentsMargins(0, 60, 0, 60);
    column->setSpacing(14);
    auto *icon = plainLabel(empty);
    showSymbol(*icon, Symbol::FilmStack, 46, windowTextAt(secondaryStrength));
    column->addWidget(icon, 0, Qt::AlignHCenter);
    QLabel *title = styledLabel(ProjectOverviewView::emptyTitle, TextRole::Title2);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    title->setObjectName(QStringLiteral("emptyTitle"));
    column->addWidget(title, 0, Qt::AlignHCenter);
    QLabel *text = styledLabel(ProjectOverviewView::emptyText, TextRole::Body, TextTone::Secondary);
    text->setObjectName(QStringLiteral("emptyText"));
    text->setFont(pointsFont(14));
    text->setAlignment(Qt::AlignHCenter);
    text->setMaximumWidth(440);
    column->addWidget(text, 0, Qt::AlignHCenter);
    return empty;
}

// The new-sync tile: its text and symbol in the accent, in a dashed frame.
// Painted here rather than by a style sheet, which would keep the text's
// colour from following the appearance.
class NewSyncTile : public QPushButton
{
public:
    static constexpr int kPadding = 16;
    static constexpr qreal kRadius = 14;

    using QPushButton::QPushButton;

    QSize sizeHint() const override
    {
        return {QPushButton::sizeHint().width(), QFontMetrics(font()).height() + 2 * kPadding};
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        painter.drawControl(QStyle::CE_PushButtonLabel, option);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(Qt::NoBrush);
        QColor edge = Theme::accent();
        edge.setAlphaF(0.35f);
        QPen dashed(edge, 1, Qt::CustomDashLine);
        dashed.setDashPattern({5, 5});
        painter.setPen(dashed);
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), kRadius, kRadius);
    }
};

QPushButton *makeTile(QWidget *parent)
{
    auto *tile = new NewSyncTile(ProjectOverviewView::tileText, parent);
    tile->setObjectName(QStringLiteral("newSyncTile"));
    tile->setFont(pointsFont(15));
    tile->setCursor(Qt::PointingHandCursor);
    tile->setFlat(true);
    // The window's one ring marks the keyboard's focus here too, along the
    // dashed edge's corners: the tile draws no focus of its own.
    FocusRing::setShape(*tile, 0, NewSyncTile::kRadius);
    // The text and its symbol in the accent's readable shade.
    showSymbol(*tile, Symbol::Plus, readableTint(Theme::accent(), textContrast));
    return tile;
}

} // namespace

ProjectOverviewView::ProjectOverviewView(AppEnvironment &env, NavigationPath &path, QWidget *parent)
    : RefreshingView(parent), m_env(env), m_path(path)
{
    setObjectName(QStringLiteral("projectOverview"));
    setWindowTitle(titleText);

    auto *column = new QWidget;
    column->setMaximumWidth(maximumWidth);
    auto *columnLayout = new QVBoxLayout(column);
    columnLayout->setContentsMargins(20, 20, 20, 20);
    columnLayout->setSpacing(16);
    m_empty = makeEmptyState(column);
    m_gridHost = new QWidget(column);
    m_gridHost->setObjectName(QStringLiteral("cardGrid"));
    m_grid = new AdaptiveGrid(480, 16, m_gridHost);
    m_cards = new KeyedList<ProjectCard>(m_grid, [this](const QString &id) { return makeCard(id); });
    m_tile = makeTile(column);
    columnLayout->addWidget(m_empty);
    columnLayout->addWidget(m_gridHost);
    columnLayout->addWidget(m_tile);
    columnLayout->addStretch();

    auto *centred = new QWidget;
    auto *row = new QHBoxLayout(centred);
    row->setContentsMargins(0, 0, 0, 0);
    row->addStretch();
    row->addWidget(column, 1);
    row->addStretch();
    auto *scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(centred);
    auto *page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->addWidget(scroll);

    m_incoming = new QAction(symbolIcon(Symbol::TrayArrowDown), QString(), this);
    m_incoming->setObjectName(QStringLiteral("incoming"));
    m_ignored = new QAction(symbolIcon(Symbol::EyeSlash), QString(), this);
    m_ignored->setObjectName(QStringLiteral("showIgnored"));
    m_ignored->setToolTip(showIgnoredTip);
    m_newSync = new QAction(symbolIcon(Symbol::PlusCircle), newSyncText, this);
    m_newSync->setObjectName(QStringLiteral("newSync"));
    // "New Sync" is always there: it stands first, at the toolbar's fixed
    // end, so the buttons that come and go with requests never shift it
    // from under the pointer.
    addActions({m_newSync, m_incoming, m_ignored});

    connect(m_incoming, &QAction::triggered, this, [this] { m_path.push(NavigationPath::incomingRoute); });
    connect(m_ignored, &QAction::triggered, this, [this] { m_env.projects().resetIgnoredInvitations(); });
    connect(m_newSync, &QAction::triggered, this, &ProjectOverviewView::openNewProject);
    connect(m_tile, &QPushButton::clicked, this, &ProjectOverviewView::openNewProject);
    followState(env);
}

ProjectCard *ProjectOverviewView::makeCard(const QString &projectID)
{
    auto *card = new ProjectCard(m_env, projectID, m_gridHost);
    connect(card, &ProjectCard::clicked, this, [this, projectID] { m_path.push(projectID); });
    connect(card, &ProjectCard::removeRequested, this, [this, projectID] { confirmRemoval(projectID); });
    return card;
}

void ProjectOverviewView::refreshContents()
{
    ProjectController &projects = m_env.projects();
    const int pending = projects.distinctPendingCount();
    m_incoming->setText(incomingText.arg(pending));
    m_incoming->setVisible(pending > 0);
    const auto ignored = projects.ignoredOfferedFolders().size();
    m_ignored->setText(showIgnoredText.arg(ignored));
    m_ignored->setVisible(ignored > 0);

    const bool empty = projects.projects().isEmpty();
    m_empty->setVisible(empty);
    m_gridHost->setVisible(!empty);
    QStringList ids;
    for (const Project &project : projects.projects())
        ids.append(project.id);
    m_cards->setIDs(ids);
    if (empty)
        return;
    const HealthInputs inputs = m_env.healthInputs();
    for (ProjectCard *card : m_cards->children())
        card->refresh(inputs);
}

void ProjectOverviewView::openNewProject()
{
    if (m_sheet)
        return;
    QPointer<ProjectOverviewView> self(this);
    m_sheet = new NewProjectSheet(
        m_env,
        [self](QString projectID) {
            if (self)
                self->m_path.push(projectID);
        },
        this);
    m_sheet->setAttribute(Qt::WA_DeleteOnClose);
    m_sheet->setWindowModality(Qt::WindowModal);
    m_sheet->open();
}

void ProjectOverviewView::confirmRemoval(const QString &projectID)
{
    const std::optional<Project> project = m_env.projects().project(projectID);
    if (!project || m_removal)
        return;
    QPointer<ProjectOverviewView> self(this);
    m_removal = confirmAction(*this, removeTitle.arg(isolatedName(project->name)), removeMessage, removeAction, true,
                              [self, projectID] {
                                  if (self)
                                      self->removeConfirmed(projectID);
                              },
                              [self] {
                                  if (self)
                                      self->m_removal = nullptr;
                              });
}

void ProjectOverviewView::removeConfirmed(const QString &projectID)
{
    // The sync as it is now: a folder added or given its engine ID while the
    // question was open must leave the engine too.
    if (const std::optional<Project> current = m_env.projects().project(projectID))
        m_env.projects().remove(*current);
}

} // namespace tw

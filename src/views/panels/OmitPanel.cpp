#include "views/panels/OmitPanel.h"

#include "app/AppEnvironment.h"
#include "design/BorderlessButton.h"
#include "design/DerivedForeground.h"
#include "design/ShownSymbol.h"
#include "design/TextStyle.h"
#include "engine/SyncEngine.h"
#include "projects/ProjectController.h"
#include "views/kit/AimedClickGuard.h"
#include "views/kit/FailureLabel.h"
#include "views/kit/KeyActivation.h"
#include "views/kit/LiteralAmpersands.h"
#include "views/kit/MessageRow.h"
#include "views/kit/PanelPages.h"
#include "views/kit/PanelTexts.h"
#include "views/kit/PlainLabel.h"
#include "views/kit/StyledLabel.h"
#include "views/panels/OmitLevelModel.h"
#include "views/panels/OmitListView.h"
#include "views/panels/OmitRowDelegate.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QShowEvent>
#include <QVBoxLayout>

namespace tw {
namespace {

constexpr int kMaxWidth = 600;

QWidget *emptyState()
{
    auto *page = new QWidget;
    auto *column = new QVBoxLayout(page);
    column->addStretch();
    QLabel *text = styledLabel(texts::omitFolderEmpty, TextRole::Body, TextTone::Secondary);
    text->setObjectName(QStringLiteral("emptyText"));
    text->setAlignment(Qt::AlignCenter);
    column->addWidget(text);
    column->addStretch();
    return page;
}

// A button drawn as its text alone, in the palette's link colour.
BorderlessButton *linkButton(const QString &text)
{
    auto *button = new BorderlessButton(literalAmpersands(text));
    button->setCursor(Qt::PointingHandCursor);
    button->setFont(pointsFont(12));
    button->setAccessibleName(text);
    DerivedForeground::apply(*button, linkText());
    return button;
}

} // namespace

OmitPanel::OmitPanel(AppEnvironment &env, const QString &, const ProjectFolder &folder, QWidget *parent)
    : QWidget(parent), m_env(env), m_folderID(folder.syncthingFolderID.value_or(QString()))
{
    setMaximumWidth(kMaxWidth);
    auto *column = new QVBoxLayout(this);
    column->setSpacing(10);
    QLabel *instruction = styledLabel(texts::omitInstruction, TextRole::Body, TextTone::Secondary);
    instruction->setFont(pointsFont(12));
    column->addWidget(instruction);

    m_pathBar = new QHBoxLayout;
    m_pathBar->setSpacing(4);
    column->addLayout(m_pathBar);

    m_model = new OmitLevelModel(this);
    m_list = new OmitListView;
    m_list->setObjectName(QStringLiteral("omitList"));
    m_list->setUniformItemSizes(true);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setModel(m_model);
    m_delegate = new OmitRowDelegate(*m_list);
    m_list->setItemDelegate(m_delegate);
    connect(m_delegate, &OmitRowDelegate::openRequested, this,
            [this](const QModelIndex &index) { open(index.data(Qt::DisplayRole).toString()); });
    // A name opens another level under the pointer before a double-click's
    // second press.
    AimedClickGuard::guardRowsOf(*m_list, [this](const QModelIndex &row) {
        return OmitLevelModel::relPath(m_model->stack(), row.data(Qt::DisplayRole).toString());
    });
    // Return opens the current folder's level; Space keeps switching the row.
    KeyActivation::install(*m_list, [this] {
        const QModelIndex current = m_list->currentIndex();
        if (current.isValid() && current.data(OmitLevelModel::IsLinkRole).toBool())
            emit m_delegate->openRequested(current);
    }, KeyActivation::Keys::ReturnOnly);
    connect(m_model, &OmitLevelModel::switchRequested, this,
            [this](const BrowseEntry &entry, bool on) { toggle(entry, on); });

    m_content = new PanelPages(emptyState(), m_list);
    column->addWidget(m_content, 1);
    // At the foot: the rows stay where they are as it comes and goes. Its
    // line is kept from the start: a list scrolled to its end had its last
    // row cut as the first message took its room.
    m_failure = new MessageRow(failureLabel(QStringLiteral("switchFailure")));
    m_failure->reserveLines(1);
    column->addWidget(m_failure);
    rebuildPathBar();
    showContent();
}

OmitPanel::~OmitPanel() = default;

const QList<BrowseEntry> &OmitPanel::entries() const
{
    return m_model->entries();
}

void OmitPanel::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        load();
}

QCoro::Task<void> OmitPanel::load()
{
    m_loading = true;
    showContent();
    return loadLevel(QPointer(this), QPointer(&m_env), m_folderID, m_pathStack, ++m_loadGeneration);
}

QCoro::Task<void> OmitPanel::loadLevel(QPointer<OmitPanel> self, QPointer<AppEnvironment> env, QString folderID,
                                       QStringList stack, quint64 generation)
{
    // Failed reads show as no lines and an empty level, as does a folder the
    // engine does not know yet.
    QStringList lines;
    QList<BrowseEntry> level;
    if (!folderID.isEmpty()) {
        try {
            lines = co_await env->engine().ignorePatterns(folderID);
        } catch (...) {
        }
        if (!self || !env || self->m_loadGeneration != generation)
            co_return;
        try {
            level = co_await env->engine().browse(folderID, stack.join(QLatin1Char('/')));
        } catch (...) {
        }
    }
    if (!self || self->m_loadGeneration != generation)
        co_return;
    self->m_ignores = lines;
    self->m_model->setLevel(std::move(stack), OmitLevelModel::listed(std::move(level)), lines);
    self->m_loading = false;
    self->showContent();
}

QString OmitPanel::relPath(const BrowseEntry &entry) const
{
    return OmitLevelModel::relPath(m_model->stack(), entry.name);
}

QStringList OmitPanel::withLine(QStringList lines, const QString &line, bool on)
{
    if (!on)
        lines.removeAll(line);
    else if (!lines.contains(line))
        lines.append(line);
    return lines;
}

QCoro::Task<void> OmitPanel::toggle(BrowseEntry entry, bool on)
{
    // Checked once, at the start: a removal under way owns the folder's
    // lines until it ends.
    if (m_folderID.isEmpty() || m_env.purgeInFlightFolders().contains(m_folderID))
        return []() -> QCoro::Task<void> { co_return; }();
    // The level shown, not the one a running load is about to show.
    const QString line = OmitLevelModel::exclusionLine(m_model->stack(), entry.name);
    return writeSwitch(QPointer(this), QPointer(&m_env), m_folderID, line, on);
}

QCoro::Task<void> OmitPanel::writeSwitch(QPointer<OmitPanel> self, QPointer<AppEnvironment> env, QString folderID,
                                         QString line, bool on)
{
    const ProjectController::IgnoreEdit edit = [line, on](QStringList lines) {
        return withLine(std::move(lines), line, on);
    };
    const std::optional<QString> failure = co_await env->projects().editIgnores(folderID, edit);
    if (self)
        self->m_failure->showMessage(failure);
    // Lines that could not be written are as they were: the switch stays.
    if (failure || !self || !env)
        co_return;
    QStringList lines;
    try {
        lines = co_await env->engine().ignorePatterns(folderID);
    } catch (...) {
    }
    if (self)
        self->showIgnores(std::move(lines));
}

void OmitPanel::showIgnores(QStringList lines)
{
    m_ignores = std::move(lines);
    m_model->setIgnores(m_ignores);
}

void OmitPanel::open(const QString &name)
{
    QStringList stack = m_model->stack();
    stack.append(name);
    setPathStack(std::move(stack));
}

void OmitPanel::goToRoot()
{
    setPathStack({});
}

void OmitPanel::goToCrumb(int depth)
{
    setPathStack(m_pathStack.mid(0, depth + 1));
}

void OmitPanel::setPathStack(QStringList stack)
{
    m_pathStack = std::move(stack);
    rebuildPathBar();
    load();
}

void OmitPanel::rebuildPathBar()
{
    // The button clicked may be among them: it goes once its signal is done.
    while (QLayoutItem *item = m_pathBar->takeAt(0)) {
        if (QWidget *widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }
    BorderlessButton *house = linkButton(texts::goToRootFolder);
    house->setText(QString());
    house->setObjectName(QStringLiteral("root"));
    showSymbol(*house, Symbol::House);
    connect(house, &QAbstractButton::clicked, this, &OmitPanel::goToRoot);
    m_pathBar->addWidget(house);
    for (int depth = 0; depth < m_pathStack.size(); ++depth) {
        QLabel *separator = plainLabel(QStringLiteral("/"));
        separator->setFont(pointsFont(12));
        applyTextTone(separator, TextTone::Secondary);
        m_pathBar->addWidget(separator);
        BorderlessButton *crumb = linkButton(m_pathStack[depth]);
        crumb->setObjectName(QStringLiteral("crumb"));
        connect(crumb, &QAbstractButton::clicked, this, [this, depth] { goToCrumb(depth); });
        m_pathBar->addWidget(crumb);
    }
    m_pathBar->addStretch();
}

void OmitPanel::showContent()
{
    m_content->showState(m_loading, m_model->rowCount() == 0);
}

} // namespace tw

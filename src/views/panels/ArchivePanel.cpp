#include "views/panels/ArchivePanel.h"

#include "app/AppEnvironment.h"
#include "controllers/FolderController.h"
#include "controllers/FormatFileSize.h"
#include "design/BorderlessButton.h"
#include "design/ContrastRatio.h"
#include "design/DerivedForeground.h"
#include "design/ShownSymbol.h"
#include "design/TextStyle.h"
#include "design/Theme.h"
#include "engine/SyncEngine.h"
#include "utilities/IsolatedName.h"
#include "views/kit/AimedClickGuard.h"
#include "views/kit/ConfirmAction.h"
#include "views/kit/KeyActivation.h"
#include "views/kit/PanelPages.h"
#include "views/kit/PanelTexts.h"
#include "views/kit/PlainLabel.h"
#include "views/kit/StyledLabel.h"
#include "views/panels/ArchiveRowDelegate.h"
#include "views/panels/ArchiveTreeModel.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QRegularExpression>
#include <QScrollBar>
#include <QShowEvent>
#include <QTreeView>
#include <QVBoxLayout>
#include <QtConcurrent>
#include <qcoro/qcorofuture.h>

#include <algorithm>

namespace tw {
namespace {

// Qt offers long and short date formats only. The medium one is the long
// one without its weekday and with abbreviated month names: "May 1, 2024",
// "1 May 2024", "1. Mai 2024". A short time never shows seconds, though the
// C locale's short format ("HH:mm:ss") has them.
QString mediumDateShortTimeFormat(const QLocale &locale)
{
    static const QRegularExpression weekday(QStringLiteral("d{4}[,.]?\\s*|[,.]?\\s*d{4}"));
    static const QRegularExpression seconds(QStringLiteral("[:.]s{1,2}"));
    QString date = locale.dateFormat(QLocale::LongFormat);
    date.remove(weekday);
    date.replace(QStringLiteral("MMMM"), QStringLiteral("MMM"));
    return date.trimmed() + QLatin1Char(' ') + locale.timeFormat(QLocale::ShortFormat).remove(seconds);
}

ArchiveTreeModel::Snapshot treeOf(const QList<ArchivedVersion> &versions, const QLocale &locale)
{
    return ArchiveTreeModel::snapshot(buildArchiveTree(versions, locale));
}

QString plural(qint64 count)
{
    return count == 1 ? QString() : QStringLiteral("s");
}

QWidget *emptyState()
{
    auto *page = new QWidget;
    auto *column = new QVBoxLayout(page);
    column->setSpacing(8);
    column->addStretch();
    auto *icon = plainLabel();
    icon->setObjectName(QStringLiteral("emptyIcon"));
    showSymbol(*icon, Symbol::ClockArrowCirclepath, QFontMetrics(textStyleFont(TextStyle::LargeTitle)).height(),
               windowTextAt(0.6));
    icon->setAccessibleName(QString());
    column->addWidget(icon, 0, Qt::AlignHCenter);
    QLabel *text = styledLabel(texts::archiveIsEmpty, TextRole::Body, TextTone::Secondary);
    text->setObjectName(QStringLiteral("emptyText"));
    column->addWidget(text, 0, Qt::AlignHCenter);
    column->addStretch();
    return page;
}

// The row `row` of the node of ID `parentID` (of the top level where that
// went), or its last row where there are fewer, or that node where it has none.
QModelIndex rowInPlace(const ArchiveTreeModel &model, const QString &parentID, int row)
{
    const QModelIndex parent = parentID.isEmpty() ? QModelIndex() : model.indexOf(parentID);
    const int rows = model.rowCount(parent);
    return rows > 0 ? model.index(std::min(row, rows - 1), 0, parent) : parent;
}

// Replaces the tree and keeps what the user opened, closed and chose, by
// node ID, where those rows are still there, and the row at the top of the
// view where it was. Choosing a row again must not scroll to it: the view
// would open the folders a chosen row lies in, closed by the user since.
void replaceTree(QTreeView &view, ArchiveTreeModel &model, ArchiveTreeModel::Snapshot tree)
{
    QStringList expanded;
    const auto noteExpanded = [&](const auto &self, const QModelIndex &parent) -> void {
        for (int row = 0; row < model.rowCount(parent); ++row) {
            const QModelIndex index = model.index(row, 0, parent);
            if (view.isExpanded(index)) {
                expanded.append(index.data(ArchiveTreeModel::IdRole).toString());
                self(self, index);
            }
        }
    };
    noteExpanded(noteExpanded, {});
    const QModelIndex was = view.currentIndex();
    const QString current = was.data(ArchiveTreeModel::IdRole).toString();
    const bool chosen = view.selectionModel()->isSelected(was);
    const QString currentParent = was.parent().data(ArchiveTreeModel::IdRole).toString();
    const QModelIndex top = view.indexAt(QPoint(0, 0));
    const QString topID = top.data(ArchiveTreeModel::IdRole).toString();
    const int topOffset = top.isValid() ? view.visualRect(top).top() : 0;
    const int scrolled = view.verticalScrollBar()->value();

    model.setSnapshot(std::move(tree));
    // Parents were noted before their children, so each is expanded first.
    for (const QString &id : std::as_const(expanded)) {
        const QModelIndex index = model.indexOf(id);
        if (index.isValid())
            view.expand(index);
    }
    const bool autoScroll = view.hasAutoScroll();
    view.setAutoScroll(false);
    const QModelIndex again = model.indexOf(current);
    // The keys go on from the row in the place of one that went (or from
    // the first), chosen by nothing: a key would else start at the top.
    view.selectionModel()->setCurrentIndex(
        again.isValid() ? again : rowInPlace(model, currentParent, was.isValid() ? was.row() : 0),
        again.isValid() && chosen ? QItemSelectionModel::ClearAndSelect : QItemSelectionModel::NoUpdate);
    view.setAutoScroll(autoScroll);

    // The scroll range follows the new rows only once they are laid out.
    view.doItemsLayout();
    const QModelIndex anchor = model.indexOf(topID);
    if (!anchor.isValid() || !view.visualRect(anchor).isValid()) {
        view.verticalScrollBar()->setValue(scrolled);
        return;
    }
    QScrollBar &bar = *view.verticalScrollBar();
    if (view.verticalScrollMode() == QAbstractItemView::ScrollPerPixel)
        bar.setValue(bar.value() + view.visualRect(anchor).top() - topOffset);
    else
        bar.setValue(bar.value() + view.visualRect(anchor).top() / std::max(1, view.visualRect(anchor).height()));
}

} // namespace

ArchivePanel::ArchivePanel(AppEnvironment &env, const QString &, const ProjectFolder &folder, QWidget *parent)
    : QWidget(parent), m_env(env), m_folderID(folder.syncthingFolderID.value_or(QString()))
{
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(10);

    auto *header = new QHBoxLayout;
    header->addWidget(styledLabel(texts::archiveHeader, TextRole::Callout, TextTone::Secondary), 1, Qt::AlignTop);
    // Borderless: its text stands on the header's first line.
    m_emptyButton = new BorderlessButton(texts::emptyArchiveButton);
    m_emptyButton->setObjectName(QStringLiteral("emptyArchive"));
    m_emptyButton->setFont(pointsFont(12));
    // Destructive: the text and its symbol in red.
    showSymbol(*m_emptyButton, Symbol::Trash, readableTint(Theme::danger(), textContrast));
    connect(m_emptyButton, &QAbstractButton::clicked, this, &ArchivePanel::confirmEmpty);
    header->addWidget(m_emptyButton, 0, Qt::AlignTop);
    layout->addLayout(header);

    m_tree = new QTreeView;
    m_tree->setObjectName(QStringLiteral("archiveTree"));
    m_tree->setHeaderHidden(true);
    m_tree->setUniformRowHeights(true);
    m_tree->setFrameShape(QFrame::NoFrame);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_model = new ArchiveTreeModel([](const ArchiveNode &node) { return subtitle(node); }, this);
    m_tree->setModel(m_model);
    m_delegate = new ArchiveRowDelegate(*m_tree);
    m_tree->setItemDelegate(m_delegate);
    connect(m_delegate, &ArchiveRowDelegate::buttonClicked, this, &ArchivePanel::rowButtonClicked);
    // A restore reads the list again, and the row below moves up under the
    // pointer before a double-click's second press.
    AimedClickGuard::guardRowsOf(*m_tree, [](const QModelIndex &row) {
        return row.data(ArchiveTreeModel::IdRole).toString();
    });
    // The chosen row's button, pressed from the keyboard.
    KeyActivation::install(*m_tree, [this] {
        const QModelIndex chosen = m_tree->currentIndex();
        if (chosen.isValid() && !chosen.data(ArchiveTreeModel::ButtonTextRole).toString().isEmpty())
            rowButtonClicked(chosen);
    });

    m_content = new PanelPages(emptyState(), m_tree);
    layout->addWidget(m_content, 1);
    showContent();
}

ArchivePanel::~ArchivePanel() = default;

const QList<ArchiveNodePtr> &ArchivePanel::roots() const
{
    return m_model->roots();
}

void ArchivePanel::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Coming on screen again, not a window being restored.
    if (!event->spontaneous())
        load();
}

QCoro::Task<void> ArchivePanel::load()
{
    setLoading(true);
    return loadTree(QPointer(this), QPointer(&m_env), m_folderID, ++m_loadGeneration);
}

QCoro::Task<void> ArchivePanel::loadTree(QPointer<ArchivePanel> self, QPointer<AppEnvironment> env,
                                         QString folderID, quint64 generation)
{
    QList<ArchivedVersion> versions;
    // A failed listing shows as an empty archive, and so does a folder the
    // engine does not know yet.
    if (env && !folderID.isEmpty()) {
        try {
            versions = co_await env->engine().archivedVersions(folderID);
        } catch (...) {
        }
    }
    if (!self || self->m_loadGeneration != generation)
        co_return;
    // The default locale is read here, on the thread that sets it.
    ArchiveTreeModel::Snapshot tree = co_await QtConcurrent::run(treeOf, versions, QLocale());
    if (!self || self->m_loadGeneration != generation)
        co_return;
    replaceTree(*self->m_tree, *self->m_model, std::move(tree));
    self->setLoading(false);
}


void ArchivePanel::restore(ArchiveNodePtr node)
{
    if (node)
        restoreNode(QPointer(this), QPointer(&m_env), m_folderID, std::move(node));
}

QCoro::Task<void> ArchivePanel::restoreNode(QPointer<ArchivePanel> self, QPointer<AppEnvironment> env,
                                            QString folderID, ArchiveNodePtr node)
{
    const QString id = node->id;
    self->setRestoring(id, true);
    // The engine's own path and time texts, as it listed them.
    if (node->kind == ArchiveNode::Kind::Folder)
        co_await env->folders().restoreArchivedBatch(folderID, restoreMapping(*node));
    else if (node->version)
        co_await env->folders().restoreArchived(folderID, node->version->path, node->version->versionTime);
    if (!self)
        co_return;
    co_await self->load();
    if (self)
        self->setRestoring(id, false);
}

void ArchivePanel::confirmRestoreFolder(ArchiveNodePtr node)
{
    if (!node)
        return;
    const QPointer self(this);
    confirmAction(*this, restoreFolderTitle(*node), restoreFolderMessage(*node), restoreFolderAction(*node), false,
                  [self, node] {
                      if (self)
                          self->restore(node);
                  });
}

void ArchivePanel::confirmEmpty()
{
    const QPointer self(this);
    confirmAction(*this, texts::emptyArchiveTitle, texts::emptyArchiveMessage, texts::emptyArchiveAction, true,
                  [self] {
                      if (self)
                          emptyArchive(self, QPointer(&self->m_env), self->m_folderID);
                  });
}

QCoro::Task<void> ArchivePanel::emptyArchive(QPointer<ArchivePanel> self, QPointer<AppEnvironment> env,
                                             QString folderID)
{
    co_await env->folders().emptyArchive(folderID);
    if (self)
        co_await self->load();
}

void ArchivePanel::rowButtonClicked(const QModelIndex &index)
{
    ArchiveNodePtr node = m_model->node(index);
    if (!node || m_restoring.contains(node->id))
        return;
    if (node->kind == ArchiveNode::Kind::Folder)
        confirmRestoreFolder(std::move(node));
    else
        restore(std::move(node));
}

void ArchivePanel::setLoading(bool loading)
{
    m_loading = loading;
    showContent();
}

void ArchivePanel::setRestoring(const QString &id, bool on)
{
    if (on)
        m_restoring.insert(id);
    else
        m_restoring.remove(id);
    m_model->setRestoring(m_restoring);
}

void ArchivePanel::showContent()
{
    const bool empty = roots().isEmpty();
    m_emptyButton->setVisible(!empty);
    m_content->showState(m_loading, empty);
}

QString ArchivePanel::displayTime(const QString &text, const QLocale &locale, const QTimeZone &zone)
{
    // What an internet date-time is, and no more: Qt's own ISO reader also
    // takes dates alone, spaces and other forms.
    static const QRegularExpression internet(QStringLiteral(
        "^([0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2})(?:\\.([0-9]+))?(Z|[+-][0-9]{2}:[0-9]{2})$"));
    const QRegularExpressionMatch match = internet.match(text);
    if (!match.hasMatch())
        return text;
    // Milliseconds are all Qt reads, and more than a minute's precision is
    // never shown.
    QString normalised = match.captured(1);
    if (match.hasCaptured(2))
        normalised += QLatin1Char('.') + match.captured(2).left(3).leftJustified(3, QLatin1Char('0'));
    normalised += match.captured(3);
    const QDateTime when = QDateTime::fromString(normalised, Qt::ISODateWithMs);
    if (!when.isValid())
        return text;
    return locale.toString(when.toTimeZone(zone), mediumDateShortTimeFormat(locale));
}

QString ArchivePanel::filesText(qint64 count)
{
    return QString::number(count) + texts::file + plural(count);
}

QString ArchivePanel::subtitle(const ArchiveNode &node, const QLocale &locale, const QTimeZone &zone)
{
    const QString size = formatFileSize(node.totalSize);
    if (node.kind == ArchiveNode::Kind::Folder)
        return filesText(node.fileCount) + texts::subtitleSeparator + size;
    if (node.kind == ArchiveNode::Kind::File && node.versionCount >= 2)
        return QString::number(node.versionCount) + texts::versions + texts::subtitleSeparator + size;
    const QString time = node.version ? node.version->versionTime : QString();
    return displayTime(time, locale, zone) + texts::subtitleSeparator + size;
}

QString ArchivePanel::restoreFolderTitle(const ArchiveNode &node)
{
    return texts::restoreFolderTitleBefore + isolatedName(node.name) + texts::restoreFolderTitleAfter;
}

QString ArchivePanel::restoreFolderMessage(const ArchiveNode &node)
{
    return texts::restoreFolderMessagePuts + QString::number(node.fileCount) + texts::archivedFile +
           plural(node.fileCount) + texts::restoreFolderMessageFrom + isolatedName(node.name) +
           texts::restoreFolderMessageBack;
}

QString ArchivePanel::restoreFolderAction(const ArchiveNode &node)
{
    return texts::restoreCountBefore + filesText(node.fileCount);
}

} // namespace tw

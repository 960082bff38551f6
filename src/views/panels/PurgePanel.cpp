#include "views/panels/PurgePanel.h"

#include "app/AppEnvironment.h"
#include "cluster/NasNodeController.h"
#include "design/ButtonTint.h"
#include "design/DerivedForeground.h"
#include "design/ShownSymbol.h"
#include "design/TextStyle.h"
#include "design/Theme.h"
#include "utilities/IsolatedName.h"
#include "views/kit/EnabledKeepingFocus.h"
#include "views/kit/MessageRow.h"
#include "views/kit/PanelTexts.h"
#include "views/kit/PlainLabel.h"
#include "views/kit/ReturnShortcut.h"
#include "views/kit/ScrolledColumn.h"
#include "views/kit/StyledLabel.h"

#include <QFontDatabase>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace tw {
namespace {

QLineEdit *pathField(const char *name)
{
    auto *field = new QLineEdit;
    field->setObjectName(QLatin1String(name));
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSizeF(textStyleFont(TextStyle::Body).pointSizeF());
    field->setFont(mono);
    return field;
}

QLabel *heading(const QString &text)
{
    QLabel *label = styledLabel(text, TextRole::Body);
    label->setFont(pointsFont(12, QFont::Medium));
    return label;
}

QLabel *preview(const char *name)
{
    QLabel *label = styledLabel(QString(), TextRole::Caption, TextTone::Secondary);
    label->setObjectName(QLatin1String(name));
    return label;
}

// Names of Macs, each isolated, after the words before them.
QString joinedNames(const QString &before, const QStringList &names)
{
    QStringList isolated;
    for (const QString &name : names)
        isolated.append(isolatedName(name));
    return before + isolated.join(QStringLiteral(", ")) + QLatin1Char('.');
}

// Macs that may take the removal on a later run, each with its reason when
// it gave one; a Mac that refused for good gets a sentence of its own.
QStringList failedLines(const QList<FailedMac> &failed)
{
    QStringList retry;
    QStringList refused;
    for (const FailedMac &mac : failed) {
        const QString name = isolatedName(mac.name);
        if (mac.lasting)
            refused.append(texts::refusedBy + name + QStringLiteral(": ") + mac.reason + QLatin1Char('.'));
        else
            retry.append(mac.reason.isEmpty() ? name : name + QStringLiteral(" (") + mac.reason + u')');
    }
    if (!retry.isEmpty())
        refused.prepend(texts::failedTryAgain + retry.join(QStringLiteral(", ")) + QLatin1Char('.'));
    return refused;
}

QString copyLine(PurgeOutcome::LocalCopy copy)
{
    switch (copy) {
    case PurgeOutcome::LocalCopy::OutOfSync:
        return texts::noLongerSyncs;
    case PurgeOutcome::LocalCopy::OutOfSyncSinceEarlier:
        return texts::outOfSyncSinceEarlier;
    case PurgeOutcome::LocalCopy::LineNotLifted:
        return texts::stoppedSyncing;
    case PurgeOutcome::LocalCopy::SyncsAsBefore:
        return texts::syncsAsBefore;
    }
    return texts::noLongerSyncs;
}

// Nothing when the node was not asked.
QStringList nodeLines(PurgeOutcome::NodeCopy node)
{
    switch (node) {
    case PurgeOutcome::NodeCopy::Hidden:
        return {texts::nasHiddenFilesKept};
    case PurgeOutcome::NodeCopy::NotReached:
        return {texts::nasNotReached};
    case PurgeOutcome::NodeCopy::NotAsked:
        break;
    }
    return {};
}

} // namespace

PurgePanel::PurgePanel(AppEnvironment &env, QString projectID, ProjectFolder folder, QWidget *parent, Purge purge)
    : QWidget(parent), m_env(env), m_projectID(std::move(projectID)), m_folder(std::move(folder)),
      m_purge(purge ? std::move(purge) : Purge([&env](QString project, QString folderID, QString anchored) {
          return env.purgeFromPeers(std::move(project), std::move(folderID), std::move(anchored));
      }))
{
    QVBoxLayout *column = scrolledColumn(*this, "purgeScroll");
    m_scroll = findChild<QScrollArea *>(QStringLiteral("purgeScroll"));
    column->setSpacing(12);

    auto *warning = new QHBoxLayout;
    warning->setSpacing(6);
    auto *symbol = plainLabel();
    const QFont warningFont = pointsFont(12);
    showSymbol(*symbol, Symbol::ExclamationmarkTriangleFill, QFontMetrics(warningFont).height(), Theme::danger());
    warning->addWidget(symbol, 0, Qt::AlignTop);
    QLabel *warningText = styledLabel(texts::purgeWarning, TextRole::Body);
    warningText->setObjectName(QStringLiteral("warning"));
    warningText->setFont(warningFont);
    tintText(*warningText, Theme::danger());
    warning->addWidget(warningText, 1);
    column->addLayout(warning);

    m_nodeNote = styledLabel(texts::purgeNeedsNode, TextRole::Caption);
    m_nodeNote->setObjectName(QStringLiteral("nodeNote"));
    tintText(*m_nodeNote, Theme::orange());
    column->addWidget(m_nodeNote);

    column->addWidget(
        heading(texts::subfolderToRemoveBefore + isolatedName(m_folder.label) + texts::subfolderToRemoveAfter));
    m_subpath = pathField("subpath");
    m_subpath->setPlaceholderText(texts::subfolderPlaceholder);
    column->addWidget(m_subpath);

    m_preview = new QWidget;
    auto *previewLines = new QVBoxLayout(m_preview);
    previewLines->setContentsMargins(0, 0, 0, 0);
    previewLines->setSpacing(2);
    m_kept = preview("keptPreview");
    m_kept->setTextInteractionFlags(Qt::TextSelectableByMouse);
    previewLines->addWidget(m_kept);
    QLabel *removed = preview("removedPreview");
    removed->setText(texts::removedFrom);
    previewLines->addWidget(removed);
    // Its room is kept while it is hidden: the first letter typed above
    // must not push the confirmation field down as the user reaches for it.
    QSizePolicy keepRoom = m_preview->sizePolicy();
    keepRoom.setRetainSizeWhenHidden(true);
    m_preview->setSizePolicy(keepRoom);
    column->addWidget(m_preview);

    auto *divider = new QFrame;
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    column->addWidget(divider);
    column->addWidget(heading(texts::typeToConfirm));
    m_confirm = pathField("confirm");
    column->addWidget(m_confirm);

    QLabel *result = styledLabel(QString(), TextRole::Body, TextTone::Secondary);
    result->setObjectName(QStringLiteral("result"));
    result->setFont(pointsFont(12));
    result->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // The result stands beside the buttons, so "Remove from other Macs"
    // stays under the pointer for a second run.
    m_result = new MessageRow(result);
    auto *cancel = new QPushButton(texts::cancel);
    cancel->setObjectName(QStringLiteral("cancel"));
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &PurgePanel::finished);
    m_result->addAfter(cancel);
    m_remove = new QPushButton;
    m_remove->setObjectName(QStringLiteral("remove"));
    m_remove->setDefault(true);
    TintedButtonPainter::apply(*m_remove, ButtonTint::Destructive);
    // As wide running as not: "Cancel" beside it stays where it was.
    int widest = 0;
    for (const QString &title : {texts::removeFromOtherMacs, texts::removing}) {
        m_remove->setText(title);
        widest = std::max(widest, m_remove->sizeHint().width());
    }
    m_remove->setMinimumWidth(widest);
    connect(m_remove, &QPushButton::clicked, this, &PurgePanel::run);
    bindReturnKey(*this, *m_remove);
    m_result->addAfter(m_remove);
    column->addWidget(m_result);
    column->addStretch();

    connect(m_subpath, &QLineEdit::textChanged, this, &PurgePanel::refresh);
    connect(m_confirm, &QLineEdit::textChanged, this, &PurgePanel::refresh);
    connect(&m_env.nasNode(), &NasNodeController::nodesChanged, this, &PurgePanel::refresh);
    refresh();
}

QString PurgePanel::trimmedSubpath() const
{
    return m_subpath->text().trimmed();
}

bool PurgePanel::canRun() const
{
    const QString path = trimmedSubpath();
    return !m_running && !path.isEmpty() && m_confirm->text() == path && !m_env.nasNode().nodes().isEmpty();
}

void PurgePanel::run()
{
    const QString path = trimmedSubpath();
    if (path.isEmpty() || m_running)
        return;
    m_running = true;
    m_resultText.reset();
    refresh();
    // The sync's own folder ID; the environment makes the path canonical.
    runPurge(QPointer(this), m_purge, m_projectID, m_folder.id, QLatin1Char('/') + path);
}

QCoro::Task<void> PurgePanel::runPurge(QPointer<PurgePanel> self, Purge purge, QString projectID, QString folderID,
                                       QString anchoredPath)
{
    const PurgeOutcome outcome = co_await purge(projectID, folderID, anchoredPath);
    if (self)
        self->showOutcome(outcome);
}

QString PurgePanel::resultOf(const PurgeOutcome &outcome)
{
    if (outcome.failure)
        return texts::warningPrefix + *outcome.failure;
    const QString lead = outcome.removedCount > 0 ? texts::checkMark : texts::warningPrefix;
    QStringList lines{lead + texts::removedOnBefore + QString::number(outcome.removedCount) + texts::removedOnAfter};
    lines.append(copyLine(outcome.copy));
    lines.append(failedLines(outcome.failed));
    if (!outcome.unaddressable.isEmpty())
        lines.append(joinedNames(texts::unusableAddress, outcome.unaddressable));
    if (!outcome.offline.isEmpty())
        lines.append(joinedNames(texts::offlineRunAgain, outcome.offline));
    lines.append(nodeLines(outcome.node));
    return lines.join(QLatin1Char(' '));
}

void PurgePanel::showOutcome(const PurgeOutcome &outcome)
{
    m_running = false;
    m_resultText = resultOf(outcome);
    // After a failure the user may run again at once.
    if (!outcome.failure) {
        m_confirm->clear();
        m_subpath->clear();
    }
    refresh();
    // In a short inspector the row may reach under the fold (or Return
    // pressed the button from above it): the user sees what it did. Where
    // the panel fits, nothing scrolls.
    m_scroll->widget()->layout()->activate();
    m_scroll->ensureWidgetVisible(m_result, 0, 0);
}

void PurgePanel::refresh()
{
    const QString path = trimmedSubpath();
    m_nodeNote->setVisible(m_env.nasNode().nodes().isEmpty());
    m_preview->setVisible(!path.isEmpty());
    m_kept->setText(texts::keptOnThisMac + isolatedName(m_folder.localPath + QLatin1Char('/') + path));
    m_confirm->setPlaceholderText(path.isEmpty() ? texts::typeThePathAbove : path);
    m_result->showMessage(m_resultText);
    m_remove->setText(m_running ? texts::removing : texts::removeFromOtherMacs);
    setEnabledKeepingFocus(*m_remove, canRun());
}

} // namespace tw

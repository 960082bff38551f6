#include "views/joining/AcceptFolderSheet.h"

#include "app/AppEnvironment.h"
#include "app/AppPreferences.h"
#include "design/ButtonTint.h"
#include "design/DerivedForeground.h"
#include "design/ElidedLabel.h"
#include "design/ShownSymbol.h"
#include "design/TextStyle.h"
#include "design/Theme.h"
#include "projects/ProjectController.h"
#include "utilities/Detach.h"
#include "utilities/IsolatedName.h"
#include "views/kit/EnabledKeepingFocus.h"
#include "views/kit/PanelTexts.h"
#include "views/kit/PlainLabel.h"
#include "views/kit/ReturnShortcut.h"
#include "views/kit/SheetWidth.h"
#include "views/kit/StyledLabel.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>
#include <qcoro/qcorofuture.h>

namespace tw {
namespace {

QString offerLine(const FolderPlacement &placement, const PendingFolder &folder)
{
    if (placement.syncPart)
        return texts::openQuote + isolatedName(placement.folderPart) + texts::fromSync +
               isolatedName(*placement.syncPart) + texts::syncSharedBy + isolatedName(folder.offeredByName);
    return texts::openQuote + isolatedName(placement.folderPart) + texts::quoteSharedBy +
           isolatedName(folder.offeredByName);
}

QString syncLine(const FolderPlacement &placement)
{
    return placement.existingProjectID
               ? texts::addsToSyncBefore + isolatedName(placement.targetSyncName) + texts::addsToSyncAfter
               : texts::createsSyncBefore + isolatedName(placement.targetSyncName) + texts::createsSyncAfter;
}

// A row of a symbol and a label beside it.
QWidget *symbolRow(Symbol symbol, QWidget *label)
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    auto *icon = plainLabel();
    showSymbol(*icon, symbol, 12, windowTextAt(secondaryStrength));
    layout->addWidget(icon, 0, Qt::AlignTop);
    layout->addWidget(label, 1);
    return row;
}

bool makeFolder(const QString &path) { return QDir().mkpath(path); }

} // namespace

AcceptFolderSheet::AcceptFolderSheet(AppEnvironment &env, PendingFolder folder, PickFolder pickFolder,
                                     QWidget *parent)
    : QDialog(parent), m_env(env), m_folder(std::move(folder)), m_pickFolder(std::move(pickFolder))
{
    setWindowTitle(texts::placeFolder);
    setSheetWidth(*this, width);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(14);
    layout->addWidget(styledLabel(texts::placeFolder, TextRole::Title2));

    const FolderPlacement initial = placement();
    QLabel *offer = styledLabel(offerLine(initial, m_folder), TextRole::Body, TextTone::Secondary);
    offer->setObjectName(QStringLiteral("offerLine"));
    layout->addWidget(offer);
    QLabel *question = styledLabel(
        texts::whereShouldBefore + isolatedName(initial.folderPart) + texts::whereShouldAfter, TextRole::Body);
    question->setFont(styledFont(TextStyle::Subheadline, QFont::Bold));
    layout->addWidget(question);

    auto *locationRow = new QHBoxLayout;
    m_locationLabel = new ElidedLabel;
    m_locationLabel->setObjectName(QStringLiteral("location"));
    applyTextStyle(*m_locationLabel, TextStyle::Callout);
    locationRow->addWidget(m_locationLabel, 1);
    m_choose = new QPushButton(texts::choose);
    m_choose->setObjectName(QStringLiteral("choose"));
    m_choose->setAutoDefault(false);
    connect(m_choose, &QPushButton::clicked, this, &AcceptFolderSheet::choose);
    locationRow->addWidget(m_choose);
    layout->addLayout(locationRow);

    m_targetPath = new ElidedLabel;
    m_targetPath->setObjectName(QStringLiteral("targetPath"));
    applyTextStyle(*m_targetPath, TextStyle::Caption);
    applyTextTone(m_targetPath, TextTone::Secondary);
    m_targetLine = symbolRow(Symbol::Folder, m_targetPath);
    layout->addWidget(m_targetLine);
    m_explanation = styledLabel({}, TextRole::Caption2);
    m_explanation->setObjectName(QStringLiteral("explanation"));
    layout->addWidget(m_explanation);

    m_syncLine = styledLabel({}, TextRole::Caption, TextTone::Secondary);
    m_syncLine->setObjectName(QStringLiteral("syncLine"));
    layout->addWidget(symbolRow(Symbol::RectangleStack, m_syncLine));

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    auto *cancel = new QPushButton(texts::cancel);
    cancel->setObjectName(QStringLiteral("cancel"));
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(cancel);
    m_place = new QPushButton(texts::place);
    m_place->setObjectName(QStringLiteral("place"));
    m_place->setDefault(true);
    bindReturnKey(*this, *m_place);
    TintedButtonPainter::apply(*m_place, ButtonTint::Prominent);
    connect(m_place, &QPushButton::clicked, this, &AcceptFolderSheet::place);
    buttons->addWidget(m_place);
    layout->addLayout(buttons);

    // The sync line follows the syncs' names; the rest follows the location.
    connect(&m_env, &AppEnvironment::stateChanged, this, &AcceptFolderSheet::refresh);
    refresh();
}

FolderPlacement AcceptFolderSheet::placement() const
{
    return FolderPlacement::of(m_folder, m_env.projects().projects(), m_location);
}

std::optional<AcceptFolderSheet::TargetState> AcceptFolderSheet::targetState() const
{
    if (!m_target || m_target->path != placement().targetPath)
        return std::nullopt;
    return m_target->state;
}

AcceptFolderSheet::TargetState AcceptFolderSheet::stateAt(const std::optional<QString> &target)
{
    if (!target)
        return TargetState::None;
    const QFileInfo info(*target);
    if (!info.exists() && !info.isSymLink())
        return TargetState::Missing;
    return info.isDir() ? TargetState::Folder : TargetState::InTheWay;
}

void AcceptFolderSheet::askTarget()
{
    if (m_asking) {
        m_askAgain = true;
        return;
    }
    m_asking = true;
    detach(readTarget(QPointer(this)));
}

QCoro::Task<void> AcceptFolderSheet::readTarget(QPointer<AcceptFolderSheet> self)
{
    do {
        self->m_askAgain = false;
        const std::optional<QString> target = self->placement().targetPath;
        const TargetState state = co_await QtConcurrent::run(&AcceptFolderSheet::stateAt, target);
        if (!self)
            co_return;
        self->m_target = Target{target, state};
        self->render();
    } while (self->m_askAgain);
    self->m_asking = false;
}

void AcceptFolderSheet::setLocation(const QString &location)
{
    m_location = location;
    m_creationFailed.reset();
    refresh();
}

void AcceptFolderSheet::choose()
{
    detach(chooseLocation(QPointer(this), m_pickFolder));
}

QCoro::Task<void> AcceptFolderSheet::chooseLocation(QPointer<AcceptFolderSheet> self, PickFolder pickFolder)
{
    const std::optional<QString> picked = co_await pickFolder(self.data());
    if (self && picked)
        self->setLocation(*picked);
}

void AcceptFolderSheet::refresh()
{
    render();
    askTarget();
}

void AcceptFolderSheet::render()
{
    const FolderPlacement now = placement();
    m_locationLabel->setFullText(m_location.value_or(texts::noLocationChosen));
    applyTextTone(m_locationLabel, m_location ? TextTone::Primary : TextTone::Secondary);
    const std::optional<TargetState> state = targetState();
    m_targetLine->setVisible(now.targetPath.has_value());
    m_targetPath->setFullText(texts::syncedFolderWillBe + now.targetPath.value_or(QString()));
    m_explanation->setVisible(now.targetPath.has_value() && (state || m_creationFailed || now.insideSyncedFolder));
    if (now.insideSyncedFolder) {
        m_explanation->setText(texts::insideSyncedBefore + isolatedName(*now.insideSyncedFolder) +
                               texts::insideSyncedAfter);
        tintText(*m_explanation, Theme::danger());
    } else if (m_creationFailed) {
        m_explanation->setText(texts::couldntCreateBefore + isolatedName(*m_creationFailed) +
                               texts::couldntCreateAfter);
        tintText(*m_explanation, Theme::danger());
    } else if (state == TargetState::InTheWay) {
        m_explanation->setText(texts::inTheWayBefore + isolatedName(now.component) + texts::inTheWayAfter);
        tintText(*m_explanation, Theme::danger());
    } else if (state == TargetState::Folder) {
        m_explanation->setText(texts::alreadyExistsBefore + isolatedName(now.component) + texts::alreadyExistsMiddle +
                               isolatedName(m_folder.offeredByName) + texts::alreadyExistsAfter);
        tintText(*m_explanation, Theme::orange());
    } else {
        m_explanation->setText(texts::willBeCreatedBefore + isolatedName(m_folder.offeredByName) +
                               texts::willBeCreatedAfter);
        tintText(*m_explanation, Theme::synced());
    }
    m_syncLine->setText(syncLine(now));
    // Another location chosen while the first is being made would be shown
    // while the offer goes to the first.
    setEnabledKeepingFocus(*m_choose, !m_placing);
    setEnabledKeepingFocus(*m_place, !m_placing && m_location.has_value() && state &&
                                         *state != TargetState::InTheWay && !m_creationFailed &&
                                         !now.insideSyncedFolder);
}

void AcceptFolderSheet::place()
{
    const FolderPlacement now = placement();
    const std::optional<TargetState> state = targetState();
    if (m_placing || !now.targetPath || !state || *state == TargetState::InTheWay || m_creationFailed ||
        now.insideSyncedFolder)
        return;
    m_placing = true;
    render();
    detach(createAndAccept(QPointer(this), *now.targetPath, now.existingProjectID, now.targetSyncName));
}

// The engine would fail a folder whose path is missing; placing stops at a
// folder that could not be made, with the sheet open, rather than closing as
// if it had worked.
QCoro::Task<void> AcceptFolderSheet::createAndAccept(QPointer<AcceptFolderSheet> self, QString path,
                                                     std::optional<QString> intoProjectID, QString syncName)
{
    const bool made = co_await QtConcurrent::run(&makeFolder, path);
    if (!self)
        co_return;
    if (!made) {
        self->m_placing = false;
        self->m_creationFailed = path;
        self->refresh();
        co_return;
    }
    const QPointer<ProjectController> projects(&self->m_env.projects());
    const QPointer<AppPreferences> preferences(&self->m_env.preferences());
    const PendingFolder folder = self->m_folder;
    co_await acceptOffer(self, projects, preferences, folder, path, intoProjectID, syncName);
}

QCoro::Task<void> AcceptFolderSheet::acceptOffer(QPointer<AcceptFolderSheet> self,
                                                 QPointer<ProjectController> projects,
                                                 QPointer<AppPreferences> preferences, PendingFolder folder,
                                                 QString path, std::optional<QString> intoProjectID,
                                                 QString syncName)
{
    if (!projects || !preferences)
        co_return;
    const bool autoJoinNode = preferences->autoJoinNode();
    co_await projects->acceptIncomingFolder(std::move(folder), std::move(path), std::move(intoProjectID),
                                            std::move(syncName), autoJoinNode);
    if (self)
        self->accept();
}

} // namespace tw

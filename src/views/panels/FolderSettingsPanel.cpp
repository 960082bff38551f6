#include "views/panels/FolderSettingsPanel.h"

#include "app/AppEnvironment.h"
#include "controllers/EngineController.h"
#include "controllers/FolderController.h"
#include "controllers/FormatFileSize.h"
#include "design/ButtonTint.h"
#include "engine/SyncEngine.h"
#include "projects/ProjectController.h"
#include "views/kit/RingedCheckBox.h"
#include "views/kit/ConfirmAction.h"
#include "views/kit/EnabledKeepingFocus.h"
#include "views/kit/FailureLabel.h"
#include "views/kit/MessageRow.h"
#include "views/kit/LiteralAmpersands.h"
#include "views/kit/PanelTexts.h"
#include "views/kit/ReturnShortcut.h"
#include "views/kit/ScrolledColumn.h"
#include "views/kit/StyledLabel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace tw {
namespace {

// Room on each side of a push button's title beyond what the style gives.
constexpr int kTitleRoom = 8;

// A switch whose label is shown as written: "&" would otherwise mark a
// mnemonic and vanish.
QCheckBox *toggle(const QString &text, const char *name)
{
    auto *box = new RingedCheckBox(literalAmpersands(text));
    box->setAccessibleName(text);
    box->setObjectName(QLatin1String(name));
    return box;
}

QLabel *note(const QString &text)
{
    return styledLabel(text, TextRole::Callout, TextTone::Secondary);
}

// The rescan would un-pause a folder the user switched off, or one of all
// folders paused at once.
bool mayRescan(const AppEnvironment &env, const QString &projectID, const QString &folderID)
{
    const std::optional<ProjectFolder> record = env.projects().folderOf(projectID, folderID);
    return record && record->syncEnabled && !env.engineState().isAllPaused();
}

} // namespace

const QList<FolderSettingsPanel::RetentionOption> &FolderSettingsPanel::retentionOptions()
{
    static const QList<RetentionOption> options{
        {texts::retentionForever, 0}, {texts::retention90, 90}, {texts::retention30, 30}, {texts::retention7, 7}};
    return options;
}

FolderSettingsPanel::FolderSettingsPanel(AppEnvironment &env, QString projectID, ProjectFolder folder,
                                         QWidget *parent)
    : QWidget(parent), m_env(env), m_projectID(std::move(projectID)), m_folder(std::move(folder))
{
    QVBoxLayout *column = scrolledColumn(*this, "settingsScroll");
    column->setSpacing(14);
    m_ignoreHidden = toggle(texts::ignoreHiddenFiles, "ignoreHidden");
    m_ignoreHidden->setChecked(true);
    column->addWidget(m_ignoreHidden);
    column->addWidget(note(texts::ignoreHiddenNote));
    m_archive = toggle(texts::archiveDeletedFiles, "archive");
    column->addWidget(m_archive);
    column->addWidget(note(texts::archiveNote));

    m_archiveSection = new QWidget;
    m_archiveSection->setObjectName(QStringLiteral("archiveSection"));
    auto *section = new QVBoxLayout(m_archiveSection);
    section->setContentsMargins(0, 0, 0, 0);
    section->setSpacing(14);
    auto *keep = new QHBoxLayout;
    QLabel *keepLabel = styledLabel(texts::keepDeletedFilesFor, TextRole::Body);
    keepLabel->setWordWrap(false);
    keep->addWidget(keepLabel);
    keep->addStretch();
    m_retention = new QComboBox;
    m_retention->setObjectName(QStringLiteral("retention"));
    m_retention->setAccessibleName(texts::keepDeletedFilesFor);
    m_retention->setFixedWidth(130);
    for (const RetentionOption &option : retentionOptions())
        m_retention->addItem(option.label, option.days);
    keep->addWidget(m_retention);
    section->addLayout(keep);
    QLabel *retentionNote = note(texts::retentionNote);
    retentionNote->setObjectName(QStringLiteral("retentionNote"));
    section->addWidget(retentionNote);
    auto *local = new QHBoxLayout;
    local->setSpacing(10);
    m_localArchive = note(QString());
    m_localArchive->setObjectName(QStringLiteral("localArchive"));
    local->addWidget(m_localArchive);
    local->addStretch();
    m_free = new QPushButton;
    m_free->setObjectName(QStringLiteral("freeSpace"));
    m_free->setAutoDefault(false);
    // A push button pads a title longer than its bezel's least width by a
    // few pixels only: both of this one's titles get some room.
    int widest = 0;
    for (const QString &title : {texts::freeUpSpaceNow, texts::freeing}) {
        m_free->setText(title);
        widest = std::max(widest, m_free->sizeHint().width());
    }
    m_free->setMinimumWidth(widest + 2 * kTitleRoom);
    connect(m_free, &QPushButton::clicked, this, &FolderSettingsPanel::confirmFree);
    local->addWidget(m_free);
    section->addLayout(local);
    column->addWidget(m_archiveSection);
    connect(m_archive, &QCheckBox::toggled, m_archiveSection, &QWidget::setVisible);

    m_syncMeta = toggle(texts::syncMetadata, "syncMetadata");
    column->addWidget(m_syncMeta);
    // Why a save did not take, beside the buttons: "Save" stays under the
    // pointer for another try.
    m_failure = new MessageRow(failureLabel(QStringLiteral("saveFailure")));
    auto *cancel = new QPushButton(texts::cancel);
    cancel->setObjectName(QStringLiteral("cancel"));
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &FolderSettingsPanel::finished);
    m_failure->addAfter(cancel);
    auto *saveButton = new QPushButton(texts::save);
    saveButton->setObjectName(QStringLiteral("save"));
    saveButton->setDefault(true);
    TintedButtonPainter::apply(*saveButton, ButtonTint::Prominent);
    connect(saveButton, &QPushButton::clicked, this, &FolderSettingsPanel::save);
    bindReturnKey(*this, *saveButton);
    m_failure->addAfter(saveButton);
    column->addWidget(m_failure);
    column->addStretch();

    // What the panel shows before its first load has read anything.
    m_archive->setChecked(true);
    m_retention->setCurrentIndex(0);
    showArchiveState();
}

void FolderSettingsPanel::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        load();
}

void FolderSettingsPanel::load()
{
    m_syncMeta->setChecked(m_folder.syncMetadata);
    m_archive->setChecked(m_folder.archiveDeletedFiles);
    // A stored retention that none of the choices stands for shows none.
    m_retention->setCurrentIndex(m_retention->findData(m_folder.archiveRetentionDays));
    loadSettings(QPointer(this), QPointer(&m_env), m_projectID, m_folder);
}

QCoro::Task<void> FolderSettingsPanel::loadSettings(QPointer<FolderSettingsPanel> self, QPointer<AppEnvironment> env,
                                                    QString projectID, ProjectFolder folder)
{
    if (folder.syncthingFolderID) {
        QStringList lines;
        bool read = true;
        try {
            lines = co_await env->engine().ignorePatterns(*folder.syncthingFolderID);
        } catch (...) {
            read = false;
        }
        if (!self || !env)
            co_return;
        self->showHidden(lines.contains(hiddenFilesLine), read);
    }
    const qint64 bytes = co_await env->projects().archiveSize(projectID, folder.id);
    if (self)
        self->setArchiveBytes(bytes);
}

void FolderSettingsPanel::showHidden(bool on, bool read)
{
    m_ignoreHidden->setChecked(on);
    m_hiddenAsShown = on;
    m_hiddenRead = read;
}

FolderSettingsPanel::Choices FolderSettingsPanel::choices() const
{
    Choices now;
    now.archive = m_archive->isChecked();
    // No choice shown: the stored retention is kept.
    now.retentionDays =
        m_retention->currentIndex() >= 0 ? m_retention->currentData().toLongLong() : m_folder.archiveRetentionDays;
    now.syncMeta = m_syncMeta->isChecked();
    now.ignoreHidden = m_ignoreHidden->isChecked();
    // Lines the panel never read may hold ".*": the switch showing off then
    // says nothing of what the user wants.
    now.writeHidden = m_hiddenRead || now.ignoreHidden != m_hiddenAsShown;
    return now;
}

void FolderSettingsPanel::save()
{
    runSave(QPointer(this), QPointer(&m_env), m_projectID, m_folder, choices());
}

QStringList FolderSettingsPanel::withHiddenLine(QStringList lines, bool wanted)
{
    const bool present = lines.contains(hiddenFilesLine);
    if (wanted && !present)
        lines.prepend(hiddenFilesLine);
    else if (!wanted && present)
        lines.removeAll(hiddenFilesLine);
    return lines;
}

QCoro::Task<void> FolderSettingsPanel::runSave(QPointer<FolderSettingsPanel> self, QPointer<AppEnvironment> env,
                                               QString projectID, ProjectFolder folder, Choices choices)
{
    co_await env->projects().setFolderArchive(projectID, folder.id, choices.archive);
    // With the archive off, the stored retention stays for when it comes back.
    if (env && choices.archive)
        co_await env->projects().setArchiveRetention(projectID, folder.id, choices.retentionDays);
    if (env)
        co_await env->projects().setFolderMetadata(projectID, folder.id, choices.syncMeta);
    std::optional<QString> failure;
    if (env && folder.syncthingFolderID) {
        const QString stID = *folder.syncthingFolderID;
        if (choices.writeHidden) {
            const bool wanted = choices.ignoreHidden;
            const ProjectController::IgnoreEdit edit = [wanted](QStringList lines) {
                return withHiddenLine(std::move(lines), wanted);
            };
            // A failed read leaves the lines alone; the rest still runs.
            failure = co_await env->projects().editIgnores(stID, edit);
        }
        if (env && mayRescan(*env, projectID, folder.id)) {
            bool rescanned = false;
            try {
                co_await env->engine().rescanFolder(stID);
                rescanned = true;
            } catch (const std::exception &error) {
                if (env)
                    env->folders().setError(error);
            } catch (...) {
            }
            if (rescanned && env)
                co_await env->folders().refreshStatuses();
        }
    }
    // The panel stays, telling why, while the hidden-files choice did not
    // take effect; Save tries again.
    if (self)
        self->m_failure->showMessage(failure);
    if (self && !failure)
        emit self->finished();
}

void FolderSettingsPanel::confirmFree()
{
    const QPointer self(this);
    confirmAction(*this, texts::freeArchiveTitle, texts::freeArchiveMessage, texts::freeArchiveAction, true, [self] {
        if (self)
            freeArchive(self, QPointer(&self->m_env), self->m_projectID, self->m_folder.id);
    });
}

QCoro::Task<void> FolderSettingsPanel::freeArchive(QPointer<FolderSettingsPanel> self, QPointer<AppEnvironment> env,
                                                   QString projectID, QString folderID)
{
    self->setFreeing(true);
    co_await env->projects().freeArchiveNow(projectID, folderID);
    if (!env)
        co_return;
    const qint64 bytes = co_await env->projects().archiveSize(projectID, folderID);
    if (self) {
        self->setArchiveBytes(bytes);
        self->setFreeing(false);
    }
}

void FolderSettingsPanel::setArchiveBytes(std::optional<qint64> bytes)
{
    m_archiveBytes = bytes;
    showArchiveState();
}

void FolderSettingsPanel::setFreeing(bool freeing)
{
    m_freeing = freeing;
    showArchiveState();
}

void FolderSettingsPanel::showArchiveState()
{
    const QString size = !m_archiveBytes       ? texts::rowBusy
                         : *m_archiveBytes <= 0 ? texts::localArchiveEmpty
                                                : formatFileSize(*m_archiveBytes);
    m_localArchive->setText(texts::localArchive + size);
    m_free->setText(m_freeing ? texts::freeing : texts::freeUpSpaceNow);
    setEnabledKeepingFocus(*m_free, !m_freeing && m_archiveBytes && *m_archiveBytes > 0);
}

} // namespace tw

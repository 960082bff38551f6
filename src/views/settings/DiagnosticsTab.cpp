#include "views/settings/DiagnosticsTab.h"

#include "app/AppEnvironment.h"
#include "app/AppPreferences.h"
#include "app/ExclusionIssue.h"
#include "app/texts/FriendlyFolderErrorMessage.h"
#include "controllers/DeviceController.h"
#include "controllers/EngineController.h"
#include "controllers/FolderController.h"
#include "design/ButtonTint.h"
#include "design/CardFrame.h"
#include "design/DerivedForeground.h"
#include "design/DestructiveItem.h"
#include "design/ElidedLabel.h"
#include "design/FileIcon.h"
#include "design/LooksLikeVolumeRoot.h"
#include "design/ShownSymbol.h"
#include "design/StatusDot.h"
#include "design/Symbol.h"
#include "design/TextStyle.h"
#include "design/Theme.h"
#include "projects/ProjectController.h"
#include "services/FeedbackService.h"
#include "utilities/IsolatedName.h"
#include "views/kit/RingedCheckBox.h"
#include "views/kit/ConfirmAction.h"
#include "views/kit/CopyPlainText.h"
#include "views/kit/EnabledKeepingFocus.h"
#include "views/kit/FormSection.h"
#include "views/kit/LiteralAmpersands.h"
#include "views/kit/OpenExternal.h"
#include "views/kit/PanelTexts.h"
#include "views/kit/PlainLabel.h"
#include "views/kit/StyledLabel.h"
#include "views/settings/SettingsState.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSysInfo>
#include <QUrl>
#include <QVBoxLayout>
#include <QtConcurrent>
#include <qcoro/qcorofuture.h>

namespace tw {
namespace {

constexpr int kDotDiameter = 9;
constexpr int kIconSize = 18;

QColor systemGreen()
{
    return Theme::synced();
}

QColor systemRed()
{
    return Theme::danger();
}

void tint(QLabel *label, const QColor &color)
{
    tintText(*label, color);
}

QLabel *symbolLabel(Symbol symbol, int side, const QColor &color)
{
    auto *label = plainLabel();
    showSymbol(*label, symbol, side, color);
    return label;
}

QLabel *selectable(QLabel *label)
{
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QWidget *rowWidget(QBoxLayout *&layout)
{
    auto *row = new QWidget;
    layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    return row;
}

// Rebuilds only the rows whose keys changed (all of them when rows came or
// went); answers whether any was.
template <typename Key, typename Make>
bool replaceRows(QVBoxLayout &rows, QList<Key> &shown, QList<Key> now, Make make)
{
    if (now == shown)
        return false;
    if (now.size() == shown.size()) {
        for (qsizetype i = 0; i < now.size(); ++i) {
            if (now[i] == shown[i])
                continue;
            QWidget *old = rows.itemAt(int(i))->widget();
            delete rows.replaceWidget(old, make(now[i]));
            delete old;
        }
    } else {
        while (QLayoutItem *item = rows.takeAt(0)) {
            delete item->widget();
            delete item;
        }
        for (const Key &key : now)
            rows.addWidget(make(key));
    }
    shown = std::move(now);
    return true;
}

QVBoxLayout *rowsIn(FormSection *section, int spacing)
{
    auto *rows = new QVBoxLayout;
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(spacing);
    section->rows()->addLayout(rows);
    return rows;
}

QString exclusionSentence(const ExclusionIssue &issue)
{
    return texts::exclusionStill.arg(isolatedName(issue.deviceName), isolatedName(issue.folderLabel)) +
           (issue.introduced ? texts::exclusionIntroduced : texts::exclusionManual);
}

QCoro::Task<void> readReport(QPointer<SettingsState> state, QPointer<AppEnvironment> env, bool copy)
{
    state->editActivity([copy](SettingsState::Activity &activity) {
        activity.diagLoading = true;
        if (copy)
            activity.diagCopied = false;
    });
    QString report;
    try {
        report = co_await env->fullDiagnostics();
    } catch (...) {
        // Unreachable peers are lines of the report; nothing else fails it.
        report.clear();
    }
    if (!state)
        co_return;
    if (copy)
        copyPlainText(report);
    state->editActivity([&report, copy](SettingsState::Activity &activity) {
        activity.diagText = report;
        activity.diagLoading = false;
        if (copy)
            activity.diagCopied = true;
    });
}

QCoro::Task<void> rebuildDatabase(QPointer<SettingsState> state, QPointer<AppEnvironment> env)
{
    state->editActivity([](SettingsState::Activity &activity) { activity.resetting = true; });
    co_await env->engineState().resetDatabase();
    if (env)
        co_await env->folders().refresh();
    if (state)
        state->editActivity([](SettingsState::Activity &activity) { activity.resetting = false; });
}

} // namespace

DiagnosticsTab::DiagnosticsTab(SettingsState &state, QWidget *parent)
    : SettingsForm(parent), m_state(state), m_env(state.env()), m_readFilesystem(&FilesystemInfo::forPath)
{
    addStatus();
    addFeedback();
    addVolumes();
    addProblems();
    addDeviceDetails();
    addCrossCheck();
    addPhoneStatus();
    addMaintenance();
    finish();

    const auto follow = [this](auto *source, auto signal) { connect(source, signal, this, &DiagnosticsTab::refresh); };
    EngineController *engine = &m_env.engineState();
    follow(engine, &EngineController::statusChanged);
    follow(engine, &EngineController::binaryAvailableChanged);
    follow(engine, &EngineController::lastErrorMessageChanged);
    follow(&m_env.devices(), &DeviceController::localDeviceIDChanged);
    follow(&m_env.devices(), &DeviceController::devicesChanged);
    follow(&m_env.folders(), &FolderController::foldersChanged);
    follow(&m_env.folders(), &FolderController::statusesChanged);
    follow(&m_env.folders(), &FolderController::folderErrorsChanged);
    follow(&m_env.projects(), &ProjectController::projectsChanged);
    follow(&m_env.projects(), &ProjectController::lastReconcileSummaryChanged);
    follow(&m_env, &AppEnvironment::volumeOnlineChanged);
    AppPreferences *preferences = &m_env.preferences();
    follow(preferences, &AppPreferences::alwaysShowTechnicalDetailsChanged);
    follow(preferences, &AppPreferences::lanDiagnosticsChanged);
    follow(preferences, &AppPreferences::remoteStatusEnabledChanged);
    follow(preferences, &AppPreferences::remoteStatusTokenChanged);
    connect(&m_env, &AppEnvironment::iconCacheStale, this, [this] {
        // A volume came or went: what a path sits on may be another format.
        forgetFormats();
        refresh();
    });
    connect(&state, &SettingsState::activityChanged, this, &DiagnosticsTab::showActivity);
    refresh();
    showActivity();
    showFeedbackAvailable();
}

void DiagnosticsTab::setFilesystemReader(FilesystemReader reader)
{
    m_readFilesystem = std::move(reader);
    forgetFormats();
    showVolumes();
}

void DiagnosticsTab::forgetFormats()
{
    m_formats.clear();
    m_formatsReading.clear();
    // Reads still under way answer for what was forgotten.
    ++m_formatGeneration;
}

void DiagnosticsTab::showEvent(QShowEvent *event)
{
    SettingsForm::showEvent(event);
    showVolumes();
}

void DiagnosticsTab::setFeedbackSheetFactory(FeedbackSheetFactory factory)
{
    m_feedbackSheet = std::move(factory);
    showFeedbackAvailable();
}

QString DiagnosticsTab::statusLink() const
{
    return QStringLiteral("http://%1:%2/?t=%3")
        .arg(QSysInfo::machineHostName())
        .arg(m_env.lanSetting().port)
        .arg(m_env.preferences().remoteStatusToken());
}

void DiagnosticsTab::refresh()
{
    showStatus();
    showVolumes();
    showProblems();
    showPreferences();
}

void DiagnosticsTab::addStatus()
{
    FormSection *section = addSection(texts::status);
    for (const QString &title : {texts::backendFound, texts::engineRunning, texts::deviceIDPresent}) {
        QBoxLayout *layout = nullptr;
        QWidget *row = rowWidget(layout);
        row->setObjectName(QStringLiteral("diagRow"));
        auto *dot = new StatusDot(systemRed(), kDotDiameter);
        layout->addWidget(dot, 0, Qt::AlignVCenter);
        layout->addWidget(plainLabel(title));
        layout->addStretch();
        auto *mark = plainLabel();
        mark->setObjectName(QStringLiteral("diagMark"));
        layout->addWidget(mark);
        section->rows()->addWidget(row);
        m_statusRows.append({dot, mark});
    }
}

void DiagnosticsTab::addFeedback()
{
    FormSection *section = addSection(texts::sectionFeedback);
    section->rows()->setSpacing(10);
    section->rows()->addWidget(styledLabel(texts::feedbackCaption, TextRole::Callout));
    m_sendFeedback = new QPushButton(symbolIcon(Symbol::EnvelopeBadge), texts::sendFeedback);
    m_sendFeedback->setObjectName(QStringLiteral("sendFeedback"));
    m_sendFeedback->setDefault(true);
    TintedButtonPainter::apply(*m_sendFeedback, ButtonTint::Prominent);
    section->rows()->addWidget(m_sendFeedback, 0, Qt::AlignLeft);
    section->addCaption(texts::feedbackShortcut);
    connect(m_sendFeedback, &QPushButton::clicked, this, &DiagnosticsTab::openFeedback);
}

void DiagnosticsTab::addVolumes()
{
    FormSection *section = addSection(texts::sectionVolumes);
    m_noFolders = section->addCaption(texts::noSyncedFolders);
    m_noFolders->setObjectName(QStringLiteral("noSyncedFolders"));
    m_volumeRows = rowsIn(section, 6);
}

void DiagnosticsTab::addProblems()
{
    m_lastError = addSection(texts::sectionLastError);
    m_lastErrorText = selectable(styledLabel({}, TextRole::Caption));
    m_lastErrorText->setObjectName(QStringLiteral("lastError"));
    tint(m_lastErrorText, systemRed());
    m_lastError->rows()->addWidget(m_lastErrorText);
    m_folderErrors = addSection(texts::sectionFolderErrors);
    m_folderErrors->setObjectName(QStringLiteral("folderErrors"));
    rowsIn(m_folderErrors, 8);
    m_lastActivity = addSection(texts::sectionLastSyncActivity);
    m_lastActivityText = selectable(styledLabel({}, TextRole::Caption, TextTone::Secondary));
    m_lastActivityText->setObjectName(QStringLiteral("lastActivity"));
    m_lastActivity->rows()->addWidget(m_lastActivityText);
    m_exclusions = addSection(texts::sectionExcludedStillReceiving);
    m_exclusions->setObjectName(QStringLiteral("exclusions"));
    rowsIn(m_exclusions, 6);
}

void DiagnosticsTab::addDeviceDetails()
{
    FormSection *section = addSection(texts::sectionDeviceDetails);
    m_technicalDetails = new RingedCheckBox(texts::alwaysShowTechnicalDetails);
    m_technicalDetails->setObjectName(QStringLiteral("alwaysShowTechnicalDetails"));
    section->rows()->addWidget(m_technicalDetails);
    section->addCaption(texts::technicalDetailsNote);
    connect(m_technicalDetails, &QCheckBox::clicked, &m_env.preferences(),
            &AppPreferences::setAlwaysShowTechnicalDetails);
}

void DiagnosticsTab::addCrossCheck()
{
    FormSection *section = addSection(texts::sectionCrossCheck);
    m_lanDiagnostics = new RingedCheckBox(texts::readOtherMacs);
    m_lanDiagnostics->setObjectName(QStringLiteral("lanDiagnostics"));
    section->rows()->addWidget(m_lanDiagnostics);
    section->addCaption(texts::readOtherMacsNote);
    auto *buttons = new QHBoxLayout;
    m_readAll = new QPushButton(symbolIcon(Symbol::DocOnClipboard), texts::readAllMacs);
    m_readAll->setObjectName(QStringLiteral("readAllMacs"));
    m_refreshReport = new QPushButton(texts::refresh);
    m_refreshReport->setObjectName(QStringLiteral("refreshReport"));
    buttons->addWidget(m_readAll);
    buttons->addWidget(m_refreshReport);
    buttons->addStretch();
    section->rows()->addLayout(buttons);
    section->addCaption(texts::reportNote);
    m_report = new QPlainTextEdit;
    m_report->setObjectName(QStringLiteral("report"));
    m_report->setReadOnly(true);
    m_report->setFixedHeight(260);
    m_report->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont smallest = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    smallest.setPointSizeF(textStyleFont(TextStyle::Caption2).pointSizeF());
    m_report->setFont(smallest);
    // Black at 4 % on a rounded box, painted by the box: a style sheet would
    // keep the report's scroll bar in the palette it was made with.
    m_report->setFrameShape(QFrame::NoFrame);
    m_report->viewport()->setAutoFillBackground(false);
    m_reportBox = new CardFrame(m_report, {.radius = 6, .padding = CardStyle::even(0), .strokeWidth = 0,
                                           .fill = QColor(0, 0, 0, 10)});
    section->rows()->addWidget(m_reportBox);

    connect(m_lanDiagnostics, &QCheckBox::clicked, this, [this](bool on) {
        m_env.preferences().setLanDiagnostics(on);
        m_env.applyDiagServer();
    });
    connect(m_readAll, &QPushButton::clicked, this,
            [this] { readReport(QPointer(&m_state), QPointer(&m_env), true); });
    connect(m_refreshReport, &QPushButton::clicked, this,
            [this] { readReport(QPointer(&m_state), QPointer(&m_env), false); });
}

void DiagnosticsTab::addPhoneStatus()
{
    FormSection *section = addSection(texts::sectionPhoneStatus);
    m_remoteStatus = new RingedCheckBox(texts::showStatusPage);
    m_remoteStatus->setObjectName(QStringLiteral("remoteStatus"));
    markWideEffect(*m_remoteStatus);
    section->rows()->addWidget(m_remoteStatus);
    section->addCaption(texts::statusPageNote);

    m_linkRows = new QWidget;
    auto *rows = new QVBoxLayout(m_linkRows);
    rows->setContentsMargins(0, 0, 0, 0);
    auto *linkRow = new QHBoxLayout;
    linkRow->addWidget(plainLabel(texts::link));
    m_link = new ElidedLabel;
    m_link->setObjectName(QStringLiteral("statusLink"));
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSizeF(textStyleFont(TextStyle::Caption).pointSizeF());
    m_link->setFont(mono);
    m_link->setTextInteractionFlags(Qt::TextSelectableByMouse);
    linkRow->addWidget(m_link, 1);
    rows->addLayout(linkRow);
    auto *buttons = new QHBoxLayout;
    m_copyLink = new QPushButton(symbolIcon(Symbol::DocOnDoc), texts::copyLink);
    m_copyLink->setObjectName(QStringLiteral("copyLink"));
    auto *open = new QPushButton(symbolIcon(Symbol::Safari), texts::openLink);
    open->setObjectName(QStringLiteral("openLink"));
    auto *newToken = new QPushButton(texts::newToken);
    newToken->setObjectName(QStringLiteral("newToken"));
    newToken->setToolTip(texts::newTokenHelp);
    for (QPushButton *button : {m_copyLink, open, newToken})
        buttons->addWidget(button);
    buttons->addStretch();
    rows->addLayout(buttons);
    QLabel *note = styledLabel(texts::statusLinkNote, TextRole::Caption2, TextTone::Secondary);
    rows->addWidget(note);
    section->rows()->addWidget(m_linkRows);

    connect(m_remoteStatus, &QCheckBox::clicked, this, [this](bool on) {
        m_env.preferences().setRemoteStatusEnabled(on);
        m_env.applyDiagServer();
    });
    connect(m_copyLink, &QPushButton::clicked, this, [this] {
        copyPlainText(statusLink());
        m_state.editActivity([](SettingsState::Activity &activity) { activity.remoteCopied = true; });
    });
    connect(open, &QPushButton::clicked, this, [this] {
        const QUrl link(statusLink(), QUrl::StrictMode);
        if (link.isValid())
            openExternal(link);
    });
    connect(newToken, &QPushButton::clicked, this, [this] {
        // Every request compares the token, so the server keeps running.
        m_env.preferences().setRemoteStatusToken(AppPreferences::makeRemoteStatusToken());
        m_state.editActivity([](SettingsState::Activity &activity) { activity.remoteCopied = false; });
    });
}

void DiagnosticsTab::addMaintenance()
{
    FormSection *section = addSection(texts::sectionMaintenance);
    m_rebuild = new QPushButton(texts::rebuildDatabase);
    m_rebuild->setObjectName(QStringLiteral("rebuild"));
    section->rows()->addWidget(m_rebuild, 0, Qt::AlignLeft);
    section->addCaption(texts::rebuildNote);
    connect(m_rebuild, &QPushButton::clicked, this, &DiagnosticsTab::askRebuild);
}

void DiagnosticsTab::showStatus()
{
    const bool ok[] = {m_env.engineState().binaryAvailable(), m_env.engineState().status().isRunning,
                       !m_env.devices().localDeviceID().isEmpty()};
    for (int i = 0; i < m_statusRows.size(); ++i) {
        auto [dot, mark] = m_statusRows[i];
        const QColor color = ok[i] ? systemGreen() : systemRed();
        if (dot->color() == color && !mark->pixmap().isNull())
            continue;
        dot->setColor(color);
        showSymbol(*mark, ok[i] ? Symbol::Checkmark : Symbol::Xmark, 12, color);
        mark->setProperty("ok", ok[i]);
    }
}

QList<DiagnosticsTab::VolumeKey> DiagnosticsTab::volumeKeys()
{
    QList<VolumeKey> keys;
    const QMap<QString, bool> &online = m_env.volumeOnline();
    for (const Project &project : m_env.projects().projects()) {
        for (const ProjectFolder &folder : project.folders) {
            VolumeKey key{folder.id, folder.label, folder.localPath, online.value(folder.localPath, true), {}};
            if (key.online) {
                const auto known = m_formats.constFind(folder.localPath);
                if (known != m_formats.constEnd()) {
                    if (known->has_value())
                        key.format = (*known)->formatDescription;
                } else if (isVisible()) {
                    // Nobody looks at a hidden tab: its formats wait.
                    readFormat(folder.localPath);
                }
            }
            keys.append(std::move(key));
        }
    }
    return keys;
}

void DiagnosticsTab::readFormat(const QString &path)
{
    if (m_formatsReading.contains(path))
        return;
    m_formatsReading.insert(path);
    storeFormat(QPointer(this), QtConcurrent::run(m_readFilesystem, path), path, m_formatGeneration);
}

QCoro::Task<void> DiagnosticsTab::storeFormat(QPointer<DiagnosticsTab> self,
                                              QFuture<std::optional<FilesystemInfo>> reading, QString path,
                                              quint64 generation)
{
    std::optional<FilesystemInfo> info;
    try {
        info = co_await reading;
    } catch (...) {
        // A reader that fails reads nothing.
        info.reset();
    }
    if (!self || self->m_formatGeneration != generation)
        co_return;
    self->m_formatsReading.remove(path);
    self->m_formats.insert(path, std::move(info));
    // A read may end at once, inside the pass over the folders that started
    // it; the rows follow after that pass, once for all reads ended by then.
    if (!self->m_volumesDue) {
        self->m_volumesDue = true;
        QMetaObject::invokeMethod(self.data(), &DiagnosticsTab::showDueVolumes, Qt::QueuedConnection);
    }
}

void DiagnosticsTab::showDueVolumes()
{
    m_volumesDue = false;
    showVolumes();
}

void DiagnosticsTab::showVolumes()
{
    QList<VolumeKey> keys = volumeKeys();
    m_noFolders->setVisible(keys.isEmpty());
    replaceRows(*m_volumeRows, m_shownVolumes, std::move(keys), [this](const VolumeKey &key) { return volumeRow(key); });
}

QWidget *DiagnosticsTab::volumeRow(const VolumeKey &key) const
{
    QBoxLayout *layout = nullptr;
    QWidget *row = rowWidget(layout);
    row->setObjectName(QStringLiteral("volumeRow"));
    layout->setSpacing(8);
    layout->addWidget(new FileIcon(key.path, looksLikeVolumeRoot(key.path), kIconSize), 0, Qt::AlignVCenter);
    auto *column = new QVBoxLayout;
    column->setSpacing(0);
    column->addWidget(styledLabel(key.label, TextRole::Callout));
    if (!key.online) {
        QLabel *offline = styledLabel(texts::offline, TextRole::Caption2);
        offline->setObjectName(QStringLiteral("volumeOffline"));
        tint(offline, Theme::orange());
        column->addWidget(offline);
    } else if (key.format) {
        QLabel *format = styledLabel(*key.format, TextRole::Caption2, TextTone::Secondary);
        format->setObjectName(QStringLiteral("volumeFormat"));
        column->addWidget(format);
    }
    layout->addLayout(column);
    layout->addStretch();
    if (key.format && FilesystemInfo{*key.format}.isPermissionless()) {
        layout->addWidget(symbolLabel(Symbol::ExclamationmarkTriangleFill, 10, Theme::orange()));
        QLabel *marker = styledLabel(texts::noPermissions, TextRole::Caption2);
        marker->setObjectName(QStringLiteral("volumeMarker"));
        tint(marker, Theme::orange());
        layout->addWidget(marker);
    } else if (key.online) {
        QLabel *check = symbolLabel(Symbol::CheckmarkCircleFill, 14, systemGreen());
        check->setObjectName(QStringLiteral("volumeCheck"));
        layout->addWidget(check);
    }
    return row;
}

void DiagnosticsTab::showProblems()
{
    const QString lastError = m_env.engineState().lastErrorMessage().value_or(QString());
    m_lastError->setVisible(!lastError.isEmpty());
    m_lastErrorText->setText(lastError);

    QList<TextKey> folderErrors;
    const FolderController &folders = m_env.folders();
    for (const SyncFolder &folder : folders.folders()) {
        const auto status = folders.statuses().constFind(folder.id);
        if (status == folders.statuses().constEnd() || !status->hasErrors())
            continue;
        const auto error = folders.folderErrors().constFind(folder.id);
        folderErrors.append({folder.label, error == folders.folderErrors().constEnd()
                                               ? texts::folderErrorUnknown
                                               : friendlyFolderErrorMessage(*error)});
    }
    m_folderErrors->setVisible(!folderErrors.isEmpty());
    auto *errorRows = static_cast<QVBoxLayout *>(m_folderErrors->rows()->itemAt(0)->layout());
    replaceRows(*errorRows, m_shownFolderErrors, std::move(folderErrors), [](const TextKey &key) {
        auto *entry = new QWidget;
        entry->setObjectName(QStringLiteral("folderError"));
        auto *column = new QVBoxLayout(entry);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(3);
        QLabel *title = selectable(styledLabel(key.title, TextRole::Caption));
        QFont semibold = title->font();
        semibold.setWeight(QFont::DemiBold);
        title->setFont(semibold);
        column->addWidget(title);
        QLabel *message = selectable(styledLabel(key.text, TextRole::Caption));
        message->setObjectName(QStringLiteral("folderErrorText"));
        tint(message, systemRed());
        column->addWidget(message);
        return entry;
    });

    const QString summary = m_env.projects().lastReconcileSummary().value_or(QString());
    m_lastActivity->setVisible(!summary.isEmpty());
    m_lastActivityText->setText(summary);

    QList<TextKey> exclusions;
    for (const ExclusionIssue &issue : m_env.exclusionConvergenceIssues())
        exclusions.append({issue.id(), exclusionSentence(issue)});
    m_exclusions->setVisible(!exclusions.isEmpty());
    auto *exclusionRows = static_cast<QVBoxLayout *>(m_exclusions->rows()->itemAt(0)->layout());
    replaceRows(*exclusionRows, m_shownExclusions, std::move(exclusions), [](const TextKey &key) {
        QBoxLayout *layout = nullptr;
        QWidget *row = rowWidget(layout);
        row->setObjectName(QStringLiteral("exclusion"));
        layout->setSpacing(7);
        layout->addWidget(symbolLabel(Symbol::ExclamationmarkTriangleFill, 12, Theme::orange()), 0, Qt::AlignTop);
        QLabel *text = styledLabel(key.text, TextRole::Caption, TextTone::Secondary);
        text->setObjectName(QStringLiteral("exclusionText"));
        layout->addWidget(text, 1);
        return row;
    });
}

void DiagnosticsTab::showPreferences()
{
    const AppPreferences &preferences = m_env.preferences();
    m_technicalDetails->setChecked(preferences.alwaysShowTechnicalDetails());
    m_lanDiagnostics->setChecked(preferences.lanDiagnostics());
    m_remoteStatus->setChecked(preferences.remoteStatusEnabled());
    m_linkRows->setVisible(preferences.remoteStatusEnabled());
    m_link->setFullText(statusLink());
}

void DiagnosticsTab::showActivity()
{
    const SettingsState::Activity &activity = m_state.activity();
    m_readAll->setText(literalAmpersands(activity.diagLoading  ? texts::readingAllMacs
                                         : activity.diagCopied ? texts::copiedToClipboard
                                                               : texts::readAllMacs));
    setEnabledKeepingFocus(*m_readAll, !activity.diagLoading);
    m_refreshReport->setVisible(!activity.diagText.isEmpty());
    setEnabledKeepingFocus(*m_refreshReport, !activity.diagLoading);
    m_reportBox->setVisible(!activity.diagText.isEmpty());
    if (m_report->toPlainText() != activity.diagText)
        m_report->setPlainText(activity.diagText);
    m_copyLink->setText(activity.remoteCopied ? texts::copied : texts::copyLink);
    m_rebuild->setText(activity.resetting ? texts::rebuilding : texts::rebuildDatabase);
    setEnabledKeepingFocus(*m_rebuild, !activity.resetting);
}

void DiagnosticsTab::showFeedbackAvailable()
{
    // Without an endpoint a report could never leave this machine.
    const FeedbackService *feedback = m_env.feedback();
    m_sendFeedback->setEnabled(m_feedbackSheet && feedback && feedback->hasEndpoint());
}

void DiagnosticsTab::openFeedback()
{
    if (!m_feedbackSheet)
        return;
    QWidget *sheet = m_feedbackSheet(window(), texts::feedbackOrigin);
    if (!sheet)
        return;
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setWindowModality(Qt::WindowModal);
    sheet->show();
}

void DiagnosticsTab::askRebuild()
{
    confirmAction(*this, texts::rebuildTitle, texts::rebuildMessage, texts::rebuild, true,
                  [this] { rebuildDatabase(QPointer(&m_state), QPointer(&m_env)); });
}

} // namespace tw

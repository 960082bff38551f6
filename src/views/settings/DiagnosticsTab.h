#pragma once

#include "utilities/FilesystemInfo.h"
#include "views/settings/SettingsForm.h"

#include <QFuture>
#include <QHash>
#include <QPointer>
#include <QList>
#include <QSet>
#include <QString>
#include <functional>
#include <optional>
#include <qcoro/qcorotask.h>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QVBoxLayout;

namespace tw {

class AppEnvironment;
class ElidedLabel;
class FormSection;
class SettingsState;
class StatusDot;

// The settings window's Diagnostics tab: whether the engine is found and
// running, the volumes of the synced folders, what failed last, exclusions
// not yet in force; the switches of the LAN status exchange and the phone's
// status page, the full report of every Mac, feedback and the rebuild of
// the engine's index. It reads the controllers as they change and rebuilds
// a section's rows only when what they show changed.
class DiagnosticsTab : public SettingsForm
{
    Q_OBJECT

public:
    // How a volume is formatted; blocking (a dead network mount), so it runs
    // off the main thread.
    using FilesystemReader = std::function<std::optional<FilesystemInfo>(const QString &path)>;
    // Makes the feedback sheet over the window, given its origin.
    using FeedbackSheetFactory = std::function<QWidget *(QWidget *parent, const QString &origin)>;

    explicit DiagnosticsTab(SettingsState &state, QWidget *parent = nullptr);

    // Formats read so far are forgotten.
    void setFilesystemReader(FilesystemReader reader);
    void setFeedbackSheetFactory(FeedbackSheetFactory factory);
    // "http://<host>:<port>/?t=<token>".
    QString statusLink() const;

    // Brings every section in line with the controllers.
    void refresh();

protected:
    void showEvent(QShowEvent *event) override;

private:
    struct VolumeKey
    {
        QString id;
        QString label;
        QString path;
        bool online = true;
        std::optional<QString> format;  // read and known
        bool operator==(const VolumeKey &) const = default;
    };
    struct TextKey
    {
        QString title;
        QString text;
        bool operator==(const TextKey &) const = default;
    };

    void addStatus();
    void addFeedback();
    void addVolumes();
    void addProblems();
    void addDeviceDetails();
    void addCrossCheck();
    void addPhoneStatus();
    void addMaintenance();
    void showStatus();
    void showVolumes();
    void showDueVolumes();
    void showProblems();
    void showPreferences();
    void showActivity();
    void showFeedbackAvailable();
    QList<VolumeKey> volumeKeys();
    QWidget *volumeRow(const VolumeKey &key) const;
    void readFormat(const QString &path);
    static QCoro::Task<void> storeFormat(QPointer<DiagnosticsTab> self, QFuture<std::optional<FilesystemInfo>> reading,
                                         QString path, quint64 generation);
    void forgetFormats();
    void openFeedback();
    void askRebuild();

    SettingsState &m_state;
    AppEnvironment &m_env;
    FilesystemReader m_readFilesystem;
    FeedbackSheetFactory m_feedbackSheet;

    QList<std::pair<StatusDot *, QLabel *>> m_statusRows;
    QPushButton *m_sendFeedback = nullptr;
    QLabel *m_noFolders = nullptr;
    QVBoxLayout *m_volumeRows = nullptr;
    QList<VolumeKey> m_shownVolumes;
    // Read once per path, until volumes come or go.
    QHash<QString, std::optional<FilesystemInfo>> m_formats;
    QSet<QString> m_formatsReading;
    quint64 m_formatGeneration = 0;
    bool m_volumesDue = false;
    FormSection *m_lastError = nullptr;
    QLabel *m_lastErrorText = nullptr;
    FormSection *m_folderErrors = nullptr;
    QList<TextKey> m_shownFolderErrors;
    FormSection *m_lastActivity = nullptr;
    QLabel *m_lastActivityText = nullptr;
    FormSection *m_exclusions = nullptr;
    QList<TextKey> m_shownExclusions;
    QCheckBox *m_technicalDetails = nullptr;
    QCheckBox *m_lanDiagnostics = nullptr;
    QPushButton *m_readAll = nullptr;
    QPushButton *m_refreshReport = nullptr;
    QPlainTextEdit *m_report = nullptr;
    QWidget *m_reportBox = nullptr;
    QCheckBox *m_remoteStatus = nullptr;
    QWidget *m_linkRows = nullptr;
    ElidedLabel *m_link = nullptr;
    QPushButton *m_copyLink = nullptr;
    QPushButton *m_rebuild = nullptr;
};

} // namespace tw

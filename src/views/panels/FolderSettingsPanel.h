#pragma once

#include "projects/ProjectFolder.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <optional>
#include <qcoro/qcorotask.h>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace tw {

class AppEnvironment;
class MessageRow;

// The settings of one folder of a sync on this Mac: hidden files, the
// archive of deleted and overwritten files and how long it keeps them, the
// sync of file manager tags and metadata, and the local archive's size with
// a way to free it. The choices take effect on "Save" (freeing acts at
// once). It shows the folder as it was when the panel was made.
class FolderSettingsPanel : public QWidget
{
    Q_OBJECT

public:
    struct RetentionOption
    {
        QString label;
        qint64 days = 0;
    };
    static const QList<RetentionOption> &retentionOptions();
    // Hides every file and folder whose name begins with a dot; only a line
    // equal to it counts.
    static inline const QString hiddenFilesLine = QStringLiteral(".*");

    FolderSettingsPanel(AppEnvironment &env, QString projectID, ProjectFolder folder, QWidget *parent = nullptr);

    // Starts a save in a task of its own with the choices shown now; the
    // panel is finished at its end, even when the panel is gone by then,
    // unless the folder's ignore lines could not be written: the panel then
    // shows why.
    void save();

    bool isFreeing() const { return m_freeing; }
    std::optional<qint64> archiveBytes() const { return m_archiveBytes; }

    // The lines with the hidden-files line wanted (first, unless there) or
    // not (every copy gone); the other lines keep their order.
    static QStringList withHiddenLine(QStringList lines, bool wanted);

signals:
    // Cancel, or the end of a save.
    void finished();

protected:
    void showEvent(QShowEvent *event) override;

private:
    struct Choices
    {
        bool archive = true;
        qint64 retentionDays = 0;
        bool syncMeta = false;
        bool ignoreHidden = true;
        // Whether the save may touch the hidden-files line: only when the
        // panel read the folder's lines, or the user changed the switch.
        bool writeHidden = false;
    };

    Choices choices() const;
    void load();
    static QCoro::Task<void> loadSettings(QPointer<FolderSettingsPanel> self, QPointer<AppEnvironment> env,
                                          QString projectID, ProjectFolder folder);
    static QCoro::Task<void> runSave(QPointer<FolderSettingsPanel> self, QPointer<AppEnvironment> env,
                                     QString projectID, ProjectFolder folder, Choices choices);
    static QCoro::Task<void> freeArchive(QPointer<FolderSettingsPanel> self, QPointer<AppEnvironment> env,
                                         QString projectID, QString folderID);
    void confirmFree();
    void showHidden(bool on, bool read);
    void setArchiveBytes(std::optional<qint64> bytes);
    void setFreeing(bool freeing);
    void showArchiveState();

    AppEnvironment &m_env;
    const QString m_projectID;
    const ProjectFolder m_folder;
    bool m_hiddenRead = false;
    bool m_hiddenAsShown = true;
    std::optional<qint64> m_archiveBytes;
    bool m_freeing = false;
    QCheckBox *m_ignoreHidden = nullptr;
    QCheckBox *m_archive = nullptr;
    QWidget *m_archiveSection = nullptr;
    QComboBox *m_retention = nullptr;
    QLabel *m_localArchive = nullptr;
    QPushButton *m_free = nullptr;
    QCheckBox *m_syncMeta = nullptr;
    MessageRow *m_failure = nullptr;
};

} // namespace tw

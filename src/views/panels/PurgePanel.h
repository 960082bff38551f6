#pragma once

#include "app/removal/PurgeOutcome.h"
#include "projects/ProjectFolder.h"

#include <QPointer>
#include <QWidget>
#include <functional>
#include <optional>
#include <qcoro/qcorotask.h>

class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;

namespace tw {

class AppEnvironment;
class MessageRow;

// Removes one subfolder of a sync folder from the teammates' Macs to free
// their space, while this Mac keeps its copy out of syncing: the user types
// the path, types it again to confirm, and reads a one-paragraph result. It
// needs an always-on node, whose key authenticates the command. It keeps the
// folder it was made with.
class PurgePanel : public QWidget
{
    Q_OBJECT

public:
    // How the removal is carried out: the environment's purgeFromPeers
    // unless given (a test holds and answers it).
    using Purge =
        std::function<QCoro::Task<PurgeOutcome>(QString projectID, QString folderID, QString anchoredPath)>;

    PurgePanel(AppEnvironment &env, QString projectID, ProjectFolder folder, QWidget *parent = nullptr,
               Purge purge = {});

    // Not running, a path typed, the confirmation typed exactly as the
    // trimmed path, and an always-on node set up.
    bool canRun() const;
    // Starts the removal of the trimmed path in a task of its own; it runs
    // to its end even when the panel is closed meanwhile.
    void run();

    bool isRunning() const { return m_running; }
    std::optional<QString> resultText() const { return m_resultText; }
    // The path as typed, without white space at either end.
    QString trimmedSubpath() const;

    // The result of a removal as the panel shows it.
    static QString resultOf(const PurgeOutcome &outcome);

signals:
    // Cancel.
    void finished();

private:
    static QCoro::Task<void> runPurge(QPointer<PurgePanel> self, Purge purge, QString projectID, QString folderID,
                                      QString anchoredPath);
    void showOutcome(const PurgeOutcome &outcome);
    void refresh();

    AppEnvironment &m_env;
    const QString m_projectID;
    const ProjectFolder m_folder;
    const Purge m_purge;
    bool m_running = false;
    std::optional<QString> m_resultText;
    QLabel *m_nodeNote = nullptr;
    QLineEdit *m_subpath = nullptr;
    QWidget *m_preview = nullptr;
    QLabel *m_kept = nullptr;
    QLineEdit *m_confirm = nullptr;
    MessageRow *m_result = nullptr;
    QScrollArea *m_scroll = nullptr;
    QPushButton *m_remove = nullptr;
};

} // namespace tw

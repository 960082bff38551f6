#pragma once

#include "controllers/ArchiveNode.h"
#include "projects/ProjectFolder.h"

#include <QLocale>
#include <QPointer>
#include <QSet>
#include <QTimeZone>
#include <QWidget>
#include <qcoro/qcorotask.h>

class QAbstractButton;
class QTreeView;

namespace tw {

class AppEnvironment;
class PanelPages;
class ArchiveRowDelegate;
class ArchiveTreeModel;

// The archive browser of one folder: the copies of deleted and overwritten
// files the engine keeps for it on this Mac, as a tree of folders, files and
// copies; restores one copy, a file's newest copy or everything under a
// folder, and empties the whole archive. It reads the engine folder ID of
// the folder it was made with; without one the archive shows empty.
class ArchivePanel : public QWidget
{
    Q_OBJECT

public:
    // Takes the sync's ID as every folder panel does; the archive is the
    // engine folder's alone.
    ArchivePanel(AppEnvironment &env, const QString &projectID, const ProjectFolder &folder,
                 QWidget *parent = nullptr);
    ~ArchivePanel() override;

    // Lists the archive again; the tree is built off the main thread. A
    // later load replaces one still running.
    QCoro::Task<void> load();
    // Starts restoring the node in a task of its own: the whole folder, the
    // file's newest copy or this copy.
    void restore(ArchiveNodePtr node);
    // Asks before restoring everything beneath a folder node.
    void confirmRestoreFolder(ArchiveNodePtr node);
    // Asks before emptying the archive.
    void confirmEmpty();

    bool isLoading() const { return m_loading; }
    const QSet<QString> &restoring() const { return m_restoring; }
    const QList<ArchiveNodePtr> &roots() const;
    QTreeView &tree() const { return *m_tree; }
    ArchiveRowDelegate &rowDelegate() const { return *m_delegate; }
    ArchiveTreeModel &model() const { return *m_model; }

    // An engine version time as the user reads it: an internet date-time
    // ("2024-05-01T10:20:30Z", optionally with a fraction of a second or
    // an offset "+02:00") in the zone, as the locale's medium date and short
    // time; any other text unchanged.
    static QString displayTime(const QString &text, const QLocale &locale = QLocale::system(),
                               const QTimeZone &zone = QTimeZone::systemTimeZone());
    static QString subtitle(const ArchiveNode &node, const QLocale &locale = QLocale::system(),
                            const QTimeZone &zone = QTimeZone::systemTimeZone());
    // "1 file", "2 files": the count and the noun, as the folder texts use it.
    static QString filesText(qint64 count);
    static QString restoreFolderTitle(const ArchiveNode &node);
    static QString restoreFolderMessage(const ArchiveNode &node);
    static QString restoreFolderAction(const ArchiveNode &node);

signals:
    // The page's folder panels share one shape; the archive browser has no
    // end of its own and never emits it.
    void finished();

protected:
    void showEvent(QShowEvent *event) override;

private:
    static QCoro::Task<void> loadTree(QPointer<ArchivePanel> self, QPointer<AppEnvironment> env, QString folderID,
                                      quint64 generation);
    static QCoro::Task<void> restoreNode(QPointer<ArchivePanel> self, QPointer<AppEnvironment> env,
                                         QString folderID, ArchiveNodePtr node);
    static QCoro::Task<void> emptyArchive(QPointer<ArchivePanel> self, QPointer<AppEnvironment> env,
                                          QString folderID);
    void rowButtonClicked(const QModelIndex &index);
    void setLoading(bool loading);
    void setRestoring(const QString &id, bool on);
    void showContent();

    AppEnvironment &m_env;
    const QString m_folderID;
    bool m_loading = true;
    quint64 m_loadGeneration = 0;
    QSet<QString> m_restoring;
    QAbstractButton *m_emptyButton = nullptr;
    PanelPages *m_content = nullptr;
    QTreeView *m_tree = nullptr;
    ArchiveTreeModel *m_model = nullptr;
    ArchiveRowDelegate *m_delegate = nullptr;
};

} // namespace tw

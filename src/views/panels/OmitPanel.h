#pragma once

#include "engine/model/BrowseEntry.h"
#include "projects/ProjectFolder.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <qcoro/qcorotask.h>

class QHBoxLayout;
class QListView;

namespace tw {

class AppEnvironment;
class MessageRow;
class PanelPages;
class OmitLevelModel;
class OmitRowDelegate;

// The exclusion browser of one folder: its contents as the engine indexed
// them, one level at a time, each file and subfolder with a switch that keeps
// it off this Mac (the other Macs keep syncing it). A switch is one ignore
// line of the engine folder, anchored at its root. Needs the folder's engine
// folder ID; without one it lists nothing and writes nothing. A switch whose
// line could not be written says why at the panel's foot.
class OmitPanel : public QWidget
{
    Q_OBJECT

public:
    // Takes the sync's ID as every folder panel does; the lines are the
    // engine folder's alone.
    OmitPanel(AppEnvironment &env, const QString &projectID, const ProjectFolder &folder, QWidget *parent = nullptr);
    ~OmitPanel() override;

    // Reads the folder's ignore lines and the level of pathStack(); a later
    // load replaces one still running.
    QCoro::Task<void> load();
    // Adds (on) or removes the entry's exclusion line as one edit of the
    // folder's lines, then reads them again. Writes nothing while a removal
    // from the other Macs runs in this folder, or when the lines can't be
    // read: the switch keeps its state.
    QCoro::Task<void> toggle(BrowseEntry entry, bool on);
    // The entry's path within the folder, at the level shown.
    QString relPath(const BrowseEntry &entry) const;

    // Opens a directory of the level shown; goes back to the root, or to the
    // opened folder at `depth` (0 the first) of the path bar.
    void open(const QString &name);
    void goToRoot();
    void goToCrumb(int depth);

    bool isLoading() const { return m_loading; }
    const QStringList &pathStack() const { return m_pathStack; }
    const QStringList &ignores() const { return m_ignores; }
    const QList<BrowseEntry> &entries() const;
    OmitLevelModel &model() const { return *m_model; }
    QListView &list() const { return *m_list; }
    OmitRowDelegate &rowDelegate() const { return *m_delegate; }

    // The lines with the line present once at their end (on) or gone
    // wherever it stood (off); the others keep their order.
    static QStringList withLine(QStringList lines, const QString &line, bool on);

signals:
    // The page's folder panels share one shape; the exclusion browser has no
    // end of its own and never emits it.
    void finished();

protected:
    void showEvent(QShowEvent *event) override;

private:
    static QCoro::Task<void> loadLevel(QPointer<OmitPanel> self, QPointer<AppEnvironment> env, QString folderID,
                                       QStringList stack, quint64 generation);
    static QCoro::Task<void> writeSwitch(QPointer<OmitPanel> self, QPointer<AppEnvironment> env, QString folderID,
                                         QString line, bool on);
    void showIgnores(QStringList lines);
    void setPathStack(QStringList stack);
    void rebuildPathBar();
    void showContent();

    AppEnvironment &m_env;
    const QString m_folderID;
    QStringList m_pathStack;
    QStringList m_ignores;
    bool m_loading = true;
    quint64 m_loadGeneration = 0;
    QHBoxLayout *m_pathBar = nullptr;
    PanelPages *m_content = nullptr;
    QListView *m_list = nullptr;
    OmitLevelModel *m_model = nullptr;
    OmitRowDelegate *m_delegate = nullptr;
    MessageRow *m_failure = nullptr;
};

} // namespace tw

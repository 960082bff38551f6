#pragma once

#include "views/kit/KeyedList.h"
#include "views/kit/RefreshingView.h"
#include "views/overview/NewProjectSheet.h"

#include <QMessageBox>
#include <QPointer>

class QAction;
class QLabel;
class QMessageBox;
class QPushButton;

namespace tw {

class AdaptiveGrid;
class AppEnvironment;
class NavigationPath;
class ProjectCard;

// The root page: every sync as a card, in the stored order, and the ways in
// and out of a sync: a card's click opens it, the tile and "New Sync" create
// one, the card's menu removes one after a confirmation, and the toolbar
// leads to the incoming requests and back to ignored invitations.
class ProjectOverviewView : public RefreshingView
{
    Q_OBJECT

public:
    static const QString titleText;
    static const QString emptyTitle;
    static const QString emptyText;
    static const QString tileText;
    static const QString newSyncText;
    static const QString incomingText;  // %1: the count
    static const QString showIgnoredText;  // %1: the count
    static const QString showIgnoredTip;
    static const QString removeTitle;  // %1: the sync's name
    static const QString removeMessage;
    static const QString removeAction;
    static constexpr int maximumWidth = 1100;

    ProjectOverviewView(AppEnvironment &env, NavigationPath &path, QWidget *parent = nullptr);

    const KeyedList<ProjectCard> &cards() const { return *m_cards; }
    AdaptiveGrid *grid() const { return m_grid; }
    QWidget *gridHost() const { return m_gridHost; }
    QWidget *emptyState() const { return m_empty; }
    QPushButton *newSyncTile() const { return m_tile; }
    QAction *incomingAction() const { return m_incoming; }
    QAction *ignoredAction() const { return m_ignored; }
    QAction *newSyncAction() const { return m_newSync; }
    NewProjectSheet *openSheet() const { return m_sheet; }
    QMessageBox *removalBox() const { return m_removal; }

    // The card's menu item: asks before removing the sync.
    void confirmRemoval(const QString &projectID);

protected:
    void refreshContents() override;

private:
    void openNewProject();
    void removeConfirmed(const QString &projectID);
    ProjectCard *makeCard(const QString &projectID);

    AppEnvironment &m_env;
    NavigationPath &m_path;
    QWidget *m_empty;
    QWidget *m_gridHost;
    AdaptiveGrid *m_grid;
    KeyedList<ProjectCard> *m_cards;
    QPushButton *m_tile;
    QAction *m_incoming;
    QAction *m_ignored;
    QAction *m_newSync;
    QPointer<NewProjectSheet> m_sheet;
    QPointer<QMessageBox> m_removal;
};

} // namespace tw

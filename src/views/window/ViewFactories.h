#pragma once

#include "cluster/Invite.h"
#include "cluster/NodeSetupPayload.h"

#include <QString>
#include <functional>

class QDialog;
class QWidget;

namespace tw {

class AppEnvironment;
class NavigationPath;

// How the main window makes the pages and sheets it shows, one factory per
// view, each taking what its view is created with. The window owns what a
// factory returns: a page is put into the window's stack, a sheet is opened
// window-modal over `parent` with open() and deleted when it closes. A page's
// QWidget::actions() become the window's toolbar while it is on top.
//
// standard() gives the application's own views; tests give their own
// factories to see what the window asks for and when.
struct ViewFactories
{
    using OnCreated = std::function<void(QString projectID)>;

    // The root page: ProjectOverviewView(path:).
    std::function<QWidget *(AppEnvironment &, NavigationPath &path)> projectOverview;
    // A sync's page: ProjectView(path:projectID:).
    std::function<QWidget *(AppEnvironment &, NavigationPath &path, QString projectID)> projectView;
    // The page of the route "__incoming__": IncomingView().
    std::function<QWidget *(AppEnvironment &)> incomingView;

    // Sheets; a factory may answer nullptr, which counts as a sheet closed
    // at once.
    // NewProjectSheet(onCreate:): calls back with the new sync's ID.
    std::function<QDialog *(AppEnvironment &, QWidget *parent, OnCreated onCreate)> newProjectSheet;
    // WelcomeSheet(onCreate:): calls back when the user chooses to create a
    // first sync.
    std::function<QDialog *(AppEnvironment &, QWidget *parent, std::function<void()> onCreate)> welcomeSheet;
    // JoinSheet(invite:onJoined:): calls back with the joined sync's ID.
    std::function<QDialog *(AppEnvironment &, QWidget *parent, Invite invite, OnCreated onJoined)> joinSheet;
    // NodeSetupConfirmSheet(payload:).
    std::function<QDialog *(AppEnvironment &, QWidget *parent, NodeSetupPayload payload)> nodeSetupConfirmSheet;
    // FeedbackSheet().
    std::function<QDialog *(AppEnvironment &, QWidget *parent)> feedbackSheet;

    static ViewFactories standard();
};

} // namespace tw

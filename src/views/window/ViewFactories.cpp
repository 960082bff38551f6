#include "views/window/ViewFactories.h"

#include "views/feedback/FeedbackSheet.h"
#include "views/joining/IncomingView.h"
#include "views/joining/JoinSheet.h"
#include "views/joining/NodeSetupConfirmSheet.h"
#include "views/joining/WelcomeSheet.h"
#include "views/overview/NewProjectSheet.h"
#include "views/overview/ProjectOverviewView.h"
#include "views/syncpage/ProjectView.h"

#include <QWidget>

namespace tw {

ViewFactories ViewFactories::standard()
{
    ViewFactories factories;
    factories.projectOverview = [](AppEnvironment &env, NavigationPath &path) -> QWidget * {
        return new ProjectOverviewView(env, path);
    };
    factories.projectView = [](AppEnvironment &env, NavigationPath &path, QString projectID) -> QWidget * {
        return new ProjectView(env, path, std::move(projectID), ProjectPageFactories::standard());
    };
    factories.incomingView = [](AppEnvironment &env) -> QWidget * { return new IncomingView(env); };
    factories.newProjectSheet = [](AppEnvironment &env, QWidget *parent, OnCreated onCreate) -> QDialog * {
        return new NewProjectSheet(env, std::move(onCreate), parent);
    };
    factories.welcomeSheet = [](AppEnvironment &env, QWidget *parent, std::function<void()> onCreate) -> QDialog * {
        return new WelcomeSheet(env, std::move(onCreate), parent);
    };
    factories.joinSheet = [](AppEnvironment &env, QWidget *parent, Invite invite, OnCreated onJoined) -> QDialog * {
        return new JoinSheet(env, std::move(invite), std::move(onJoined), parent);
    };
    factories.nodeSetupConfirmSheet = [](AppEnvironment &env, QWidget *parent, NodeSetupPayload payload) -> QDialog * {
        return new NodeSetupConfirmSheet(env, std::move(payload), parent);
    };
    // The picture is of the window the sheet opens over.
    factories.feedbackSheet = [](AppEnvironment &env, QWidget *parent) -> QDialog * {
        return new FeedbackSheet(env, FeedbackSheet::kOrigin, parent ? parent->window() : nullptr, parent);
    };
    return factories;
}

} // namespace tw

#include "views/ViewFactories.h"

#include "views/FeedbackSheet.h"
#include "views/IncomingView.h"
#include "views/JoinSheet.h"
#include "views/NewProjectSheet.h"
#include "views/NodeSetupConfirmSheet.h"
#include "views/ProjectOverviewView.h"
#include "views/ProjectView.h"
#include "views/WelcomeSheet.h"

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

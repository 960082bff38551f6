#include "views/ViewFactories.h"

#include "views/IncomingView.h"
#include "views/JoinSheet.h"
#include "views/WelcomeSheet.h"
#include "views/NodeSetupConfirmSheet.h"

#include <QWidget>

namespace tw {

namespace {

// Stands in for a page whose view is not there yet.
QWidget *blankPage(const char *name)
{
    auto *page = new QWidget;
    page->setObjectName(QString::fromLatin1(name));
    return page;
}

} // namespace

ViewFactories ViewFactories::standard()
{
    ViewFactories factories;
    factories.projectOverview = [](AppEnvironment &, NavigationPath &) { return blankPage("projectOverview"); };
    factories.projectView = [](AppEnvironment &, NavigationPath &, QString) { return blankPage("projectView"); };
    factories.incomingView = [](AppEnvironment &env) -> QWidget * { return new IncomingView(env); };
    factories.newProjectSheet = [](AppEnvironment &, QWidget *, OnCreated) -> QDialog * { return nullptr; };
    factories.welcomeSheet = [](AppEnvironment &env, QWidget *parent, std::function<void()> onCreate) -> QDialog * {
        return new WelcomeSheet(env, std::move(onCreate), parent);
    };
    factories.joinSheet = [](AppEnvironment &env, QWidget *parent, Invite invite, OnCreated onJoined) -> QDialog * {
        return new JoinSheet(env, std::move(invite), std::move(onJoined), parent);
    };
    factories.nodeSetupConfirmSheet = [](AppEnvironment &env, QWidget *parent, NodeSetupPayload payload) -> QDialog * {
        return new NodeSetupConfirmSheet(env, std::move(payload), parent);
    };
    factories.feedbackSheet = [](AppEnvironment &, QWidget *) -> QDialog * { return nullptr; };
    return factories;
}

} // namespace tw

#include "views/ViewFactories.h"

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
    factories.incomingView = [](AppEnvironment &) { return blankPage("incomingView"); };
    factories.newProjectSheet = [](AppEnvironment &, QWidget *, OnCreated) -> QDialog * { return nullptr; };
    factories.welcomeSheet = [](AppEnvironment &, QWidget *, std::function<void()>) -> QDialog * { return nullptr; };
    factories.joinSheet = [](AppEnvironment &, QWidget *, Invite, OnCreated) -> QDialog * { return nullptr; };
    factories.nodeSetupConfirmSheet = [](AppEnvironment &env, QWidget *parent, NodeSetupPayload payload) -> QDialog * {
        return new NodeSetupConfirmSheet(env, std::move(payload), parent);
    };
    factories.feedbackSheet = [](AppEnvironment &, QWidget *) -> QDialog * { return nullptr; };
    return factories;
}

} // namespace tw

#include "views/ViewFactories.h"

#include "views/NewProjectSheet.h"
#include "views/ProjectOverviewView.h"
#include "views/ProjectView.h"

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
    factories.projectOverview = [](AppEnvironment &env, NavigationPath &path) -> QWidget * {
        return new ProjectOverviewView(env, path);
    };
    factories.projectView = [](AppEnvironment &env, NavigationPath &path, QString projectID) -> QWidget * {
        return new ProjectView(env, path, std::move(projectID));
    };
    factories.incomingView = [](AppEnvironment &) { return blankPage("incomingView"); };
    factories.newProjectSheet = [](AppEnvironment &env, QWidget *parent, OnCreated onCreate) -> QDialog * {
        return new NewProjectSheet(env, std::move(onCreate), parent);
    };
    factories.welcomeSheet = [](AppEnvironment &, QWidget *, std::function<void()>) -> QDialog * { return nullptr; };
    factories.joinSheet = [](AppEnvironment &, QWidget *, Invite, OnCreated) -> QDialog * { return nullptr; };
    factories.nodeSetupConfirmSheet = [](AppEnvironment &, QWidget *, NodeSetupPayload) -> QDialog * {
        return nullptr;
    };
    factories.feedbackSheet = [](AppEnvironment &, QWidget *) -> QDialog * { return nullptr; };
    return factories;
}

} // namespace tw

#include "views/ViewFactories.h"

#include "views/FeedbackSheet.h"

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
    factories.nodeSetupConfirmSheet = [](AppEnvironment &, QWidget *, NodeSetupPayload) -> QDialog * {
        return nullptr;
    };
    // The picture is of the window the sheet opens over.
    factories.feedbackSheet = [](AppEnvironment &env, QWidget *parent) -> QDialog * {
        return new FeedbackSheet(env, FeedbackSheet::kOrigin, parent ? parent->window() : nullptr, parent);
    };
    return factories;
}

} // namespace tw

#include "views/settings/SettingsView.h"

#include "design/Symbol.h"
#include "views/feedback/FeedbackSheet.h"
#include "views/kit/PanelTexts.h"
#include "views/settings/DiagnosticsTab.h"
#include "views/settings/GeneralTab.h"
#include "views/settings/IdentityTab.h"
#include "views/settings/IgnoresTab.h"
#include "views/settings/NetworkTab.h"
#include "views/settings/SettingsForm.h"
#include "views/settings/SettingsState.h"
#include "views/settings/TeamSettingsView.h"

#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>

namespace tw {

SettingsView::SettingsView(AppEnvironment &env, QWidget *parent)
    : QWidget(parent), m_state(new SettingsState(env, this)), m_tabs(new QTabWidget)
{
    auto *general = new GeneralTab(*m_state);
    general->setObjectName(QStringLiteral("generalTab"));
    auto *team = new TeamSettingsView(env);
    team->setObjectName(QStringLiteral("teamTab"));
    auto *identity = new IdentityTab(*m_state);
    identity->setObjectName(QStringLiteral("identityTab"));
    m_network = new NetworkTab(*m_state);
    m_network->setObjectName(QStringLiteral("networkTab"));
    m_ignores = new IgnoresTab(*m_state);
    m_ignores->setObjectName(QStringLiteral("ignoresTab"));
    m_diagnostics = new DiagnosticsTab(*m_state);
    m_diagnostics->setObjectName(QStringLiteral("diagnosticsTab"));
    // The picture sent along is of the settings window the sheet opens over.
    m_diagnostics->setFeedbackSheetFactory([&env](QWidget *window, const QString &origin) -> QWidget * {
        return new FeedbackSheet(env, origin, window, window);
    });

    m_tabs->addTab(general, symbolIcon(Symbol::Gearshape), texts::tabGeneral);
    m_tabs->addTab(m_network, symbolIcon(Symbol::Network), texts::tabNetwork);
    m_tabs->addTab(m_ignores, symbolIcon(Symbol::EyeSlash), texts::tabIgnores);
    m_tabs->addTab(team, symbolIcon(Symbol::Person3), texts::tabTeam);
    m_tabs->addTab(identity, symbolIcon(Symbol::PersonCropCircle), texts::tabIdentity);
    m_tabs->addTab(m_diagnostics, symbolIcon(Symbol::Stethoscope), texts::tabDiagnostics);
    m_tabs->setDocumentMode(true);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_tabs);
}

void SettingsView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // A window coming back from being minimised is shown spontaneously: that
    // is no new opening, and must not wipe what is being edited. The first
    // showing loads whatever kind it is.
    if (!event->spontaneous() || !m_state->loaded())
        m_state->shown();
}

} // namespace tw

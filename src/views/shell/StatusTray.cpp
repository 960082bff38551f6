#include "views/shell/StatusTray.h"

#include "app/AppEnvironment.h"
#include "app/HealthRules.h"
#include "cluster/NasNodeController.h"
#include "controllers/DeviceController.h"
#include "controllers/EngineController.h"
#include "controllers/EventController.h"
#include "controllers/FolderController.h"
#include "controllers/PeerDiagController.h"
#include "design/Theme.h"
#include "projects/ProjectController.h"

#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

namespace tw {

StatusTray::StatusTray(AppEnvironment &env, QMenu *menu, QObject *parent) : QObject(parent), m_env(env), m_menu(menu)
{
}

StatusTray::~StatusTray() = default;

void StatusTray::show()
{
    if (m_icon)
        return;
    m_icon = new QSystemTrayIcon(this);
    m_icon->setToolTip(QStringLiteral("TidewellMesh"));
    m_icon->setContextMenu(m_menu);
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            emit activated();
    });
    // Everything the health rules read; a burst of changes costs one check.
    const auto watch = [this](auto *sender, auto... changed) {
        (connect(sender, changed, this, &StatusTray::scheduleHealthCheck), ...);
    };
    watch(&m_env.engineState(), &EngineController::statusChanged, &EngineController::isAllPausedChanged,
          &EngineController::deviceNameChanged);
    watch(&m_env.folders(), &FolderController::foldersChanged, &FolderController::statusesChanged);
    watch(&m_env.devices(), &DeviceController::devicesChanged, &DeviceController::connectionsChanged,
          &DeviceController::localDeviceIDChanged);
    watch(&m_env.events(), &EventController::completionChanged);
    watch(&m_env.peerDiag(), &PeerDiagController::peerStatusChanged);
    watch(&m_env.projects(), &ProjectController::projectsChanged);
    watch(&m_env.nasNode(), &NasNodeController::nodesChanged);
    watch(&m_env, &AppEnvironment::volumeOnlineChanged);
    checkHealth();
    m_icon->show();
}

void StatusTray::scheduleHealthCheck()
{
    if (m_checkScheduled)
        return;
    m_checkScheduled = true;
    QTimer::singleShot(0, this, &StatusTray::checkHealth);
}

void StatusTray::checkHealth()
{
    m_checkScheduled = false;
    const Symbol symbol = Theme::traySymbol(globalSyncHealth(m_env.healthInputs()));
    if (m_symbol == symbol)
        return;
    m_symbol = symbol;
    // The panel's colours are the desktop's, not the window's: a grey that
    // reads on either.
    m_icon->setIcon(symbolIcon(symbol, Theme::neutral()));
    ++m_iconSets;
}

} // namespace tw

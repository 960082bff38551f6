#include "views/settings/SettingsState.h"

#include "app/AppEnvironment.h"
#include "app/AppPreferences.h"
#include "controllers/EngineController.h"
#include "engine/SyncEngine.h"
#include "utilities/AssignIfChanged.h"

namespace tw {

SettingsState::SettingsState(AppEnvironment &env, QObject *parent)
    : QObject(parent), m_env(env), m_net(NetworkSettings::initial()),
      // Not the engine's: shown as stored even while the engine does not answer.
      m_ignoreText(env.preferences().defaultIgnores())
{
}

void SettingsState::setNet(NetworkSettings net)
{
    assignIfChanged(m_net, std::move(net), this, &SettingsState::netChanged);
}

void SettingsState::setDeviceName(QString name)
{
    assignIfChanged(m_deviceName, std::move(name), this, &SettingsState::deviceNameChanged);
}

void SettingsState::setIgnoreText(QString text)
{
    assignIfChanged(m_ignoreText, std::move(text), this, &SettingsState::ignoreTextChanged);
}

void SettingsState::shown()
{
    if (m_loaded) {
        copyFromControllers();
        return;
    }
    // Shown again before the engine answered: the running load copies once
    // it has.
    if (m_loading)
        return;
    m_loading = true;
    load(QPointer(this), QPointer(&m_env));
}

QCoro::Task<void> SettingsState::load(QPointer<SettingsState> self, QPointer<AppEnvironment> env)
{
    try {
        co_await env->engineState().loadNetwork();
        if (!env)
            co_return;
        QString name;
        try {
            name = co_await env->engine().localDeviceName();
        } catch (...) {
            // Not running, or this device not listed: the field starts empty.
            name.clear();
        }
        if (!env)
            co_return;
        env->engineState().storeDeviceName(name);
    } catch (...) {
        // The controllers absorb their failures; should one throw, the
        // window keeps what it shows and may load again.
        if (self)
            self->m_loading = false;
        co_return;
    }
    if (!self || !env)
        co_return;
    self->copyFromControllers();
    self->m_loading = false;
    if (!env->engineState().networkLoaded())
        co_return;
    self->m_loaded = true;
    emit self->loadedChanged();
}

void SettingsState::copyFromControllers()
{
    setNet(m_env.engineState().network());
    setDeviceName(m_env.engineState().deviceName());
    setIgnoreText(m_env.preferences().defaultIgnores());
}

} // namespace tw

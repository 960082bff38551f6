#include "views/shell/MenuBarContent.h"

#include "app/AppEnvironment.h"
#include "controllers/EngineController.h"
#include "controllers/FolderController.h"
#include "controllers/RateText.h"
#include "views/kit/InformationRow.h"

#include <QFontDatabase>
#include <QPointer>

namespace tw {

namespace {

// The status bar's pause button does the same.
QCoro::Task<void> togglePause(QPointer<AppEnvironment> env)
{
    try {
        co_await env->engineState().toggleAllPaused();
        if (!env)
            co_return;
        co_await env->folders().refresh();
    } catch (...) {
        // The controllers keep their own errors.
    }
}

} // namespace

MenuBarContent::MenuBarContent(AppEnvironment &env, std::function<void()> openWindow, std::function<void()> quit,
                               QWidget *parent)
    : QMenu(parent), m_env(env)
{
    m_state = addInformationRow(*this);
    m_rates = addInformationRow(*this);
    // Digits of one width, so the rates do not jitter while they change.
    m_rates->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    addSeparator();
    m_pause = addAction(QString());
    m_open = addAction(QStringLiteral("Open TidewellMesh"));
    addSeparator();
    m_quit = addAction(QStringLiteral("Quit TidewellMesh"));

    const QPointer<AppEnvironment> environment(&env);
    connect(m_pause, &QAction::triggered, this, [environment] { togglePause(environment); });
    connect(m_open, &QAction::triggered, this, std::move(openWindow));
    connect(m_quit, &QAction::triggered, this, std::move(quit));

    EngineController *engine = &env.engineState();
    for (auto changed : {&EngineController::statusChanged, &EngineController::isAllPausedChanged,
                         &EngineController::upRateChanged, &EngineController::downRateChanged})
        connect(engine, changed, this, &MenuBarContent::update);
    update();
}

void MenuBarContent::update()
{
    const EngineController &engine = m_env.engineState();
    const bool paused = engine.isAllPaused();
    if (!engine.status().isRunning)
        m_state->setText(QStringLiteral("Stopped"));
    else
        m_state->setText(paused ? QStringLiteral("Paused") : QStringLiteral("Connected"));
    m_rates->setText(rateText(engine.upRate()) + QStringLiteral(" up \u00B7 ") + rateText(engine.downRate())
                     + QStringLiteral(" down"));
    m_pause->setText(paused ? QStringLiteral("Resume Syncing") : QStringLiteral("Pause Syncing"));
}

} // namespace tw

#include "views/window/EngineStatusBar.h"

#include "app/AppEnvironment.h"
#include "app/HealthRules.h"
#include "app/texts/StatusDetailText.h"
#include "controllers/EngineController.h"
#include "controllers/FolderController.h"
#include "design/DerivedForeground.h"
#include "design/DestructiveItem.h"
#include "design/StatusDot.h"
#include "design/Symbol.h"
#include "design/TextStyle.h"
#include "design/Theme.h"
#include "utilities/Detach.h"
#include "views/kit/PlainLabel.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

namespace tw {

const QString EngineStatusBar::stoppedText = QStringLiteral("Stopped");
const QString EngineStatusBar::pausedText = QStringLiteral("Paused");
const QString EngineStatusBar::upToDateText = QStringLiteral("Up to date");
const QString EngineStatusBar::syncingText = QStringLiteral("Syncing");
const QString EngineStatusBar::resumeHelp = QStringLiteral("Resume all syncing");
const QString EngineStatusBar::pauseHelp = QStringLiteral("Pause all syncing");

namespace {

// While the engine is stopped the second line keeps its place, blank and
// invisible, so the bar does not change height.
const QString kBlankLine = QStringLiteral(" ");
constexpr int kDotDiameter = 9;

QFrame *divider()
{
    auto *line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setObjectName(QStringLiteral("statusDivider"));
    // A separator's faint grey rather than the full text colour.
    DerivedForeground::apply(*line, windowTextAt(0.15, 0));
    return line;
}

} // namespace

EngineStatusBar::EngineStatusBar(AppEnvironment &environment, QWidget *parent)
    : RefreshingView(parent)
    , m_environment(environment)
    , m_dot(new StatusDot(Theme::danger(), kDotDiameter))
    , m_title(plainLabel())
    , m_detail(plainLabel(kBlankLine))
    , m_pauseButton(new QToolButton)
{
    setObjectName(QStringLiteral("engineStatusBar"));
    m_dot->setObjectName(QStringLiteral("statusDot"));
    m_title->setObjectName(QStringLiteral("statusTitle"));
    m_title->setFont(styledFont(TextStyle::Caption, QFont::Bold));
    m_detail->setObjectName(QStringLiteral("statusDetail"));
    m_detail->setFont(styledFont(TextStyle::Caption2));
    m_pauseButton->setObjectName(QStringLiteral("pauseButton"));
    m_pauseButton->setAutoRaise(true);
    markWideEffect(*m_pauseButton);

    auto *texts = new QVBoxLayout;
    texts->setSpacing(1);
    texts->addWidget(m_title);
    texts->addWidget(m_detail);
    auto *row = new QHBoxLayout;
    row->setContentsMargins(12, 8, 12, 8);
    row->setSpacing(8);
    row->addWidget(m_dot, 0, Qt::AlignVCenter);
    row->addLayout(texts);
    row->addStretch();
    row->addWidget(m_pauseButton, 0, Qt::AlignVCenter);
    auto *bar = new QVBoxLayout(this);
    bar->setContentsMargins(0, 0, 0, 0);
    bar->setSpacing(0);
    bar->addWidget(divider());
    bar->addLayout(row);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);

    connect(m_pauseButton, &QToolButton::clicked, this,
            [this] { detach(togglePause(&m_environment.engineState(), &m_environment.folders())); });
    followState(environment);
}

void EngineStatusBar::setProjectID(std::optional<QString> projectID)
{
    if (projectID == m_projectID)
        return;
    m_projectID = std::move(projectID);
    refresh();
}

void EngineStatusBar::refreshContents()
{
    const EngineController &engine = m_environment.engineState();
    const bool running = engine.status().isRunning;
    const bool paused = engine.isAllPaused();
    std::optional<TransferSummary> summary;
    bool failing = false;
    if (running && !paused) {
        const HealthInputs inputs = m_environment.healthInputs();
        summary = m_environment.transferSummary(inputs, m_projectID);
        failing = !summary && failingInScope(inputs, m_projectID);
    }

    if (!running || failing)
        m_dot->setColor(Theme::danger());
    else if (paused || summary)
        m_dot->setColor(Theme::syncing());
    else
        m_dot->setColor(Theme::synced());
    m_title->setText(!running ? stoppedText
                     : paused ? pausedText
                     : summary ? syncingText
                     : failing ? SyncHealth::error().label()
                               : upToDateText);

    if (m_detailVisible != running) {
        m_detailVisible = running;
        // Hidden by a clear colour, so the bar keeps its height.
        DerivedForeground::apply(*m_detail, windowTextAt(running ? secondaryStrength : 0));
    }
    m_detail->setText(running ? statusDetailText(summary, engine.upRate(), engine.downRate()) : kBlankLine);
    showPaused(paused);
}

void EngineStatusBar::showPaused(bool paused)
{
    if (m_shownPaused == paused)
        return;
    m_shownPaused = paused;
    m_pauseButton->setIcon(symbolIcon(paused ? Symbol::PlayFill : Symbol::PauseFill));
    m_pauseButton->setToolTip(paused ? resumeHelp : pauseHelp);
}

QCoro::Task<void> EngineStatusBar::togglePause(QPointer<EngineController> engine, QPointer<FolderController> folders)
{
    if (!engine)
        co_return;
    co_await engine->toggleAllPaused();
    if (folders)
        co_await folders->refresh();
}

} // namespace tw

#include "views/settings/GeneralTab.h"

#include "app/AppEnvironment.h"
#include "app/AppPreferences.h"
#include "controllers/EngineController.h"
#include "design/DerivedForeground.h"
#include "engine/SyncEngine.h"
#include "views/kit/RingedCheckBox.h"
#include "views/kit/FormSection.h"
#include "views/kit/LiteralAmpersands.h"
#include "views/kit/OpenExternal.h"
#include "views/kit/PanelTexts.h"
#include "views/kit/PlainLabel.h"
#include "views/kit/StyledLabel.h"
#include "views/settings/DeviceNameRow.h"
#include "views/settings/SettingsState.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace tw {
namespace {

using Appearance = AppPreferences::Appearance;

QCoro::Task<void> askNotificationPermission(QPointer<AppEnvironment> env)
{
    try {
        co_await env->requestNotificationPermission();
    } catch (...) {
        // The notifier remembers a failed request as a refusal.
    }
}

QLabel *valueLabel(const QString &text, const char *name)
{
    auto *label = plainLabel(text);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

} // namespace

GeneralTab::GeneralTab(SettingsState &state, QWidget *parent) : SettingsForm(parent), m_env(state.env())
{
    addSection(texts::sectionThisMac)->rows()->addWidget(new DeviceNameRow(state));
    addStartup();
    addAppearance();
    addEngine();
    finish();
    AppPreferences &preferences = m_env.preferences();
    connect(&preferences, &AppPreferences::startAtLoginChanged, this, &GeneralTab::showPreferences);
    connect(&preferences, &AppPreferences::showNotificationsChanged, this, &GeneralTab::showPreferences);
    connect(&preferences, &AppPreferences::appearanceChanged, this, &GeneralTab::showPreferences);
    connect(&m_env.engineState(), &EngineController::statusChanged, this, &GeneralTab::showStatus);
    showPreferences();
    showStatus();
}

void GeneralTab::addStartup()
{
    FormSection *section = addSection(texts::sectionStartup);
    m_startAtLogin = new RingedCheckBox(texts::startAtLogin);
    m_startAtLogin->setObjectName(QStringLiteral("startAtLogin"));
    section->rows()->addWidget(m_startAtLogin);
    m_notifications = new RingedCheckBox(texts::showNotifications);
    m_notifications->setObjectName(QStringLiteral("showNotifications"));
    section->rows()->addWidget(m_notifications);
    connect(m_startAtLogin, &QCheckBox::clicked, &m_env.preferences(), &AppPreferences::setStartAtLogin);
    connect(m_notifications, &QCheckBox::clicked, this, &GeneralTab::switchNotifications);
}

void GeneralTab::addAppearance()
{
    auto *choices = new QWidget;
    auto *row = new QHBoxLayout(choices);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    m_appearance = new QButtonGroup(this);
    const std::pair<Appearance, QString> options[] = {{Appearance::System, texts::appearanceSystem},
                                                      {Appearance::Light, texts::appearanceLight},
                                                      {Appearance::Dark, texts::appearanceDark}};
    for (const auto &[appearance, title] : options) {
        auto *button = new QPushButton(title);
        button->setObjectName(QStringLiteral("appearance") + title);
        button->setCheckable(true);
        m_appearance->addButton(button, int(appearance));
        row->addWidget(button);
    }
    addSection(texts::sectionAppearance)->addLabelledRow(texts::appearance, choices);
    connect(m_appearance, &QButtonGroup::idClicked, this,
            [this](int id) { m_env.preferences().setAppearance(Appearance(id)); });
}

void GeneralTab::addEngine()
{
    FormSection *section = addSection(texts::sectionEngine);
    section->addLabelledRow(texts::backend, valueLabel(m_env.engine().engineName(), "backend"));
    m_status = valueLabel({}, "engineStatus");
    section->addLabelledRow(texts::status, m_status);
    section->addLabelledRow(texts::license, valueLabel(texts::engineLicense, "license"));
    // "&" would mark a shortcut letter on a button.
    auto *source = new QPushButton(literalAmpersands(texts::viewSourceAndLicense));
    source->setObjectName(QStringLiteral("viewSource"));
    source->setFlat(true);
    source->setCursor(Qt::PointingHandCursor);
    DerivedForeground::apply(*source, linkText());
    section->rows()->addWidget(source, 0, Qt::AlignLeft);
    connect(source, &QPushButton::clicked, this, [] {
        const QUrl address(texts::engineSourceAddress, QUrl::StrictMode);
        if (address.isValid())
            openExternal(address);
    });
    section->addCaption(texts::engineNote);
}

void GeneralTab::showPreferences()
{
    const AppPreferences &preferences = m_env.preferences();
    m_startAtLogin->setChecked(preferences.startAtLogin());
    m_notifications->setChecked(preferences.showNotifications());
    m_appearance->button(int(preferences.appearance()))->setChecked(true);
}

void GeneralTab::showStatus()
{
    m_status->setText(m_env.engineState().status().isRunning ? texts::running : texts::stopped);
}

void GeneralTab::switchNotifications(bool on)
{
    m_env.preferences().setShowNotifications(on);
    // Turned off, the earlier answer stands; each switch-on asks anew.
    if (on)
        askNotificationPermission(QPointer(&m_env));
}

} // namespace tw

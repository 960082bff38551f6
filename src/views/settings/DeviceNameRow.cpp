#include "views/settings/DeviceNameRow.h"

#include "app/AppEnvironment.h"
#include "controllers/EngineController.h"
#include "views/kit/OneLineField.h"
#include "views/kit/PanelTexts.h"
#include "views/kit/PlainLabel.h"
#include "views/kit/ReturnShortcut.h"
#include "views/settings/SettingsState.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

namespace tw {
namespace {

// Failures end in the engine controller's last error.
QCoro::Task<void> rename(QPointer<AppEnvironment> env, QString name)
{
    try {
        co_await env->engineState().setDeviceName(name);
    } catch (...) {
    }
}

} // namespace

DeviceNameRow::DeviceNameRow(SettingsState &state, QWidget *parent)
    : QWidget(parent), m_state(state), m_field(new QLineEdit), m_save(new QPushButton(texts::save))
{
    m_field->setObjectName(QStringLiteral("deviceName"));
    keepOnOneLine(*m_field);
    m_field->setAccessibleName(texts::deviceNameLabel);
    m_save->setObjectName(QStringLiteral("saveDeviceName"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(plainLabel(texts::deviceNameLabel));
    layout->addWidget(m_field, 1);
    layout->addWidget(m_save);

    connect(m_field, &QLineEdit::textEdited, &m_state, &SettingsState::setDeviceName);
    connect(&m_state, &SettingsState::deviceNameChanged, this, &DeviceNameRow::showName);
    connect(m_save, &QPushButton::clicked, this, &DeviceNameRow::save);
    bindFieldsReturnKey(*this, *m_save);
    showName();
}

void DeviceNameRow::showName()
{
    // The row being typed in already shows it; setting it again would move
    // the cursor.
    if (m_field->text() != m_state.deviceName())
        m_field->setText(m_state.deviceName());
    m_save->setEnabled(!m_state.deviceName().isEmpty());
}

void DeviceNameRow::save()
{
    rename(QPointer(&m_state.env()), m_field->text());
}

} // namespace tw

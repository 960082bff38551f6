#include "views/settings/IdentityTab.h"

#include "app/AppEnvironment.h"
#include "controllers/DeviceController.h"
#include "design/ElidedLabel.h"
#include "design/ShownSymbol.h"
#include "design/TextStyle.h"
#include "views/kit/CopyPlainText.h"
#include "views/kit/FormSection.h"
#include "views/kit/PanelTexts.h"
#include "views/kit/StyledLabel.h"
#include "views/settings/DeviceNameRow.h"
#include "views/settings/SettingsState.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QToolButton>
#include <QVBoxLayout>

namespace tw {

IdentityTab::IdentityTab(SettingsState &state, QWidget *parent) : SettingsForm(parent), m_env(state.env())
{
    FormSection *device = addSection(texts::sectionThisDevice);
    device->rows()->addWidget(new DeviceNameRow(state));
    device->addLabelledRow(texts::deviceID, deviceIDRow());
    addSection(texts::sectionPairing)->addCaption(texts::pairingNote);
    finish();
    connect(&m_env.devices(), &DeviceController::localDeviceIDChanged, this, &IdentityTab::showDeviceID);
    showDeviceID();
}

QWidget *IdentityTab::deviceIDRow()
{
    auto *row = new QWidget;
    row->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    m_deviceID = new ElidedLabel;
    m_deviceID->setObjectName(QStringLiteral("deviceID"));
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSizeF(textStyleFont(TextStyle::Caption).pointSizeF());
    m_deviceID->setFont(mono);
    m_deviceID->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layout->addWidget(m_deviceID, 1);
    auto *copy = new QToolButton;
    copy->setObjectName(QStringLiteral("copyDeviceID"));
    copy->setAutoRaise(true);
    copy->setAccessibleName(texts::copyDeviceID);
    showSymbol(*copy, Symbol::DocOnDoc);
    layout->addWidget(copy);
    // The ID as it is now, also when it is still empty.
    connect(copy, &QToolButton::clicked, this, [this] { copyPlainText(m_env.devices().localDeviceID()); });
    return row;
}

void IdentityTab::showDeviceID()
{
    const QString &id = m_env.devices().localDeviceID();
    m_deviceID->setFullText(id.isEmpty() ? texts::noDeviceID : id);
}

} // namespace tw

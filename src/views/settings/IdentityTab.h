#pragma once

#include "views/settings/SettingsForm.h"

namespace tw {

class AppEnvironment;
class ElidedLabel;
class SettingsState;

// The settings window's Identity tab: this Mac's name and the device ID that
// teammates pair with, with a copy button.
class IdentityTab : public SettingsForm
{
    Q_OBJECT

public:
    explicit IdentityTab(SettingsState &state, QWidget *parent = nullptr);

private:
    QWidget *deviceIDRow();
    void showDeviceID();

    AppEnvironment &m_env;
    ElidedLabel *m_deviceID = nullptr;
};

} // namespace tw

#pragma once

#include "views/settings/SettingsForm.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QLabel;

namespace tw {

class AppEnvironment;
class SettingsState;

// The settings window's General tab: this Mac's name, start at login,
// notifications, the appearance, and which sync engine runs.
class GeneralTab : public SettingsForm
{
    Q_OBJECT

public:
    explicit GeneralTab(SettingsState &state, QWidget *parent = nullptr);

private:
    void addStartup();
    void addAppearance();
    void addEngine();
    void showPreferences();
    void showStatus();
    void switchNotifications(bool on);

    AppEnvironment &m_env;
    QCheckBox *m_startAtLogin = nullptr;
    QCheckBox *m_notifications = nullptr;
    QButtonGroup *m_appearance = nullptr;
    QLabel *m_status = nullptr;
};

} // namespace tw

#pragma once

#include "views/settings/SettingsForm.h"

#include <QList>
#include <QString>
#include <functional>

class QAbstractButton;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace tw {

class AppEnvironment;
class SettingsState;
struct NetworkSettings;

// The settings window's Network tab: how this Mac reaches other Macs, its
// speed limits and the schedule that slows syncing during working hours,
// a speed measurement that suggests an upload limit, and a custom relay,
// discovery server and local networks. The network settings are the
// window's copy and reach the engine on "Apply"; the schedule is stored at
// each edit.
class NetworkTab : public SettingsForm
{
    Q_OBJECT

public:
    explicit NetworkTab(SettingsState &state, QWidget *parent = nullptr);

    // The measuring tool (tests give a script).
    void setSpeedToolPath(QString path) { m_speedToolPath = std::move(path); }

private:
    void addConnection();
    void addLimits();
    void addSchedule();
    void addAutoTune();
    void addCustomWan();
    void addLocalNetworks();
    void addApplyRow();
    QCheckBox *netSwitch(const QString &title, const char *name, bool NetworkSettings::*field);
    QSpinBox *limitField(const char *name);
    void editNet(const std::function<void(NetworkSettings &)> &edit);
    void showNet();
    void showSchedule();
    void showActivity();
    static void showWeekday(QAbstractButton &day, bool chosen);
    void showLoaded();
    void applySuggestion();

    SettingsState &m_state;
    AppEnvironment &m_env;
    QString m_speedToolPath;
    QList<std::pair<QCheckBox *, bool NetworkSettings::*>> m_switches;
    QSpinBox *m_downLimit = nullptr;
    QSpinBox *m_upLimit = nullptr;
    QLineEdit *m_relay = nullptr;
    QLineEdit *m_discovery = nullptr;
    QPlainTextEdit *m_localNets = nullptr;
    QCheckBox *m_scheduleOn = nullptr;
    QWidget *m_scheduleRows = nullptr;
    QSpinBox *m_startHour = nullptr;
    QSpinBox *m_endHour = nullptr;
    QList<QAbstractButton *> m_weekdays;
    QSpinBox *m_throttledDown = nullptr;
    QSpinBox *m_throttledUp = nullptr;
    QWidget *m_warning = nullptr;
    QPushButton *m_test = nullptr;
    QWidget *m_testFailed = nullptr;
    QWidget *m_result = nullptr;
    QLabel *m_rates = nullptr;
    QLabel *m_suggestion = nullptr;
    QPushButton *m_applySuggestion = nullptr;
    QPushButton *m_apply = nullptr;
    QLabel *m_notRead = nullptr;
};

} // namespace tw

#pragma once

#include <QWidget>

class QTabWidget;

namespace tw {

class AppEnvironment;
class DiagnosticsTab;
class IgnoresTab;
class NetworkTab;
class SettingsState;

// The settings window's content: six tabs over one shared state (the
// editable copies of the network settings, the device name and the default
// ignore text). The window keeps one view across openings; showing it loads
// those copies from the engine the first time and copies them again from the
// controllers each later time.
class SettingsView : public QWidget
{
    Q_OBJECT

public:
    enum Tab { General, Network, Ignores, Team, Identity, Diagnostics };

    explicit SettingsView(AppEnvironment &env, QWidget *parent = nullptr);

    SettingsState &state() const { return *m_state; }
    QTabWidget *tabs() const { return m_tabs; }
    NetworkTab *networkTab() const { return m_network; }
    IgnoresTab *ignoresTab() const { return m_ignores; }
    DiagnosticsTab *diagnosticsTab() const { return m_diagnostics; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    SettingsState *m_state;
    QTabWidget *m_tabs;
    NetworkTab *m_network;
    IgnoresTab *m_ignores;
    DiagnosticsTab *m_diagnostics;
};

} // namespace tw

#pragma once

#include <QWidget>

class QLineEdit;
class QPushButton;

namespace tw {

class SettingsState;

// This Mac's name in the engine, edited in the settings window's shared
// copy (so every tab's row shows the same text) and renamed only by "Save",
// exactly as typed.
class DeviceNameRow : public QWidget
{
    Q_OBJECT

public:
    explicit DeviceNameRow(SettingsState &state, QWidget *parent = nullptr);

private:
    void showName();
    void save();

    SettingsState &m_state;
    QLineEdit *m_field;
    QPushButton *m_save;
};

} // namespace tw

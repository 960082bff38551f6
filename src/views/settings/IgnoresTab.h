#pragma once

#include "views/settings/SettingsForm.h"

#include <QList>
#include <QStringList>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace tw {

class AppEnvironment;
class DisclosureGroup;
class MessageRow;
class SettingsState;
template <typename Child>
class KeyedList;

// The settings window's Ignores tab: this Mac's default ignore list, edited
// by category, as custom patterns or as raw text. Every change reaches the
// project controller at once, for folders made later; "Apply to all current
// syncs now" rewrites the existing folders' lines after asking.
class IgnoresTab : public SettingsForm
{
    Q_OBJECT

public:
    explicit IgnoresTab(SettingsState &state, QWidget *parent = nullptr);

    // A pattern Syncthing cannot use is turned away with the reason, and
    // stays in the field.
    void addCustom();
    void removeCustom(const QString &pattern);
    // Stores and pushes the raw text; false, with the reason shown under the
    // editor, when Syncthing cannot use one of its patterns.
    bool saveIgnores();

private:
    void addCategories();
    void addOwnRules();
    void addActions();
    void addRawEditor();
    // The stored list changed: new folders get it, and the raw editor shows it.
    void pushAndShowStored();
    void push();
    void showList();
    void showCustomRows();
    QWidget *customRow(const QString &pattern);
    void showActivity();
    void askApplyToAll();

    SettingsState &m_state;
    AppEnvironment &m_env;
    QList<QCheckBox *> m_categories;
    QLabel *m_ownRulesHint = nullptr;
    KeyedList<QWidget> *m_customRows = nullptr;
    QLineEdit *m_newPattern = nullptr;
    QPushButton *m_add = nullptr;
    QPushButton *m_applyToAll = nullptr;
    QPlainTextEdit *m_raw = nullptr;
    DisclosureGroup *m_rawGroup = nullptr;
    MessageRow *m_patternRefusal = nullptr;
    QLabel *m_rawFailure = nullptr;
};

} // namespace tw

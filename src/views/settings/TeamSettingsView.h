#pragma once

#include "views/joining/NasSetupGuideView.h"
#include "views/settings/SettingsForm.h"

#include <QPointer>
#include <qcoro/qcorotask.h>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tw {

class AppEnvironment;
class DisclosureGroup;
class ElidedLabel;
class MessageRow;
class StatusDot;

// The settings window's Team tab: how this Mac joins syncs, the always-on
// backup (shown and checked, or set up automatically or by hand), and the
// team key that carries per-folder choices to every Mac of the team.
//
// It keeps only what is being typed and shown; everything else is read from
// the controllers as they change. The team key is read from the node
// controller's copy, so drawing the tab never asks the keychain.
class TeamSettingsView : public SettingsForm
{
    Q_OBJECT

public:
    explicit TeamSettingsView(AppEnvironment &env, QWidget *parent = nullptr);

    bool connecting() const { return m_connecting; }
    // The node set-up guide while it is open.
    NasSetupGuideView *guide() const { return m_guide; }

protected:
    void hideEvent(QHideEvent *event) override;

private:
    QWidget *joiningSection();
    QWidget *nodePart();
    QWidget *setupPart();
    QWidget *manualConnect();
    QWidget *teamSection();
    QWidget *storedKey();
    QWidget *missingKey();

    void showJoining();
    void showNodes();
    void showReachability();
    void showConnect();
    void showTeamKey();

    void openGuide();
    void startConnect();
    void generateKey();
    void useKey();
    void copyKey();
    void setConnecting(bool connecting);
    void keyWritten(bool reveal);

    static QCoro::Task<void> connectNode(QPointer<TeamSettingsView> self, QPointer<AppEnvironment> env,
                                         QString baseURL, QString apiKey, QString name);
    static QCoro::Task<void> storeKey(QPointer<TeamSettingsView> self, QPointer<AppEnvironment> env,
                                      std::optional<QString> pasted);

    AppEnvironment &m_env;

    QCheckBox *m_autoJoin = nullptr;
    QLabel *m_autoJoinCaption = nullptr;
    QPushButton *m_reset = nullptr;
    QLabel *m_resetCaption = nullptr;

    QWidget *m_nodePart = nullptr;
    ElidedLabel *m_nodeName = nullptr;
    ElidedLabel *m_nodeAddress = nullptr;
    ElidedLabel *m_nodeDeviceID = nullptr;
    StatusDot *m_dot = nullptr;
    QLabel *m_reachability = nullptr;

    QWidget *m_setupPart = nullptr;
    DisclosureGroup *m_manual = nullptr;
    QLineEdit *m_address = nullptr;
    QLineEdit *m_apiKey = nullptr;
    QLineEdit *m_name = nullptr;
    MessageRow *m_connectError = nullptr;
    QPushButton *m_connect = nullptr;
    bool m_connecting = false;
    QPointer<NasSetupGuideView> m_guide;

    QCheckBox *m_clusterSync = nullptr;
    DisclosureGroup *m_keyGroup = nullptr;
    QWidget *m_storedKey = nullptr;
    QLabel *m_keyText = nullptr;
    QPushButton *m_reveal = nullptr;
    QPushButton *m_copy = nullptr;
    QLabel *m_keyCaption = nullptr;
    QWidget *m_missingKey = nullptr;
    QPushButton *m_generate = nullptr;
    QLineEdit *m_keyInput = nullptr;
    QPushButton *m_use = nullptr;
    bool m_teamKeyRevealed = false;
    bool m_teamKeyCopied = false;
    // A key is being written to the keychain: one click, one key.
    bool m_keyWriting = false;
};

} // namespace tw

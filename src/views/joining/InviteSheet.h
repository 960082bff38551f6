#pragma once

#include "cluster/Invite.h"
#include "projects/MemberRole.h"
#include "projects/Project.h"

#include <QDialog>
#include <QSet>
#include <functional>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace tw {

class AppEnvironment;
class ElidedLabel;
class InviteChip;
template <typename Child>
class KeyedList;

// Brings another Mac into one sync: this Mac's invitation as a QR code and a
// link, one tap for Macs the engine already knows, the always-on node, and
// a pasted invitation. Showing it opens the sync's pairing window.
//
// Until this Mac's device ID is known the invitation would join nothing, so
// the QR code, the link and "Share…" wait for it.
class InviteSheet : public QDialog
{
    Q_OBJECT

public:
    using TailnetAddress = std::function<std::optional<QString>()>;
    static constexpr int width = 470;
    static constexpr int qrSize = 120;
    static constexpr int qrFrame = 108;

    // The tailnet address comes from TailscaleDetector unless given.
    InviteSheet(AppEnvironment &env, QString projectID, QWidget *parent = nullptr, TailnetAddress tailnet = {});
    ~InviteSheet() override;

    Invite myInvite() const;
    // The code text the QR code shows.
    const QString &shownCode() const { return m_shownCode; }
    // How many times the QR image was made; for tests and benchmarks.
    int qrRenders() const { return m_qrRenders; }
    MemberRole role() const;

    void copyLink();
    // Linux has no system sharing picker: sharing copies the link.
    void share();
    void addContact(const QString &deviceID, const QString &name);
    void addPastedIfAny();
    void refresh();

protected:
    void showEvent(QShowEvent *event) override;

private:
    QWidget *buildInviteRow();
    QWidget *buildContacts();
    QWidget *buildNode();
    QWidget *buildPaste();
    QWidget *buildBottom();
    void refreshInvite(const Invite &invite);
    void refreshContacts();
    void refreshNode();
    void refreshWaiting(const std::optional<Project> &project);

    AppEnvironment &m_env;
    const QString m_projectID;
    const TailnetAddress m_tailnet;
    std::optional<Invite> m_pasted;
    QSet<QString> m_addedContacts;
    // Macs that asked to join this sync while the sheet was open.
    QSet<QString> m_askedToJoin;
    QString m_shownCode;
    bool m_codeShown = false;
    int m_qrRenders = 0;

    QLabel *m_subtitle = nullptr;
    QLabel *m_qr = nullptr;
    QLabel *m_notReady = nullptr;
    QPushButton *m_copy = nullptr;
    QPushButton *m_share = nullptr;
    QWidget *m_tailscale = nullptr;
    QLabel *m_tailscaleText = nullptr;
    QWidget *m_contacts = nullptr;
    KeyedList<InviteChip> *m_chips = nullptr;
    QWidget *m_node = nullptr;
    ElidedLabel *m_nodeName = nullptr;
    QWidget *m_nodeMember = nullptr;
    QPushButton *m_addNode = nullptr;
    QLineEdit *m_paste = nullptr;
    ElidedLabel *m_willAdd = nullptr;
    QComboBox *m_role = nullptr;
    QWidget *m_spinner = nullptr;
    QLabel *m_joined = nullptr;
};

} // namespace tw

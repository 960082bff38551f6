#pragma once

#include "cluster/NodeSetupPayload.h"

#include <QDialog>
#include <QPointer>
#include <optional>
#include <qcoro/qcorotask.h>

class QPushButton;

namespace tw {

class AppEnvironment;
class MessageRow;

// The last step of setting up an always-on node: shows what the set-up link
// found and, on "Connect", registers the node, then brings the syncs and the
// folder list up to date and closes. The API key is handed on, never shown;
// an address that is not one web address is refused with a note.
class NodeSetupConfirmSheet : public QDialog
{
    Q_OBJECT

public:
    static constexpr int width = 430;

    NodeSetupConfirmSheet(AppEnvironment &env, NodeSetupPayload payload, QWidget *parent = nullptr);

    bool connecting() const { return m_connecting; }
    // Every way of closing ends here; the environment's pending set-up is
    // cleared only while it is still this sheet's.
    void done(int result) override;

private:
    void startConnect();
    // Runs to its end even when the sheet is closed or gone meanwhile.
    static QCoro::Task<void> connectNode(QPointer<NodeSetupConfirmSheet> self, QPointer<AppEnvironment> env,
                                         NodeSetupPayload payload);
    void setConnecting(bool connecting);
    void showError(const std::optional<QString> &message);

    AppEnvironment &m_env;
    const NodeSetupPayload m_payload;
    bool m_connecting = false;
    bool m_addressRefused = false;
    bool m_closed = false;
    MessageRow *m_error = nullptr;
    QPushButton *m_connect = nullptr;
};

} // namespace tw

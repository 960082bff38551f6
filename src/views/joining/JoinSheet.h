#pragma once

#include "cluster/Invite.h"

#include <QDialog>
#include <QPointer>
#include <functional>
#include <qcoro/qcorotask.h>

namespace tw {

class AppEnvironment;
class ProjectController;

// An invitation opened by link: who invites, to which sync, and "Join".
// Joining runs to its end even when the sheet goes meanwhile, and the sheet
// closes only once the sync has been joined (or the invitation refused).
class JoinSheet : public QDialog
{
    Q_OBJECT

public:
    using OnJoined = std::function<void(QString projectID)>;
    static constexpr int width = 430;

    JoinSheet(AppEnvironment &env, Invite invite, OnJoined onJoined, QWidget *parent = nullptr);

    void join();

private:
    static QCoro::Task<void> joinSync(QPointer<JoinSheet> self, QPointer<ProjectController> projects, Invite invite,
                                      OnJoined onJoined);

    AppEnvironment &m_env;
    const Invite m_invite;
    const OnJoined m_onJoined;
};

} // namespace tw

#pragma once

#include "projects/ProjectController.h"

#include <QMessageBox>

namespace tw {

// Asks whether a Mac that wants to join a sync may. It shows one request and
// keeps it: its buttons stand for that request even when a newer one has
// been surfaced meanwhile.
class JoinApprovalPrompt : public QMessageBox
{
    Q_OBJECT

public:
    using Request = ProjectController::PendingDeviceApproval;
    enum class Choice { Allow, Decline, NotNow };

    static QString titleFor(const Request &request);
    static QString messageFor(const Request &request);
    // The sync's name cut with "…" where it would widen the prompt.
    static QString allowLabelFor(const Request &request, const QFont &font);
    static const QString declineLabel;
    static const QString notNowLabel;

    JoinApprovalPrompt(Request request, QWidget *parent);

    const Request &request() const { return m_request; }
    QAbstractButton *button(Choice choice) const;
    // What the user chose; Not now also for a box closed otherwise.
    Choice choice() const;

private:
    Request m_request;
    QPushButton *m_allow;
    QPushButton *m_decline;
    QPushButton *m_notNow;
};

} // namespace tw

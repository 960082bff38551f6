#pragma once

#include "platform/Notifier.h"

#include <QList>
#include <QPair>

namespace tw {

// The notifier of every test environment: permission is granted or refused
// as told, and what passes the gate is recorded instead of shown.
class RecordingNotifier : public Notifier
{
public:
    bool grants = true;  // the answer to the next request for permission
    QList<QPair<QString, QString>> posted;  // title, body
    int permissionRequests = 0;              // how often permission was asked

protected:
    QCoro::Task<bool> askPermission() override
    {
        ++permissionRequests;
        co_return bool(grants);
    }
    void post(const QString &title, const QString &body) override { posted.append({title, body}); }
};

} // namespace tw

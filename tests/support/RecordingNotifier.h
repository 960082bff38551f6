#pragma once

#include "platform/Notifier.h"

#include <QList>
#include <QPair>

namespace tw {

// The notifier of every test environment: it grants or refuses as told and
// records what would have been shown, with the same authorisation gate.
class RecordingNotifier : public Notifier
{
public:
    bool grants = true;  // the answer of the next authorisation request
    bool authorized = false;
    QList<QPair<QString, QString>> posted;  // title, body

    QCoro::Task<bool> requestAuthorization() override
    {
        authorized = grants;
        co_return bool(authorized);
    }
    bool isAuthorized() const override { return authorized; }
    void notify(const QString &title, const QString &body) override
    {
        if (authorized)
            posted.append({title, body});
    }
};

} // namespace tw

#include "platform/Notifier.h"

namespace tw {

QCoro::Task<bool> Notifier::requestAuthorization()
{
    const bool granted = co_await askPermission();
    m_authorized = granted;
    co_return granted;
}

void Notifier::notify(const QString &title, const QString &body)
{
    if (m_authorized)
        post(title, body);
}

} // namespace tw

#include "platform/NotificationBody.h"

namespace tw {

QString notificationBody(const QString &text, bool serverHasBodyMarkup)
{
    return serverHasBodyMarkup ? text.toHtmlEscaped() : text;
}

} // namespace tw

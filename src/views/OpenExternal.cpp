#include "views/OpenExternal.h"

#include <QDesktopServices>
#include <QHostAddress>

namespace tw {

bool openExternal(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    const bool web = scheme == QLatin1String("http") || scheme == QLatin1String("https");
    const bool loopbackOnly = qEnvironmentVariable("TIDEWELL_LOOPBACK_ONLY") == QLatin1String("1");
    const QString host = url.host();
    if (web && loopbackOnly && host != QLatin1String("localhost") && !QHostAddress(host).isLoopback())
        return false;
    return QDesktopServices::openUrl(url);
}

} // namespace tw

#include "views/kit/OpenExternal.h"

#include "utilities/LoopbackOnly.h"

#include <QDesktopServices>

namespace tw {

bool openExternal(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    const bool web = scheme == QLatin1String("http") || scheme == QLatin1String("https");
    if (web && loopbackOnlyRun() && !isLoopbackHost(url.host()))
        return false;
    return QDesktopServices::openUrl(url);
}

} // namespace tw

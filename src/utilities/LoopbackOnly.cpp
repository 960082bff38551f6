#include "utilities/LoopbackOnly.h"

#include "utilities/MappedIPv4.h"

#include <QHostAddress>

namespace tw {

bool loopbackOnlyRun()
{
    return qEnvironmentVariable("TIDEWELL_LOOPBACK_ONLY") == QLatin1String("1");
}

bool isLoopbackHost(const QString &host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    QString text = host;
    if (text.startsWith(QLatin1Char('[')) && text.endsWith(QLatin1Char(']')))
        text = text.mid(1, text.size() - 2);
    // QHostAddress would take a zone ("::1%lo") too; a host text with one is
    // not an address we send to.
    if (text.contains(QLatin1Char('%')))
        return false;
    QHostAddress address;
    if (!address.setAddress(text))
        return false;
    return mappedIPv4(address).value_or(address).isLoopback();
}

} // namespace tw

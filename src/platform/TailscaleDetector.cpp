#include "platform/TailscaleDetector.h"

#include <QStringList>

#include <array>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <sys/socket.h>

namespace tw {

namespace {

// One octet of a dotted quad: one to three decimal digits, at most 255.
std::optional<int> octet(const QString &piece)
{
    if (piece.isEmpty() || piece.size() > 3)
        return std::nullopt;
    int value = 0;
    for (const QChar c : piece) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = value * 10 + (c.unicode() - '0');
    }
    if (value > 255)
        return std::nullopt;
    return value;
}

} // namespace

std::optional<QString> TailscaleDetector::localTailscaleIPv4()
{
    return firstTailscaleIPv4(interfaceAddresses());
}

std::optional<QString> TailscaleDetector::firstTailscaleIPv4(const std::vector<InterfaceAddress> &interfaces)
{
    for (const InterfaceAddress &entry : interfaces) {
        if ((entry.flags & IFF_UP) == 0 || (entry.flags & IFF_LOOPBACK) != 0 || entry.family != AF_INET)
            continue;
        if (isCGNAT(entry.address))
            return entry.address;
    }
    return std::nullopt;
}

// Only a well-formed dotted quad counts: four octets, none above 255, so that
// a malformed text can never pass for an address in range.
bool TailscaleDetector::isCGNAT(const QString &address)
{
    const QStringList pieces = address.split(QLatin1Char('.'));
    if (pieces.size() != 4)
        return false;
    std::array<int, 4> octets{};
    for (int i = 0; i < 4; ++i) {
        const std::optional<int> value = octet(pieces.at(i));
        if (!value)
            return false;
        octets[i] = *value;
    }
    return octets[0] == 100 && octets[1] >= 64 && octets[1] <= 127;
}

std::vector<TailscaleDetector::InterfaceAddress> TailscaleDetector::interfaceAddresses()
{
    std::vector<InterfaceAddress> result;
    struct ifaddrs *list = nullptr;
    if (::getifaddrs(&list) != 0)
        return result;
    for (const struct ifaddrs *entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr)
            continue;
        InterfaceAddress item{entry->ifa_flags, entry->ifa_addr->sa_family, {}};
        if (item.family == AF_INET) {
            std::array<char, NI_MAXHOST> host{};
            // A failed rendering leaves the text empty, which never matches.
            ::getnameinfo(entry->ifa_addr, sizeof(struct sockaddr_in), host.data(), host.size(), nullptr, 0,
                          NI_NUMERICHOST);
            item.address = QString::fromLatin1(host.data());
        }
        result.push_back(std::move(item));
    }
    ::freeifaddrs(list);
    return result;
}

} // namespace tw

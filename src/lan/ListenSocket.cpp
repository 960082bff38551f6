#include "lan/ListenSocket.h"

#include "utilities/MappedIPv4.h"

#include <QTcpServer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tw {
namespace {

// A listening dual-stack IPv6 socket bound to the address; -1 on failure.
int openDualStack(const QHostAddress &address, quint16 port, int backlog)
{
    const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    const int off = 0;
    const int on = 1;
    sockaddr_in6 socketAddress{};
    socketAddress.sin6_family = AF_INET6;
    socketAddress.sin6_port = htons(port);
    const Q_IPV6ADDR bytes = address.toIPv6Address();
    static_assert(sizeof(bytes) == sizeof(socketAddress.sin6_addr));
    memcpy(&socketAddress.sin6_addr, &bytes, sizeof(bytes));
    if (::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off) != 0
        || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0
        || ::bind(fd, reinterpret_cast<const sockaddr *>(&socketAddress), sizeof socketAddress) != 0
        || ::listen(fd, backlog) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

bool ListenSocket::listen(QTcpServer &server, const QHostAddress &address, quint16 port, int backlog)
{
    if (!mappedIPv4(address))
        return server.listen(address, port);
    const int fd = openDualStack(address, port, backlog);
    if (fd < 0)
        return false;
    if (!server.setSocketDescriptor(fd)) {
        ::close(fd);
        return false;
    }
    return true;
}

} // namespace tw

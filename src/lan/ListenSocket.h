#pragma once

#include <QHostAddress>

class QTcpServer;

namespace tw {

// Puts a QTcpServer to listening. Qt refuses to bind an IPv4-mapped IPv6
// address ("::ffff:127.0.0.1"), which is how a dual-stack listener on every
// interface sees its IPv4 clients; such an address is bound here through a
// dual-stack socket of our own and handed to the server, so the same address
// forms reach the server whatever it was told to bind.
class ListenSocket
{
public:
    static bool listen(QTcpServer &server, const QHostAddress &address, quint16 port, int backlog);
};

} // namespace tw

#include "lan/DiagConnection.h"

#include "lan/HttpRequestHead.h"

#include <algorithm>

namespace tw {
namespace {

const QByteArray headTerminator = QByteArrayLiteral("\r\n\r\n");

} // namespace

DiagConnection::DiagConnection(QTcpSocket *socket, Timeouts timeouts, QObject *parent)
    : QObject(parent), m_socket(socket)
{
    socket->setParent(this);
    // Qt would otherwise buffer whatever a peer sends before we get to it.
    socket->setReadBufferSize(headLimit);
    m_requestDeadline.setSingleShot(true);
    m_requestDeadline.setInterval(timeouts.requestDeadline);
    connect(&m_requestDeadline, &QTimer::timeout, this, &DiagConnection::cancel);
    m_idleTimer.setSingleShot(true);
    m_idleTimer.setInterval(timeouts.answerIdle);
    connect(&m_idleTimer, &QTimer::timeout, this, &DiagConnection::cancel);
    connect(socket, &QTcpSocket::readyRead, this, &DiagConnection::onReadyRead);
    connect(socket, &QTcpSocket::bytesWritten, this, [this] { m_idleTimer.start(); });
    connect(socket, &QTcpSocket::disconnected, this, &DiagConnection::finish);
    m_requestDeadline.start();
    // Data may have arrived before we were connected to the socket.
    if (socket->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &DiagConnection::onReadyRead, Qt::QueuedConnection);
    if (socket->state() != QAbstractSocket::ConnectedState)
        finish();
}

QString DiagConnection::peerAddress() const
{
    return m_socket ? m_socket->peerAddress().toString() : QString();
}

void DiagConnection::send(const QString &status, const QString &contentType, const QByteArray &body)
{
    if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState) {
        finish();
        return;
    }
    m_idleTimer.start();
    m_socket->write(answer(status, contentType, body));
    // Closes once everything is written, then reports disconnected.
    m_socket->disconnectFromHost();
}

void DiagConnection::cancel()
{
    m_receiving = false;
    if (m_socket)
        m_socket->abort();
    finish();
}

QByteArray DiagConnection::answer(const QString &status, const QString &contentType, const QByteArray &body)
{
    const QString head = QStringLiteral("HTTP/1.1 ") + status + QStringLiteral("\r\n") + QStringLiteral("Content-Type: ")
                         + contentType + QStringLiteral("; charset=utf-8\r\n") + QStringLiteral("Content-Length: ")
                         + QString::number(body.size()) + QStringLiteral("\r\n") + QStringLiteral("Connection: close\r\n\r\n");
    return head.toUtf8() + body;
}

void DiagConnection::onReadyRead()
{
    if (!m_socket)
        return;
    while (m_receiving && m_socket->bytesAvailable() > 0) {
        if (!receive(m_socket->read(headLimit)))
            break;
    }
    if (!m_receiving && m_socket && m_socket->isOpen())
        m_socket->readAll();  // one request per connection; the rest is ignored
}

bool DiagConnection::receive(const QByteArray &chunk)
{
    const qsizetype searchFrom = std::max<qsizetype>(0, m_buffer.size() - (headTerminator.size() - 1));
    m_buffer.append(chunk);
    if (m_headEnd < 0) {
        m_headEnd = m_buffer.indexOf(headTerminator, searchFrom);
        if (m_headEnd < 0) {
            if (m_buffer.size() > headLimit)
                cancel();
            return m_receiving;
        }
        m_head = QString::fromUtf8(m_buffer.left(m_headEnd));
        m_contentLength = HttpRequestHead::contentLength(m_head);
    }
    const qsizetype bodyStart = m_headEnd + headTerminator.size();
    if (m_buffer.size() - bodyStart >= m_contentLength) {
        m_receiving = false;
        m_requestDeadline.stop();  // the server's handlers take their time; the peer is not to blame
        const QByteArray body = m_contentLength < 1 ? QByteArray() : m_buffer.mid(bodyStart, m_contentLength);
        const QString head = m_head;
        m_buffer.clear();
        emit requestReceived(head, body);
        return false;
    }
    if (m_buffer.size() > requestLimit)
        cancel();
    return m_receiving;
}

void DiagConnection::finish()
{
    m_receiving = false;
    m_requestDeadline.stop();
    m_idleTimer.stop();
    deleteLater();
}

} // namespace tw

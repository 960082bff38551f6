#include "app/InstanceChannel.h"

#include "utilities/LocalSocketAddress.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QThread>

namespace tw {

QString InstanceChannel::socketPath(const AppPaths &paths)
{
    // Qt makes sure the runtime directory is this user's alone.
    QString directory = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (directory.isEmpty())
        directory = QDir::tempPath();
    return socketPath(paths, directory);
}

QString InstanceChannel::socketPath(const AppPaths &paths, const QString &runtimeDirectory)
{
    const QByteArray root = QDir::cleanPath(QDir(paths.root()).absolutePath()).toUtf8();
    const QByteArray tag = QCryptographicHash::hash(root, QCryptographicHash::Sha256).toHex().left(16);
    return runtimeDirectory + QStringLiteral("/tidewellmesh-") + QString::fromLatin1(tag);
}

QString InstanceChannel::requestFor(const QStringList &arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i)
        if (!arguments.at(i).isEmpty())
            return arguments.at(i);
    return showRequest;
}

std::optional<QString> InstanceChannel::decodeLine(const QByteArray &line)
{
    if (line.size() > maxLineBytes)
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(line);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

InstanceChannel::Delivery InstanceChannel::deliver(const QString &socketPath, const QString &line,
                                                    std::chrono::milliseconds wait)
{
    const QByteArray bytes = line.toUtf8();
    if (bytes.size() > maxLineBytes || bytes.contains('\n'))
        return Delivery::NotTaken;
    const LocalSocketAddress address(socketPath);
    if (address.path().isEmpty())
        return Delivery::NotListening;
    QDeadlineTimer deadline(wait);
    QLocalSocket socket;
    // The holder listens only once its window is built: a copy started right
    // after it tries again until the wait is over.
    while (true) {
        socket.connectToServer(address.path());
        if (socket.waitForConnected(int(deadline.remainingTime())))
            break;
        if (deadline.hasExpired())
            return Delivery::NotListening;
        QThread::msleep(20);
    }
    socket.write(bytes + '\n');
    QByteArray received;
    while (!received.contains('\n')) {
        if (deadline.hasExpired() || !socket.waitForReadyRead(int(deadline.remainingTime())))
            return Delivery::NotTaken;
        received += socket.readAll();
    }
    return received.startsWith(answer) ? Delivery::Taken : Delivery::NotTaken;
}

bool InstanceChannel::forward(const QString &socketPath, const QString &line, std::chrono::milliseconds wait)
{
    return deliver(socketPath, line, wait) == Delivery::Taken;
}

} // namespace tw

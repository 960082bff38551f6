#pragma once

#include <QObject>
#include <QString>
#include <chrono>
#include <memory>

class QLocalServer;
class QLocalSocket;

namespace tw {

class LocalSocketAddress;

// The lock holder's end of the instance channel: takes one line per
// connection and hands it on. Longer, unfinished or non-UTF-8 input is
// dropped unanswered. What arrives is never logged: a set-up link carries
// a node's API key.
class InstanceListener : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds lineWait{1000};

    explicit InstanceListener(QObject *parent = nullptr);
    ~InstanceListener() override;

    // Listens on the path, readable and writable by this user alone, however
    // long the path. Only the lock holder listens, so a socket file already
    // there is a crashed copy's leftover and goes first. Whether it listens.
    bool listen(const QString &socketPath);
    // Stops listening and removes the socket file: a copy started meanwhile
    // finds nobody to hand its request to and waits for the lock instead.
    void close();
    QString errorString() const;

signals:
    // Answered already; the receiver acts on it.
    void lineReceived(const QString &line);

private:
    void accept();
    void read(QLocalSocket *socket);

    QLocalServer *m_server;
    // Held while listening: a long path is reached through it, also as the
    // socket file is removed.
    std::unique_ptr<LocalSocketAddress> m_address;
    QString m_failure;
};

} // namespace tw

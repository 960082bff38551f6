#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>

namespace tw {

// Restricts a Syncthing configuration to loopback: it listens only on
// tcp://<host>:<port>; global and local discovery, relays, NAT traversal,
// usage and crash reporting, automatic upgrades and the browser start are
// off. Used for development and test runs, which must not send anything
// beyond 127.0.0.0/8.
class SyncthingConfigHardening
{
public:
    // Syncthing's floors of free disk space, 1 % by default, for its database
    // and for each new folder. Off only in throwaway homes: tests share
    // machines whose disks may be nearly full, and a floor stops every scan.
    enum class DiskFloors { Kept, Off };

    // The option values written, element name and text, in this order.
    static const QList<std::pair<QString, QString>> &switchedOff();

    // The rewritten configuration text. A listen address that already is
    // exactly one tcp://<host>:<port> is kept so peers that know it keep
    // reaching it; otherwise the listen address becomes tcp://<host>:<freshPort>.
    // Throws SyncEngineError::backend when the text is not a Syncthing
    // configuration: starting it unhardened is not an option.
    static QByteArray harden(const QByteArray &config, const QString &host, quint16 freshPort,
                             DiskFloors floors = DiskFloors::Kept);

    // harden() applied to a file in place, written atomically. Returns the
    // listen address now in the file.
    static QString hardenFile(const QString &path, const QString &host, quint16 freshPort,
                              DiskFloors floors = DiskFloors::Kept);

    // The address of a configuration's listen addresses that hardening keeps:
    // the only one, when it already is tcp://<host>:<port>.
    static std::optional<QString> keptListenAddress(const QStringList &addresses, const QString &host);

private:
    static QString chooseListenAddress(const QByteArray &config, const QString &host, quint16 freshPort);
};

} // namespace tw

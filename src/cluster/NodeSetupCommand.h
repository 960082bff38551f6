#pragma once

#include <QList>
#include <QString>
#include <QUrl>
#include <optional>

namespace tw {

// The shell command that turns a NAS into the team's always-on node: pasted
// into a terminal, it logs into the NAS over SSH, runs the installer there,
// picks the node's API key out of the installer's output and opens the node
// set-up link. Each typed value passes three shells (the user's, the `sh -c`
// of `script`, the NAS's login shell), so only values that survive all three
// as they are go into it.
class NodeSetupCommand
{
public:
    enum class Field { Address, Port, User, Share };

    struct Fields
    {
        QString address;
        QString port;
        QString user;
        QString share;

        bool operator==(const Fields &) const = default;
    };

    struct Validation
    {
        // Trimmed, with the default port and folder filled in; only when
        // nothing was refused.
        std::optional<Fields> values;
        // In the form's order.
        QList<Field> refused;
    };

    static inline const QString defaultPort = QStringLiteral("22");
    static inline const QString defaultShare = QStringLiteral("/volume1/TidewellSync");
    static inline const QString installerPath = QStringLiteral("/tidewellmediasync-updates/install-on-synology.sh");
    // What the installer prints in front of the key. `script` copies its
    // command into the log's header, so the command must never hold it.
    static inline const QString callbackMarker = QStringLiteral("TIDEWELL_CALLBACK:");

    // Takes the form's texts as typed.
    static Validation validate(const Fields &typed);
    // The 18 lines, for values `validate` gave.
    static QString build(const Fields &values, const QUrl &installerURL);

    // The installer's host the build was given (empty: none), unless a test
    // set another.
    static QString installerHost();
    static void overrideInstallerHost(std::optional<QString> host);
    // "https://<host>" and the installer's path; none without a host.
    static std::optional<QUrl> installerURL();
};

} // namespace tw

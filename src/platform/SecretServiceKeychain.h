#pragma once

#include "platform/Keychain.h"

namespace tw {

// The desktop session's keychain through qtkeychain: the Secret Service
// (GNOME Keyring, KeePassXC, ...), or KWallet in a KDE session. Nothing is
// ever written to qtkeychain's unencrypted settings-file fallback; without a
// Secret Service every operation throws KeychainUnavailable.
class SecretServiceKeychain : public Keychain
{
public:
    // The one text the user sees, however the store failed. qtkeychain's own
    // text stays out of it: it quotes D-Bus internals nobody can act on.
    static inline const QString unavailableMessage = QStringLiteral(
        "The keychain can't be reached. Make sure a Secret Service such as GNOME Keyring is running "
        "and your login keyring is unlocked, then try again.");

    QCoro::Task<std::optional<QString>> get(QString account) override;
    QCoro::Task<void> set(QString value, QString account) override;
    QCoro::Task<void> remove(QString account) override;
};

} // namespace tw

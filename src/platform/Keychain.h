#pragma once

#include "engine/PlatformError.h"

#include <qcoro/qcorotask.h>
#include <QString>
#include <optional>

namespace tw {

// The secret store could not be asked at all (no Secret Service on the bus,
// the collection locked, the user refused). Callers must tell this apart from
// "no item": nothing that depends on a key being absent may run on it.
class KeychainUnavailable : public PlatformError
{
public:
    using PlatformError::PlatformError;
};

// Generic passwords of one service, values stored as UTF-8 text. The system
// store answers asynchronously, so every operation is awaited.
class Keychain
{
public:
    static inline const QString service = QStringLiteral("com.quellmark.tidewellsync");

    virtual ~Keychain() = default;

    // Absent when no item is stored under the account.
    // Throws KeychainUnavailable when the store cannot be reached.
    virtual QCoro::Task<std::optional<QString>> get(QString account) = 0;
    // Replaces any earlier value. Throws KeychainUnavailable.
    virtual QCoro::Task<void> set(QString value, QString account) = 0;
    // Removing an absent item succeeds. Throws KeychainUnavailable.
    virtual QCoro::Task<void> remove(QString account) = 0;
};

} // namespace tw

#pragma once

#include "platform/Keychain.h"

#include <QMap>

namespace tw {

// The keychain of unit tests: a map, and a switch that makes every operation
// fail as a locked or missing secret store would.
class MemoryKeychain : public Keychain
{
public:
    QMap<QString, QString> items;
    bool unavailable = false;

    QCoro::Task<std::optional<QString>> get(QString account) override
    {
        throwIfUnavailable();
        if (!items.contains(account))
            co_return std::nullopt;
        co_return items.value(account);
    }
    QCoro::Task<void> set(QString value, QString account) override
    {
        throwIfUnavailable();
        items.insert(account, value);
        co_return;
    }
    QCoro::Task<void> remove(QString account) override
    {
        throwIfUnavailable();
        items.remove(account);
        co_return;
    }

private:
    void throwIfUnavailable() const
    {
        if (unavailable)
            throw KeychainUnavailable(QStringLiteral("The keychain is locked."));
    }
};

} // namespace tw

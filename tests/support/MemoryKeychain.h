#pragma once

#include "platform/Keychain.h"

#include <QMap>
#include <QTimer>
#include <coroutine>
#include <deque>
#include <utility>

namespace tw {

// The keychain of unit tests: a map, a switch that makes every operation
// fail as a locked or missing secret store would, and a gate that holds
// writes in flight (as the desktop's keychain does while it asks the user)
// until the test releases them.
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
        SetGate gate{this};
        co_await gate;
        items.insert(account, value);
    }
    QCoro::Task<void> remove(QString account) override
    {
        throwIfUnavailable();
        items.remove(account);
        co_return;
    }

    // Writes started from now on wait before storing anything.
    void holdSets() { m_setsHeld = true; }
    // The waiting writes store their values from the event loop.
    void releaseSets()
    {
        m_setsHeld = false;
        for (const std::coroutine_handle<> handle : std::exchange(m_waitingSets, {}))
            QTimer::singleShot(0, [handle] { handle.resume(); });
    }
    int waitingSets() const { return int(m_waitingSets.size()); }

private:
    struct SetGate
    {
        MemoryKeychain *keychain;
        bool await_ready() const { return !keychain->m_setsHeld; }
        void await_suspend(std::coroutine_handle<> handle) { keychain->m_waitingSets.push_back(handle); }
        void await_resume() const {}
    };

    void throwIfUnavailable() const
    {
        if (unavailable)
            throw KeychainUnavailable(QStringLiteral("The keychain is locked."));
    }

    bool m_setsHeld = false;
    std::deque<std::coroutine_handle<>> m_waitingSets;
};

} // namespace tw

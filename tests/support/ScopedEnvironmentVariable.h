#pragma once

#include <QByteArray>
#include <optional>

namespace tw {

// Sets (or, given nothing, clears) one environment variable for a scope and
// then gives back what the caller had, so a test does not depend on it.
class ScopedEnvironmentVariable
{
public:
    ScopedEnvironmentVariable(const char *name, const std::optional<QByteArray> &value)
        : m_name(name), m_saved(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt)
    {
        set(value);
    }
    ~ScopedEnvironmentVariable() { set(m_saved); }
    ScopedEnvironmentVariable(const ScopedEnvironmentVariable &) = delete;
    ScopedEnvironmentVariable &operator=(const ScopedEnvironmentVariable &) = delete;

private:
    void set(const std::optional<QByteArray> &value) const
    {
        if (value)
            qputenv(m_name, *value);
        else
            qunsetenv(m_name);
    }

    const char *m_name;
    std::optional<QByteArray> m_saved;
};

} // namespace tw

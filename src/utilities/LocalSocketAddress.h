#pragma once

#include <QString>

namespace tw {

// A path a local (Unix) socket can be bound to or reached at, whatever the
// length of the path it stands for. An address holds 107 bytes: a longer
// path is reached through a descriptor of its directory, as
// "/proc/self/fd/N/name", so the socket still lies in that directory and
// keeps its owner-only access. Hold the address for as long as the path is
// used: the descriptor closes with it.
class LocalSocketAddress
{
public:
    static constexpr qsizetype maxPathBytes = 107;

    explicit LocalSocketAddress(const QString &socketPath);
    ~LocalSocketAddress();
    LocalSocketAddress(const LocalSocketAddress &) = delete;
    LocalSocketAddress &operator=(const LocalSocketAddress &) = delete;

    // The path to bind or connect to; empty when the directory of a long
    // path cannot be opened, or the socket's own name is too long.
    const QString &path() const { return m_path; }

private:
    int m_directory = -1;
    QString m_path;
};

} // namespace tw

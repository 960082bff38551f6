#pragma once

#include <QJsonArray>
#include <QString>
#include <optional>

namespace tw {

// The file behind a retry queue: a compact JSON array of entries, written
// atomically. Every failure is silent; the queue writes again at its next
// change.
//
// Content the queue could not take in whole (not an array, or an entry it had
// to drop) is copied aside as "<file>.corrupt-<seconds since 1970>" before the
// next write replaces it, so one damaged entry never costs the others.
class RetryQueueFile
{
public:
    explicit RetryQueueFile(std::optional<QString> path) : m_path(std::move(path)) {}

    // The stored elements in file order; none when there is no file or it
    // cannot be read.
    QJsonArray read();
    // The queue dropped something it read: keep the file's content aside.
    void keepAside() { m_keepAside = true; }
    void write(const QJsonArray &entries);

private:
    bool copyAside() const;

    std::optional<QString> m_path;
    bool m_keepAside = false;
};

} // namespace tw

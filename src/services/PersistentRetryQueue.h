#pragma once

#include "services/PermanentRetryFailure.h"
#include "services/RetryQueueEntry.h"
#include "services/RetryQueueFile.h"
#include "utilities/Sleeper.h"

#include <QList>
#include <QUuid>
#include <qcoro/qcorotask.h>
#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace tw {

// A first-in, first-out queue of operations that must reach an unreliable
// service sooner or later. Pending entries live in a JSON file, so they
// survive a quit or a crash; an executor installed by the owner carries them
// out one at a time, strictly head first. A failed entry is retried after a
// back-off delay from the table, and given up (kept in the dead-letter list
// for the rest of the process) after a PermanentRetryFailure or when it has
// failed maxAttempts times. Entries read from the file keep their count, so
// counting goes on across restarts.
//
// Main thread only; created through create(), as the drain task holds the
// queue weakly and ends once the queue is gone.
template <RetryOperation Operation>
class PersistentRetryQueue : public std::enable_shared_from_this<PersistentRetryQueue<Operation>>
{
public:
    using Entry = RetryQueueEntry<Operation>;
    // Returning counts as success, throwing as failure.
    using Executor = std::function<QCoro::Task<void>(Operation)>;

    // Loads the file (none: the queue lives in memory only). Installs no
    // executor and starts nothing. An empty table behaves as one second, and
    // a maxAttempts below 1 as 1.
    static std::shared_ptr<PersistentRetryQueue> create(std::optional<QString> storePath,
                                                        QList<std::chrono::milliseconds> backoff, int maxAttempts,
                                                        Sleeper sleeper = realSleeper())
    {
        return std::shared_ptr<PersistentRetryQueue>(
            new PersistentRetryQueue(std::move(storePath), std::move(backoff), maxAttempts, std::move(sleeper)));
    }

    // Replaces any earlier executor and resumes draining.
    void setExecutor(Executor executor)
    {
        m_executor = std::move(executor);
        resume();
    }

    // Appends at the tail, writes the file and resumes draining.
    void enqueue(Operation operation, std::optional<QString> dedupKey = std::nullopt)
    {
        m_entries.append(Entry{QUuid::createUuid(), std::move(operation), std::move(dedupKey), 0});
        persist();
        resume();
    }

    // Starts the drain task when there is work and none runs.
    void resume()
    {
        if (!m_executor || m_entries.isEmpty() || m_draining)
            return;
        m_draining = true;
        drain(this->weak_from_this());
    }

    qsizetype pendingCount() const { return m_entries.size(); }
    const QList<Entry> &pending() const { return m_entries; }
    qsizetype deadLetterCount() const { return m_deadLetter.size(); }
    const QList<Entry> &deadLetter() const { return m_deadLetter; }

    // Removes the pending entries that carry this key and answers how many.
    // An execution already running for one of them changes nothing when it
    // ends.
    qsizetype cancel(const QString &dedupKey)
    {
        const qsizetype removed = m_entries.removeIf([&](const Entry &entry) { return entry.dedupKey == dedupKey; });
        if (removed > 0)
            persist();
        return removed;
    }

private:
    enum class Outcome { Succeeded, Failed, FailedPermanently };

    struct Step
    {
        Entry entry;
        Executor executor;
    };

    struct Pause
    {
        std::chrono::milliseconds delay;
        Sleeper sleeper;
    };

    PersistentRetryQueue(std::optional<QString> storePath, QList<std::chrono::milliseconds> backoff, int maxAttempts,
                         Sleeper sleeper)
        : m_file(std::move(storePath)), m_backoff(usableTable(std::move(backoff))),
          m_maxAttempts(std::max(maxAttempts, 1)), m_sleeper(sleeper ? std::move(sleeper) : realSleeper())
    {
        load();
    }

    static QList<std::chrono::milliseconds> usableTable(QList<std::chrono::milliseconds> table)
    {
        if (table.isEmpty())
            return {std::chrono::seconds(1)};
        for (std::chrono::milliseconds &delay : table)
            delay = std::max(delay, std::chrono::milliseconds(0));
        return table;
    }

    // Entries are taken in one by one, so a damaged one costs only itself. A
    // count outside 0...maxAttempts (only a hand-edited file holds one) is
    // brought inside it: it neither reaches outside the table nor overflows.
    void load()
    {
        for (const QJsonValue &value : m_file.read()) {
            try {
                Entry entry = Entry::fromJson(value);
                entry.attempts = std::clamp<qint64>(entry.attempts, 0, m_maxAttempts);
                m_entries.append(std::move(entry));
            } catch (const JsonDecodeError &) {
                m_file.keepAside();
            }
        }
    }

    void persist()
    {
        QJsonArray array;
        for (const Entry &entry : m_entries)
            array.append(entry.toJson());
        m_file.write(array);
    }

    // The head to execute next; none ends the loop (and clears the flag while
    // the queue still exists).
    static std::optional<Step> nextStep(const std::weak_ptr<PersistentRetryQueue> &weak)
    {
        const std::shared_ptr<PersistentRetryQueue> self = weak.lock();
        if (!self)
            return std::nullopt;
        if (self->m_entries.isEmpty() || !self->m_executor) {
            self->m_draining = false;
            return std::nullopt;
        }
        return Step{self->m_entries.first(), self->m_executor};
    }

    // Holds the queue only between awaits: while an execution or a wait is
    // suspended, the queue may change (an entry appended or cancelled) or go.
    // Each result therefore finds its entry again by id.
    static QCoro::Task<void> drain(std::weak_ptr<PersistentRetryQueue> weak)
    {
        while (std::optional<Step> step = nextStep(weak)) {
            const Outcome outcome = co_await execute(step->executor, step->entry.operation);
            const std::optional<Pause> pause = settle(weak, step->entry.id, outcome);
            if (pause)
                co_await wait(pause->sleeper, pause->delay);
        }
    }

    // Applies one result while the queue still exists; answers the back-off
    // wait before the next execution, if any.
    static std::optional<Pause> settle(const std::weak_ptr<PersistentRetryQueue> &weak, const QUuid &id,
                                       Outcome outcome)
    {
        const std::shared_ptr<PersistentRetryQueue> self = weak.lock();
        if (!self)
            return std::nullopt;
        const std::optional<std::chrono::milliseconds> delay = self->record(id, outcome);
        if (!delay)
            return std::nullopt;
        return Pause{*delay, self->m_sleeper};
    }

    static QCoro::Task<Outcome> execute(Executor executor, Operation operation)
    {
        try {
            co_await executor(std::move(operation));
            co_return Outcome::Succeeded;
        } catch (const PermanentRetryFailure &) {
            co_return Outcome::FailedPermanently;
        } catch (...) {
            co_return Outcome::Failed;
        }
    }

    static QCoro::Task<void> wait(Sleeper sleeper, std::chrono::milliseconds delay)
    {
        try {
            co_await sleeper(delay);
        } catch (...) {
            // An interrupted wait only ends early.
        }
    }

    std::optional<std::chrono::milliseconds> record(const QUuid &id, Outcome outcome)
    {
        if (outcome == Outcome::Succeeded) {
            if (!m_entries.isEmpty() && m_entries.first().id == id) {
                m_entries.removeFirst();
                persist();
            }
            return std::nullopt;
        }
        const auto found =
            std::find_if(m_entries.begin(), m_entries.end(), [&](const Entry &entry) { return entry.id == id; });
        if (found == m_entries.end())
            return std::nullopt;
        ++found->attempts;
        if (outcome == Outcome::Failed && found->attempts < m_maxAttempts) {
            const std::chrono::milliseconds delay = delayAfter(found->attempts);
            persist(); // the raised count is stored before the wait
            return delay;
        }
        m_deadLetter.append(*found);
        m_entries.erase(found);
        persist();
        return std::nullopt;
    }

    // The first failure waits the first element, every failure past the end
    // of the table the last one.
    std::chrono::milliseconds delayAfter(qint64 attempts) const
    {
        return m_backoff.at(std::clamp<qint64>(attempts - 1, 0, m_backoff.size() - 1));
    }

    QList<Entry> m_entries;
    RetryQueueFile m_file;
    const QList<std::chrono::milliseconds> m_backoff;
    const int m_maxAttempts;
    QList<Entry> m_deadLetter;
    Executor m_executor;
    bool m_draining = false;
    Sleeper m_sleeper;
};

} // namespace tw

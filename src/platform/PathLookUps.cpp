#include "platform/PathLookUps.h"

#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>
#include <qcoro/qcorofuture.h>
#include <coroutine>
#include <optional>
#include <utility>
#include <vector>

namespace tw {

struct PathLookUps::LookUp
{
    std::optional<PathPresence> answer;
    bool overdue = false;
    std::vector<std::coroutine_handle<>> waiting;

    bool settled() const { return answer || overdue; }
    void wake()
    {
        for (std::coroutine_handle<> handle : std::exchange(waiting, {}))
            handle.resume();
    }
};

// Resumes once the look-up has answered or its wait is over. It owns
// nothing: GCC 12 destroys an awaited temporary made this way twice.
struct PathLookUps::Settled
{
    LookUp *lookUp;
    bool await_ready() const { return lookUp->settled(); }
    void await_suspend(std::coroutine_handle<> handle) { lookUp->waiting.push_back(handle); }
    void await_resume() const {}
};

PathLookUps::PathLookUps(std::chrono::milliseconds wait, QObject *parent) : QObject(parent), m_wait(wait)
{
    m_pool.setMaxThreadCount(threads);
    m_pool.setObjectName(QStringLiteral("PathLookUps"));
}

PathLookUps::~PathLookUps() = default;

QCoro::Task<QHash<QString, PathPresence>> PathLookUps::ask(QStringList paths)
{
    QList<std::pair<QString, std::shared_ptr<LookUp>>> asked;
    for (const QString &path : std::as_const(paths)) {
        std::shared_ptr<LookUp> open = m_open.value(path);
        asked.emplaceBack(path, open ? std::move(open) : start(path));
    }
    for (const auto &entry : std::as_const(asked))
        co_await Settled(entry.second.get());
    // Read only now: an answer that came while later paths were awaited counts.
    QHash<QString, PathPresence> answers;
    for (const auto &[path, lookUp] : std::as_const(asked))
        if (lookUp->answer)
            answers.insert(path, *lookUp->answer);
    co_return answers;
}

std::shared_ptr<PathLookUps::LookUp> PathLookUps::start(const QString &path)
{
    auto lookUp = std::make_shared<LookUp>();
    m_open.insert(path, lookUp);
    settle(QPointer<PathLookUps>(this), path, lookUp);
    QTimer::singleShot(m_wait, this, [lookUp] {
        if (lookUp->answer)
            return;
        lookUp->overdue = true;
        lookUp->wake();
    });
    return lookUp;
}

QCoro::Task<void> PathLookUps::settle(QPointer<PathLookUps> self, QString path, std::shared_ptr<LookUp> lookUp)
{
    PathPresence presence;
    try {
        presence = co_await QtConcurrent::run(&self->m_pool, self->m_reader, path);
    } catch (...) {
        // Nothing was read: the path counts as not there.
    }
    if (!self)
        co_return;
    self->m_open.remove(path);
    lookUp->answer = presence;
    if (lookUp->overdue)
        emit self->lateAnswer(path, presence);
    lookUp->wake();
}

} // namespace tw

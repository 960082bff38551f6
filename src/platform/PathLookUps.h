#pragma once

#include "platform/PathPresence.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <chrono>
#include <functional>
#include <memory>

#include <qcoro/qcorotask.h>

namespace tw {

// Looks sync folders' paths up off the main thread and waits for the
// answers a bounded time: a look-up on a network mount that stopped answering
// never returns, and one folder there must hold up neither start-up nor the
// other folders. A path whose look-up is still open is not looked up again
// (each stuck look-up holds a thread for good) until that one answers, which
// `lateAnswer` tells when its wait was over. The look-ups run in a pool of
// their own, so stuck ones never hold up the global pool's work; going, it
// waits for those under way. Main thread only.
class PathLookUps : public QObject
{
    Q_OBJECT
public:
    // Time for a sleeping drive to wake.
    static constexpr std::chrono::milliseconds defaultWait{5000};
    // Paths looked up at once; a few stuck ones leave room for the others.
    static constexpr int threads = 32;

    // What a look-up runs on a pool thread.
    using Reader = std::function<PathPresence(const QString &path)>;

    explicit PathLookUps(std::chrono::milliseconds wait = defaultWait, QObject *parent = nullptr);
    ~PathLookUps() override;

    // Tests give the disk's answers a drive the test cannot mount would
    // give; the look-ups started from then on ask it.
    void setReader(Reader reader) { m_reader = std::move(reader); }

    // The answer for each path that gave one within the wait; a path whose
    // look-up is open past it has none.
    QCoro::Task<QHash<QString, PathPresence>> ask(QStringList paths);

signals:
    void lateAnswer(const QString &path, const tw::PathPresence &presence);

private:
    struct LookUp;
    struct Settled;
    std::shared_ptr<LookUp> start(const QString &path);
    static QCoro::Task<void> settle(QPointer<PathLookUps> self, QString path, std::shared_ptr<LookUp> lookUp);

    std::chrono::milliseconds m_wait;
    Reader m_reader = &PathPresence::read;
    QThreadPool m_pool;
    QHash<QString, std::shared_ptr<LookUp>> m_open;
};

} // namespace tw

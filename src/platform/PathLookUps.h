#pragma once

#include "platform/PathPresence.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <chrono>
#include <memory>

#include <qcoro/qcorotask.h>

namespace tw {

// Looks sync folders' paths up in the global pool and waits for the answers
// a bounded time: a look-up on a network mount that stopped answering never
// returns, and one folder there must hold up neither start-up nor the other
// folders. A path whose look-up is still open is not looked up again (each
// stuck look-up holds a pool thread for good) until that one answers, which
// `lateAnswer` tells when its wait was over. Main thread only.
class PathLookUps : public QObject
{
    Q_OBJECT
public:
    // A sleeping drive answers within it.
    static constexpr std::chrono::milliseconds defaultWait{5000};

    explicit PathLookUps(std::chrono::milliseconds wait = defaultWait, QObject *parent = nullptr);
    ~PathLookUps() override;

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
    QHash<QString, std::shared_ptr<LookUp>> m_open;
};

} // namespace tw

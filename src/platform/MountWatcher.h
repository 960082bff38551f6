#pragma once

#include "platform/MountEventSource.h"

#include <QByteArray>
#include <QStringList>

class QSocketNotifier;

namespace tw {

// Watches this process's mount table through /proc/self/mountinfo: the
// kernel marks the open file exceptional whenever the table changes. The mount
// points are compared with the last reading, so a change that leaves them as
// they were (new options on a mounted volume) says nothing.
class MountWatcher : public MountEventSource
{
    Q_OBJECT
public:
    explicit MountWatcher(QObject *parent = nullptr);
    ~MountWatcher() override;

    // The mount points of a mountinfo text, escapes decoded, sorted; a
    // volume mounted over another counts twice.
    static QStringList mountPoints(const QByteArray &mountinfo);

private:
    QByteArray readTable() const;
    void check();

    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QStringList m_points;
};

} // namespace tw

#include "platform/MountWatcher.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

namespace tw {
namespace {

// mountinfo writes space, tab, newline and backslash as three octal digits.
QString decodeField(const QByteArray &field)
{
    QByteArray decoded;
    decoded.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        bool octal = false;
        if (field[i] == '\\' && i + 3 < field.size()) {
            const int value = field.mid(i + 1, 3).toInt(&octal, 8);
            if (octal) {
                decoded.append(char(value));
                i += 3;
            }
        }
        if (!octal)
            decoded.append(field[i]);
    }
    return QString::fromLocal8Bit(decoded);
}

} // namespace

MountWatcher::MountWatcher(QObject *parent) : MountEventSource(parent)
{
    m_fd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (m_fd < 0)
        return;
    m_points = mountPoints(readTable());
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Exception, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &MountWatcher::check);
}

MountWatcher::~MountWatcher()
{
    delete m_notifier;
    if (m_fd >= 0)
        ::close(m_fd);
}

QStringList MountWatcher::mountPoints(const QByteArray &mountinfo)
{
    QStringList points;
    for (const QByteArray &line : mountinfo.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() > 4)
            points.append(decodeField(fields[4]));
    }
    points.sort();
    return points;
}

QByteArray MountWatcher::readTable() const
{
    QByteArray table;
    if (::lseek(m_fd, 0, SEEK_SET) < 0)
        return table;
    char chunk[16384];
    ssize_t got = 0;
    while ((got = ::read(m_fd, chunk, sizeof chunk)) > 0)
        table.append(chunk, got);
    return table;
}

void MountWatcher::check()
{
    QStringList points = mountPoints(readTable());
    if (points == m_points)
        return;
    m_points = std::move(points);
    emit mountsChanged();
}

} // namespace tw

#include "FileDatesSupport.h"

#include "creationdates/FileDates.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <sys/xattr.h>

namespace tw::test {

std::optional<QString> fileDatesUnsupportedReason(const QString &directory)
{
    const QString probe = directory + QStringLiteral("/.probe-file-dates");
    const bool supported = writeFile(probe) && FileDates::birthtime(probe) && setRawCrtime(probe, "1");
    QFile::remove(probe);
    if (supported)
        return std::nullopt;
    return directory + QStringLiteral(" reports no birth time or refuses user attributes");
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

std::optional<QByteArray> rawCrtime(const QString &path)
{
    // Long enough for any value the tests write.
    char value[64];
    const ssize_t size = ::getxattr(QFile::encodeName(path).constData(), FileDates::attributeName, value, sizeof value);
    if (size < 0)
        return std::nullopt;
    return QByteArray(value, size);
}

bool setRawCrtime(const QString &path, const QByteArray &value)
{
    return ::setxattr(QFile::encodeName(path).constData(), FileDates::attributeName, value.constData(),
                      value.size(), 0) == 0;
}

bool waitUntil(const std::function<bool()> &condition, std::chrono::milliseconds deadline)
{
    QDeadlineTimer timer(deadline);
    while (!condition()) {
        if (timer.hasExpired())
            return condition();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(10);
    }
    return true;
}

} // namespace tw::test

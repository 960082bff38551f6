#include "FileDatesSupport.h"

#include "creationdates/FileDates.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <sys/xattr.h>

namespace tw::test {

std::optional<QString> fileDatesUnsupportedReason(const QString &directory)
{
    const QString probe = directory + QStringLiteral("/.probe-file-dates");
    if (!writeFile(probe))
        return QStringLiteral("cannot create a file in ") + directory;
    std::optional<QString> reason;
    if (!FileDates::birthtime(probe))
        reason = QStringLiteral("the file system of %1 reports no birth time").arg(directory);
    else if (::setxattr(QFile::encodeName(probe).constData(), "user.probe", "1", 1, 0) != 0)
        reason = QStringLiteral("the file system of %1 refuses user attributes: %2")
                     .arg(directory, QString::fromLocal8Bit(std::strerror(errno)));
    QFile::remove(probe);
    return reason;
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

std::optional<QByteArray> rawCrtime(const QString &path)
{
    const QByteArray file = QFile::encodeName(path);
    const ssize_t size = ::getxattr(file.constData(), FileDates::attributeName, nullptr, 0);
    if (size < 0)
        return std::nullopt;
    QByteArray value(size, Qt::Uninitialized);
    if (::getxattr(file.constData(), FileDates::attributeName, value.data(), value.size()) != size)
        return std::nullopt;
    return value;
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

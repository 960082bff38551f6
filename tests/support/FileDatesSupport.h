#pragma once

#include "WaitUntil.h"
#include "creationdates/FileDates.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <chrono>
#include <optional>
#include <sys/xattr.h>

namespace tw::test {

// Creates (or replaces) a file with the given content; false on failure.
inline bool writeFile(const QString &path, const QByteArray &content = QByteArrayLiteral("x"))
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

// The raw creation-date attribute of a file, or nothing.
inline std::optional<QByteArray> rawCrtime(const QString &path)
{
    // Long enough for any value the tests write.
    char value[64];
    const ssize_t size = ::getxattr(QFile::encodeName(path).constData(), FileDates::attributeName, value, sizeof value);
    if (size < 0)
        return std::nullopt;
    return QByteArray(value, size);
}

inline bool setRawCrtime(const QString &path, const QByteArray &value)
{
    return ::setxattr(QFile::encodeName(path).constData(), FileDates::attributeName, value.constData(),
                      value.size(), 0) == 0;
}

// Whether this directory's file system reports birth times and takes "user."
// attributes, which creation-date tests need.
inline bool fileDatesSupported(const QString &directory)
{
    const QString probe = directory + QStringLiteral("/.probe-file-dates");
    const bool supported = writeFile(probe) && FileDates::birthtime(probe) && setRawCrtime(probe, "1");
    QFile::remove(probe);
    return supported;
}

inline bool waitUntil(const std::function<bool()> &condition, std::chrono::milliseconds deadline)
{
    return tw::waitUntil(condition, int(deadline.count()));
}

} // namespace tw::test

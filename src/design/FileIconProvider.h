#pragma once

#include <QImage>
#include <QString>
#include <optional>
#include <qcoro/qcorotask.h>

namespace tw {

// The icons of files, folders and volumes, read once and kept until a volume
// is mounted or unmounted (`clearCache`). The cache is touched only on the
// main thread; no single entry is ever dropped.
class FileIconProvider
{
public:
    static constexpr int imageSide = 128;

    static std::optional<QImage> cached(const QString &path);

    // Never fails: a path that does not exist gets the generic volume or
    // folder icon, which is then cached under that path like any other.
    static QCoro::Task<QImage> loadAsync(QString path, bool isVolume);

    static void clearCache();
};

} // namespace tw

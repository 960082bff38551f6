#pragma once

#include <QImage>
#include <QPixmap>
#include <QString>
#include <optional>
#include <qcoro/qcorotask.h>

namespace tw {

// The icons of files, folders and volumes, read once and kept until a volume
// is mounted or unmounted (`clearCache`). The cache is touched only on the
// main thread; no single entry is ever dropped.
//
// The probes (a stat and a content sniff, which block on a dead network
// mount) run in a small pool of their own, so a stuck one holds up only
// other icons, never the volume probes, archive walks or sweeps of the
// global pool. Paths whose icon is the same share one render and one image.
class FileIconProvider
{
public:
    static constexpr int imageSide = 128;

    static std::optional<QImage> cached(const QString &path);

    // Never fails: a path that does not exist gets the generic volume or
    // folder icon, which is then cached under that path like any other.
    static QCoro::Task<QImage> loadAsync(QString path, bool isVolume);

    static void clearCache();

    // The image fitted into side × side logical pixels at that pixel ratio,
    // made once per image and size: the icons of a long list share it
    // rather than each scaling 128 pixels down on every paint.
    static QPixmap fitted(const QImage &image, int side, qreal devicePixelRatio);

    // What the provider has done since the process started: stats and
    // content sniffs off the main thread, and renders on it. For tests and
    // benchmarks.
    struct Counts
    {
        int probes = 0;
        int renders = 0;
    };
    static Counts counts();
};

} // namespace tw

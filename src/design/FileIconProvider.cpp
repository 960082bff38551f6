#include "design/FileIconProvider.h"

#include "design/Symbol.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>
#include <QIcon>
#include <QMimeDatabase>
#include <QStringList>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <qcoro/qcorofuture.h>
#include <utility>

namespace tw {

namespace {

QHash<QString, QImage> &cache()
{
    static QHash<QString, QImage> images;
    return images;
}

FileIconProvider::Counts &counters()
{
    static FileIconProvider::Counts counts;
    return counts;
}

// Enough for a list of folders to fill in quickly; few enough that a dead
// mount's stuck stats cost little.
constexpr int kProbeThreads = 4;

// The pool lives from the first probe until the application object goes. A
// pool that outlived main() would let its threads sniff on inside
// QMimeDatabase while the exit handlers destroy Qt's globals under them.
QThreadPool *g_probes = nullptr;

// Runs while the application object is destroyed, before the exit handlers:
// probes not yet started are dropped, since no icon will be shown any more,
// and those under way are waited for.
void stopProbes()
{
    g_probes->clear();
    g_probes->waitForDone();
    delete std::exchange(g_probes, nullptr);
}

QThreadPool &probePool()
{
    if (!g_probes) {
        g_probes = new QThreadPool;
        g_probes->setMaxThreadCount(kProbeThreads);
        g_probes->setObjectName(QStringLiteral("FileIconProbes"));
        qAddPostRoutine(stopProbes);
    }
    return *g_probes;
}

// What a file's icon is made of, worked out without touching QIcon: its theme
// names, most specific first, and the drawn symbol used when the theme has
// none of them.
struct IconChoice
{
    QStringList themeNames;
    Symbol fallback = Symbol::Folder;

    // The key of the shared render.
    QString key() const { return themeNames.join(QLatin1Char('|')) + QLatin1Char('#') + QString::number(int(fallback)); }
};

QHash<QString, QImage> &renders()
{
    static QHash<QString, QImage> images;
    return images;
}

QHash<QString, QPixmap> &fittedPixmaps()
{
    static QHash<QString, QPixmap> pixmaps;
    return pixmaps;
}

// Runs on a pool thread: the stat and the content sniffing may block on a
// slow or sleeping disk, and QMimeDatabase is thread-safe.
IconChoice chooseIcon(const QString &path, bool isVolume)
{
    IconChoice choice;
    choice.fallback = isVolume ? Symbol::Drive : Symbol::Folder;
    if (isVolume)
        choice.themeNames << symbolThemeName(Symbol::Drive);
    if (QFileInfo::exists(path)) {
        const QMimeType type = QMimeDatabase().mimeTypeForFile(path);
        choice.themeNames << type.iconName() << type.genericIconName();
    }
    choice.themeNames << symbolThemeName(choice.fallback);
    choice.themeNames.removeDuplicates();
    return choice;
}

// Runs on the main thread: QIcon's theme lookup and QPixmap belong to the GUI
// thread, so only the choice above is made off it. The theme lookup itself
// is cached by Qt and cheap after its first use.
QImage render(const IconChoice &choice)
{
    ++counters().renders;
    QIcon icon = symbolIcon(choice.fallback);
    for (auto name = choice.themeNames.crbegin(); name != choice.themeNames.crend(); ++name)
        icon = QIcon::fromTheme(*name, icon);
    const QSize side(FileIconProvider::imageSide, FileIconProvider::imageSide);
    return icon.pixmap(side).toImage();
}

} // namespace

std::optional<QImage> FileIconProvider::cached(const QString &path)
{
    const auto found = cache().constFind(path);
    if (found == cache().constEnd())
        return std::nullopt;
    return *found;
}

QCoro::Task<QImage> FileIconProvider::loadAsync(QString path, bool isVolume)
{
    if (std::optional<QImage> image = cached(path))
        co_return *image;
    ++counters().probes;
    const IconChoice choice = co_await QtConcurrent::run(&probePool(), &chooseIcon, path, isVolume);
    QImage &shared = renders()[choice.key()];
    if (shared.isNull())
        shared = render(choice);
    const QImage image = shared;
    // Two views asking for one path at once both get here; the last one
    // stored wins, and both images are the same anyway.
    cache().insert(path, image);
    co_return image;
}

void FileIconProvider::clearCache()
{
    cache().clear();
    renders().clear();
    fittedPixmaps().clear();
}

QPixmap FileIconProvider::fitted(const QImage &image, int side, qreal devicePixelRatio)
{
    // Copies of one image share its cache key.
    const QString key = QStringLiteral("%1/%2/%3").arg(image.cacheKey()).arg(side).arg(devicePixelRatio);
    QPixmap &pixmap = fittedPixmaps()[key];
    if (pixmap.isNull()) {
        const int pixels = qRound(side * devicePixelRatio);
        pixmap = QPixmap::fromImage(
            image.scaled(pixels, pixels, Qt::KeepAspectRatio, Qt::SmoothTransformation));
        pixmap.setDevicePixelRatio(devicePixelRatio);
    }
    return pixmap;
}

FileIconProvider::Counts FileIconProvider::counts()
{
    return counters();
}

} // namespace tw

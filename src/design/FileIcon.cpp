#include "design/FileIcon.h"

#include "design/FileIconProvider.h"
#include "design/Symbol.h"

#include <QHash>
#include <QPainter>
#include <QTimer>

namespace tw {

FileIcon::FileIcon(QString path, bool isVolume, int size, QWidget *parent)
    : QWidget(parent)
    , m_path(std::move(path))
    , m_isVolume(isVolume)
    , m_size(size)
{
    setFixedSize(size, size);
}

void FileIcon::setPath(const QString &path, bool isVolume)
{
    if (path == m_path && isVolume == m_isVolume)
        return;
    m_path = path;
    m_isVolume = isVolume;
    m_image.reset();
    ++m_generation;
    m_loadStarted = false;
    if (isVisible())
        startLoading();
    update();
}

QSize FileIcon::sizeHint() const
{
    return {m_size, m_size};
}

void FileIcon::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_loadStarted)
        startLoading();
}

void FileIcon::startLoading()
{
    m_loadStarted = true;
    if (std::optional<QImage> image = FileIconProvider::cached(m_path)) {
        m_image = std::move(image);
        return;
    }
    // Started in a turn of its own, not within the show of a whole list.
    QTimer::singleShot(0, this, [this, generation = m_generation] {
        if (generation == m_generation)
            load(QPointer<FileIcon>(this), m_path, m_isVolume, m_generation);
    });
}

QCoro::Task<> FileIcon::load(QPointer<FileIcon> self, QString path, bool isVolume, quint64 generation)
{
    try {
        QImage image = co_await FileIconProvider::loadAsync(path, isVolume);
        if (!self || self->m_generation != generation)
            co_return;
        self->m_image = std::move(image);
        self->update();
    } catch (...) {
        // Icon production does not fail; a placeholder is the worst outcome.
    }
}

void FileIcon::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!m_image) {
        paintPlaceholder(painter);
        return;
    }
    const QPixmap fitted = FileIconProvider::fitted(*m_image, m_size, devicePixelRatioF());
    QRectF target(QPointF(0, 0), fitted.deviceIndependentSize());
    target.moveCenter(QRectF(rect()).center());
    painter.drawPixmap(target.topLeft(), fitted);
}

// The volume or folder symbol in the secondary text colour, inset by 12 % of
// the square on every side.
void FileIcon::paintPlaceholder(QPainter &painter) const
{
    const int inset = qRound(0.12 * m_size);
    const int side = m_size - 2 * inset;
    if (side <= 0)
        return;
    QColor secondary = palette().color(QPalette::WindowText);
    secondary.setAlphaF(0.5f);
    const Symbol symbol = m_isVolume ? Symbol::Drive : Symbol::Folder;
    painter.drawPixmap(inset, inset, placeholder(symbol, side, secondary, devicePixelRatioF()));
}

// A list shows many placeholders of one look at once: each look is drawn
// once.
QPixmap FileIcon::placeholder(Symbol symbol, int side, const QColor &color, qreal devicePixelRatio)
{
    static QHash<QString, QPixmap> drawn;
    const QString key =
        QStringLiteral("%1/%2/%3/%4").arg(int(symbol)).arg(side).arg(color.rgba()).arg(devicePixelRatio);
    QPixmap &pixmap = drawn[key];
    if (pixmap.isNull())
        pixmap = tintedSymbol(symbol, side, color, devicePixelRatio);
    return pixmap;
}

} // namespace tw

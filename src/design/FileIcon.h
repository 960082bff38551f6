#pragma once

#include "design/Symbol.h"

#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <optional>
#include <qcoro/qcorotask.h>

namespace tw {

// The icon of a file, folder or volume in a size × size square. It shows a
// placeholder symbol at once and swaps in the real icon when it arrives, so
// long lists never wait for the disk.
class FileIcon : public QWidget
{
    Q_OBJECT

public:
    FileIcon(QString path, bool isVolume, int size, QWidget *parent = nullptr);

    QString path() const { return m_path; }
    void setPath(const QString &path, bool isVolume);
    bool hasImage() const { return m_image.has_value(); }

    QSize sizeHint() const override;

protected:
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void startLoading();
    static QCoro::Task<> load(QPointer<FileIcon> self, QString path, bool isVolume, quint64 generation);
    void paintPlaceholder(QPainter &painter) const;
    static QPixmap placeholder(Symbol symbol, int side, const QColor &color, qreal devicePixelRatio);

    QString m_path;
    bool m_isVolume;
    int m_size;
    std::optional<QImage> m_image;
    bool m_loadStarted = false;
    // A load whose path has since changed drops its result.
    quint64 m_generation = 0;
};

} // namespace tw

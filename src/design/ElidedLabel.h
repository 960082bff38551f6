#pragma once

#include <QLabel>

namespace tw {

// A one-line label that shortens its text in the middle when it does not
// fit (device IDs, whose ends are what people compare). fullText() is the
// whole text, whatever is drawn.
class ElidedLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ElidedLabel(QWidget *parent = nullptr);

    const QString &fullText() const { return m_fullText; }
    void setFullText(const QString &text);

    // Wide enough for the whole text; content with less.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void elide();

    QString m_fullText;
};

} // namespace tw

#pragma once

#include <QLabel>

namespace tw {

// A one-line label that shortens its text with "…" when it does not fit:
// at the end for names, in the middle for device IDs and paths, whose ends
// are what people compare. fullText() is the whole text, whatever is drawn.
class ElidedLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ElidedLabel(Qt::TextElideMode mode = Qt::ElideMiddle, QWidget *parent = nullptr);

    const QString &fullText() const { return m_fullText; }
    // Does nothing when the text is the same.
    void setFullText(const QString &text);

    // Wide enough for the whole text; content with less.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    // A new font (the style's, the application's) measures the text anew.
    void changeEvent(QEvent *event) override;

private:
    void elide();

    QString m_fullText;
    Qt::TextElideMode m_mode;
};

} // namespace tw

#pragma once

#include <QLabel>

namespace tw {

// A one-line label that shortens its text with "…" when it does not fit:
// at the end for names, in the middle for device IDs and paths, whose ends
// are what people compare. The text is drawn on one line (oneLineText).
// fullText() is the whole text as given, whatever is drawn; text() is what
// is drawn.
class ElidedLabel : public QLabel
{
    Q_OBJECT
    Q_PROPERTY(QString fullText READ fullText)

public:
    explicit ElidedLabel(Qt::TextElideMode mode = Qt::ElideMiddle, QWidget *parent = nullptr);

    const QString &fullText() const { return m_fullText; }
    // Does nothing when the text is the same.
    void setFullText(const QString &text);

    // Wide enough for the whole text; content with less, down to a short
    // name's whole width or a long one's first letters.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    // A new font (the style's, the application's) measures the text anew.
    void changeEvent(QEvent *event) override;

private:
    void elide();
    int horizontalFrame() const;

    QString m_fullText;
    Qt::TextElideMode m_mode;
};

} // namespace tw

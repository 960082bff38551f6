#pragma once

#include <QTextEdit>

namespace tw {

// A command or other code to read and select, wrapped to its width: at the
// spaces where it has them, anywhere inside a word longer than the line.
// It is as tall as its wrapped text at the width its layout gives it and
// never scrolls: a label wraps only at spaces, and one that did not wrap
// at all was cut where its block ended. Plain text; text() is what was set.
class CodeBlockText : public QTextEdit
{
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText)

public:
    explicit CodeBlockText(QWidget *parent = nullptr);

    QString text() const { return toPlainText(); }
    // Does nothing when the text is the same.
    void setText(const QString &text);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    // The page around it scrolls, not this.
    void wheelEvent(QWheelEvent *event) override;
};

} // namespace tw

#include "design/CodeBlockText.h"

#include <QTextDocument>
#include <QWheelEvent>
#include <cmath>
#include <memory>

namespace tw {

CodeBlockText::CodeBlockText(QWidget *parent) : QTextEdit(parent)
{
    setReadOnly(true);
    setAcceptRichText(false);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setFrameShape(QFrame::NoFrame);
    setLineWrapMode(QTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    document()->setDocumentMargin(0);
    // Drawn on its block's background.
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void CodeBlockText::setText(const QString &text)
{
    if (text == toPlainText())
        return;
    setPlainText(text);
    updateGeometry();
}

int CodeBlockText::heightForWidth(int width) const
{
    const std::unique_ptr<QTextDocument> laidOut(document()->clone());
    laidOut->setDefaultFont(font());
    laidOut->setTextWidth(std::max(1, width - 2 * frameWidth()));
    return int(std::ceil(laidOut->size().height())) + 2 * frameWidth();
}

QSize CodeBlockText::sizeHint() const
{
    // As wide as a line of a typical command; as high as the text there.
    const int width = fontMetrics().averageCharWidth() * 60;
    return {width, heightForWidth(width)};
}

QSize CodeBlockText::minimumSizeHint() const
{
    return {fontMetrics().averageCharWidth() * 10, fontMetrics().height()};
}

void CodeBlockText::resizeEvent(QResizeEvent *event)
{
    QTextEdit::resizeEvent(event);
    // A new width wraps the text anew, to another height.
    if (heightForWidth(width()) != height())
        updateGeometry();
}

void CodeBlockText::wheelEvent(QWheelEvent *event)
{
    event->ignore();
}

} // namespace tw

#include "design/WrappingLabel.h"

#include "design/ElidedLine.h"
#include "design/OneLineText.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

namespace tw {
namespace {

constexpr QTextOption::WrapMode kWrap = QTextOption::WrapAtWordBoundaryOrAnywhere;
// More letters than a file name may hold: no word anyone reads whole.
constexpr qsizetype kOverlongWord = 255;

// The text with each overlong word shortened in its middle with "…" to one
// line of the width. A name of thousands of letters, from a teammate's
// record or a link, wrapped whole made its sheet taller than the screen,
// the sheet's buttons below the screen's edge; shorter long words (names,
// paths, IDs) still wrap whole.
QString shortenedOverlongWords(const QString &text, const QFont &font, qreal width)
{
    QString shown;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !text[i].isSpace())
            continue;
        const QString word = text.mid(start, i - start);
        shown += word.size() > kOverlongWord ? QFontMetricsF(font).elidedText(word, Qt::ElideMiddle, width) : word;
        if (i < text.size())
            shown += text[i];
        start = i + 1;
    }
    return shown;
}

} // namespace

WrappingLabel::WrappingLabel(const QString &text, QWidget *parent) : QLabel(parent)
{
    // Most texts come from elsewhere: shown as typed unless told otherwise.
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
    setText(text);
}

bool WrappingLabel::isRich() const
{
    return textFormat() == Qt::RichText || textFormat() == Qt::MarkdownText
           || (textFormat() == Qt::AutoText && Qt::mightBeRichText(text()));
}

void WrappingLabel::setMarkdown(const QString &markdown)
{
    setTextFormat(Qt::MarkdownText);
    setText(markdown);
}

void WrappingLabel::fillFormatted(QTextDocument &document) const
{
    if (textFormat() == Qt::MarkdownText)
        document.setMarkdown(text());
    else
        document.setHtml(text());
}

void WrappingLabel::setLines(const QStringList &lines)
{
    QStringList oneLine;
    for (const QString &line : lines)
        oneLine.append(oneLineText(line));
    m_lines = oneLine.join(QLatin1Char('\n'));
    setText(m_lines);
}

// QLabel::setText is no virtual function: whoever sets the text, it is
// read here as it is drawn.
QStringList WrappingLabel::shownLines() const
{
    if (isRich())
        return {text()};
    if (!m_lines.isNull() && text() == m_lines)
        return m_lines.split(QLatin1Char('\n'));
    return {oneLineText(text())};
}

QString WrappingLabel::shownText() const
{
    return shownLines().join(QLatin1Char('\n'));
}

int WrappingLabel::horizontalFrame() const
{
    const QMargins margins = contentsMargins();
    const bool indented = indent() > 0 && (alignment() & (Qt::AlignLeft | Qt::AlignRight));
    return margins.left() + margins.right() + 2 * margin() + (indented ? indent() : 0);
}

int WrappingLabel::oneLineWidth() const
{
    int width = 0;
    if (isRich()) {
        QTextDocument document;
        document.setDefaultFont(font());
        document.setDocumentMargin(0);
        fillFormatted(document);
        width = int(std::ceil(document.idealWidth()));
    } else {
        const QFontMetrics metrics = fontMetrics();
        for (const QString &line : shownLines())
            width = std::max(width, metrics.horizontalAdvance(line));
    }
    const QMargins margins = contentsMargins();
    return width + margins.left() + margins.right() + 2 * margin() + 1;
}

int WrappingLabel::leastWidth() const
{
    QString shown = shownText();
    if (isRich()) {
        QTextDocument document;
        fillFormatted(document);
        shown = document.toPlainText();
    }
    int least = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= shown.size(); ++i)
        if (i == shown.size() || shown[i].isSpace()) {
            if (i > start)
                least = std::max(least, leastOneLineWidth(shown.mid(start, i - start), font()));
            start = i + 1;
        }
    return least;
}

QSize WrappingLabel::sizeHint() const
{
    const int width = std::min(std::max(oneLineWidth(), minimumSizeHint().width()), maximumWidth());
    return {width, heightForWidth(width)};
}

QSize WrappingLabel::minimumSizeHint() const
{
    // QLabel's own height counts the lines of the text as set: one a shown
    // line, laid out as wide as the label may be.
    return {leastWidth() + horizontalFrame(),
            std::min(QLabel::minimumSizeHint().height(), heightForWidth(QWIDGETSIZE_MAX))};
}

int WrappingLabel::heightForWidth(int width) const
{
    width = std::min(width, maximumWidth());
    if (!drawsItself()) {
        wrapLabelDocument();
        return QLabel::heightForWidth(width);
    }
    QTextLayout layout;
    const qreal textHeight = layOut(layout, std::max(1, width - horizontalFrame()));
    const QMargins margins = contentsMargins();
    return std::max(int(std::ceil(textHeight)) + margins.top() + margins.bottom() + 2 * margin(), minimumHeight());
}

// QLabel draws plain text wrapped at spaces only, and keeps a document of
// its own for rich text, text to select and a mnemonic.
bool WrappingLabel::drawsItself() const
{
    return !text().isEmpty() && !labelDocument() && !(buddy() && text().contains(QLatin1Char('&')));
}

QTextDocument *WrappingLabel::labelDocument() const
{
    return findChild<QTextDocument *>();
}

void WrappingLabel::wrapLabelDocument() const
{
    QTextDocument *document = labelDocument();
    if (!document)
        return;
    // QLabel sets the document to wrap at spaces each time it lays it out
    // anew (after a change of text, font or size). Laid out now, it stays
    // as set here until the next change.
    QLabel::heightForWidth(width());
    // Selectable plain text is drawn from the document, filled with the
    // text as set: it shows the lines as this label draws them.
    const QString shown = shortenedOverlongWords(shownText(), font(), contentsRect().width() - horizontalFrame());
    if (!isRich() && document->toPlainText() != shown) {
        // In place: a new plain text would put back the margins QLabel took
        // off the document.
        QTextCursor all(document);
        all.select(QTextCursor::Document);
        all.insertText(shown);
    }
    QTextOption option = document->defaultTextOption();
    if (option.wrapMode() == kWrap)
        return;
    option.setWrapMode(kWrap);
    document->setDefaultTextOption(option);
}

// Lines placed as QPainter places those of a wrapped text; answers their
// height.
qreal WrappingLabel::layOut(QTextLayout &layout, qreal width) const
{
    QString shown = shortenedOverlongWords(shownText(), font(), width);
    shown.replace(QLatin1Char('\n'), QChar::LineSeparator);
    layout.setText(shown);
    layout.setFont(font());
    QTextOption option(QStyle::visualAlignment(layoutDirection(), alignment()) & Qt::AlignHorizontal_Mask);
    option.setWrapMode(kWrap);
    layout.setTextOption(option);
    const qreal leading = QFontMetricsF(font()).leading();
    qreal height = -leading;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        height = std::ceil(height + leading);
        line.setPosition({0, height});
        height += line.height();
    }
    layout.endLayout();
    return std::max<qreal>(height, 0);
}

void WrappingLabel::paintEvent(QPaintEvent *event)
{
    if (!drawsItself()) {
        wrapLabelDocument();
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    drawFrame(&painter);
    QRect area = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    if (indent() > 0 && (alignment() & Qt::AlignRight))
        area.setRight(area.right() - indent());
    else if (indent() > 0 && (alignment() & Qt::AlignLeft))
        area.setLeft(area.left() + indent());
    QTextLayout layout;
    const qreal height = layOut(layout, area.width());
    const Qt::Alignment vertical = alignment() & Qt::AlignVertical_Mask;
    const qreal room = std::max<qreal>(area.height() - height, 0);
    const qreal top = vertical == Qt::AlignBottom ? room : vertical == Qt::AlignTop ? 0 : room / 2;
    QStyleOption style;
    style.initFrom(this);
    painter.setPen(style.palette.color(foregroundRole()));
    layout.draw(&painter, QPointF(area.left(), area.top() + top));
}

} // namespace tw

#pragma once

#include <QLabel>

class QTextDocument;
class QTextLayout;

namespace tw {

// A label whose text wraps, and whose height follows the width it will
// get in any layout. A plain word-wrapped QLabel is asked its height for
// the layout's whole width but, aligned in a column or held to a maximum
// width, gets a narrower one (its size hint is a "pleasing" width, often a
// half or a quarter of the room), so its last lines are cut. This one
// prefers the width of its text on one line, up to its maximum width, and
// answers heights for widths no wider than that maximum. Plain text unless
// told otherwise.
//
// It wraps at spaces and, where a word is longer than its line (a name, a
// path or an ID from elsewhere), inside the word: QLabel wraps only at
// spaces, so such a word made its sheet wider than it was set or was cut
// where the label ended. A word of more letters than a file name may hold
// (thousands, from a record or a link) is shortened in its middle with "…"
// to one line: wrapped whole, it made its sheet taller than the screen.
// Plain text is drawn by the label itself; the
// document QLabel keeps for rich or selectable text is told to wrap so too.
//
// Plain text is running text: a line break, line or paragraph separator or
// other control character in it shows as a space (oneLineText), wherever
// the text came from. Sentences here carry names from links, peers and
// disks, and a name holding a break would start a line that reads as the
// screen's own. A text of several lines gives them with setLines. The
// screens' own texts with emphasis come as Markdown through setMarkdown,
// and rich text as the screens' own markup with outside names escaped into
// it; both are drawn formatted, as written.
class WrappingLabel : public QLabel
{
    Q_OBJECT
    // The lines it draws before wrapping; one for a plain text set with
    // setText.
    Q_PROPERTY(QStringList shownLines READ shownLines)

public:
    explicit WrappingLabel(const QString &text = QString(), QWidget *parent = nullptr);

    // Each line begins a line of its own; breaks within a line show as
    // spaces. text() is the lines joined with line feeds.
    void setLines(const QStringList &lines);
    // The product's own text, bold and italic marked as in Markdown; never
    // a text that carries anything from elsewhere, which is plain (setText).
    void setMarkdown(const QString &markdown);
    QStringList shownLines() const;

    QSize sizeHint() const override;
    // As narrow as its widest word, or a few letters of a longer one.
    QSize minimumSizeHint() const override;
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool isRich() const;
    // The rich or Markdown text as drawn.
    void fillFormatted(QTextDocument &document) const;
    QString shownText() const;
    int oneLineWidth() const;
    int leastWidth() const;
    int horizontalFrame() const;
    bool drawsItself() const;
    QTextDocument *labelDocument() const;
    void wrapLabelDocument() const;
    qreal layOut(QTextLayout &layout, qreal width) const;

    // The text setLines gave, while the label still holds it.
    QString m_lines;
};

} // namespace tw

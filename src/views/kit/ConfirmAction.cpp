#include "views/kit/ConfirmAction.h"

#include "design/ButtonTint.h"
#include "design/OneLineText.h"
#include "views/kit/LiteralText.h"
#include "views/kit/PanelTexts.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTextBoundaryFinder>

namespace tw {
namespace {

// Words longer than this are names, paths or IDs rather than words of a
// sentence.
constexpr qsizetype kLongWord = 24;
// The widest a word of a box's text is shown, in pixels: narrower than the
// line Qt gives a box's text on any screen it opens on, with room for a
// style that draws the main text larger.
constexpr int kWidestWord = 360;

// The text with each long word shortened in its middle with "…" where it is
// wider than a line, and a zero-width space between the letters of each
// long word. A box's labels wrap only at spaces: a long name or path
// without one made the box as wide as the screen allowed and was cut at its
// edge, and a name of thousands of letters broken over lines made it taller
// than the screen, its buttons below the screen's edge.
QString breakableLongWords(const QString &text, const QFontMetrics &metrics)
{
    QString broken;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !text[i].isSpace())
            continue;
        QString word = text.mid(start, i - start);
        if (word.size() > kLongWord) {
            word = metrics.elidedText(word, Qt::ElideMiddle, kWidestWord);
            QTextBoundaryFinder letters(QTextBoundaryFinder::Grapheme, word);
            qsizetype from = 0;
            for (qsizetype to = letters.toNextBoundary(); to > 0; to = letters.toNextBoundary()) {
                if (from > 0)
                    broken += QChar(0x200B);
                broken += word.mid(from, to - from);
                from = to;
            }
        } else {
            broken += word;
        }
        if (i < text.size())
            broken += text[i];
        start = i + 1;
    }
    return broken;
}

} // namespace

void setPlainTexts(QMessageBox &box, const QString &text, const QString &informative)
{
    box.setTextFormat(Qt::PlainText);
    const QFontMetrics metrics(box.font());
    box.setText(breakableLongWords(oneLineText(text), metrics));
    box.setInformativeText(breakableLongWords(oneLineText(informative), metrics));
    if (auto *label = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel")))
        label->setTextFormat(Qt::PlainText);
}

QMessageBox *confirmAction(QWidget &parent, const QString &title, const QString &message, const QString &action,
                           bool destructive, std::function<void()> confirmed, std::function<void()> ended)
{
    auto *box = new QMessageBox(&parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->setWindowTitle(literalWindowTitle(title));
    setPlainTexts(*box, title, message);
    if (destructive)
        box->setIcon(QMessageBox::Warning);
    QPushButton *confirm = box->addButton(action, destructive ? QMessageBox::DestructiveRole : QMessageBox::AcceptRole);
    confirm->setObjectName(QStringLiteral("confirm"));
    if (destructive)
        TintedButtonPainter::apply(*confirm, ButtonTint::Destructive);
    QPushButton *cancel = box->addButton(texts::cancel, QMessageBox::RejectRole);
    cancel->setObjectName(QStringLiteral("cancel"));
    // Return never destroys anything by itself.
    box->setDefaultButton(destructive ? cancel : confirm);
    box->setEscapeButton(cancel);
    QObject::connect(box, &QMessageBox::buttonClicked, box, [confirm, confirmed](QAbstractButton *pressed) {
        if (pressed == confirm && confirmed)
            confirmed();
    });
    QObject::connect(box, &QDialog::finished, box, [ended](int) {
        if (ended)
            ended();
    });
    box->open();
    return box;
}

} // namespace tw

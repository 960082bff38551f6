#include "views/kit/ConfirmAction.h"

#include "design/ButtonTint.h"
#include "design/OneLineText.h"
#include "views/kit/LiteralText.h"
#include "views/kit/PanelTexts.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace tw {

void setPlainTexts(QMessageBox &box, const QString &text, const QString &informative)
{
    box.setTextFormat(Qt::PlainText);
    box.setText(oneLineText(text));
    box.setInformativeText(informative);
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

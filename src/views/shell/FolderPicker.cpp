#include "views/shell/FolderPicker.h"

#include <QFileDialog>
#include <QPointer>
#include <qcoro/qcorosignal.h>

namespace tw {

QCoro::Task<std::optional<QString>> FolderPicker::pickFolder(QWidget *parent)
{
    QPointer<QFileDialog> dialog = new QFileDialog(parent, title);
    dialog->setAttribute(Qt::WA_DeleteOnClose, false);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setLabelText(QFileDialog::Accept, acceptLabel);
    dialog->open();
    const int result = co_await qCoro(dialog.data(), &QDialog::finished);
    if (!dialog)
        co_return std::nullopt;
    const QStringList chosen = dialog->selectedFiles();
    dialog->deleteLater();
    if (result != QDialog::Accepted || chosen.isEmpty())
        co_return std::nullopt;
    co_return chosen.first();
}

} // namespace tw

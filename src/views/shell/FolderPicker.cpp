#include "views/shell/FolderPicker.h"

#include <QDir>
#include <QFileDialog>
#include <QPointer>
#include <qcoro/qcorosignal.h>

namespace tw {
namespace {

// Where the last choice was made in this run. Qt's own fallback is the
// process's working directory, which means nothing to the user.
QString &lastDirectory()
{
    static QString directory;
    return directory;
}

QString startDirectory()
{
    const QString &last = lastDirectory();
    return !last.isEmpty() && QDir(last).exists() ? last : QDir::homePath();
}

} // namespace

QCoro::Task<std::optional<QString>> FolderPicker::pickFolder(QWidget *parent)
{
    QPointer<QFileDialog> dialog = new QFileDialog(parent, title, startDirectory());
    dialog->setAttribute(Qt::WA_DeleteOnClose, false);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setLabelText(QFileDialog::Accept, acceptLabel);
    dialog->open();
    const int result = co_await qCoro(dialog.data(), &QDialog::finished);
    if (!dialog)
        co_return std::nullopt;
    const QStringList chosen = dialog->selectedFiles();
    const QString browsed = dialog->directory().absolutePath();
    dialog->deleteLater();
    if (result != QDialog::Accepted || chosen.isEmpty())
        co_return std::nullopt;
    lastDirectory() = browsed;
    co_return chosen.first();
}

} // namespace tw

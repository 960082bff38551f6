#include "views/shell/FolderPicker.h"

#include "AwaitTask.h"
#include "QtPrinters.h"

#include <QDir>
#include <QFileDialog>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(FolderPickerTest, AsksForOneDirectoryWithoutBlockingAndAnswersTheChoice)
{
    QTemporaryDir dir;
    const QString chosen = QDir(dir.path()).filePath("Photos 2024");
    ASSERT_TRUE(QDir().mkpath(chosen));
    QWidget parent;
    parent.show();

    for (const bool accept : {true, false}) {
        QCoro::Task<std::optional<QString>> picking = FolderPicker::pickFolder(&parent);
        // Control is back here while the dialog is up: it was opened, not run.
        QFileDialog *dialog = parent.findChild<QFileDialog *>();
        ASSERT_TRUE(dialog);
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(dialog->windowTitle(), "Choose a folder or drive to sync");
        EXPECT_EQ(dialog->labelText(QFileDialog::Accept), "Choose");
        EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
        EXPECT_TRUE(dialog->testOption(QFileDialog::ShowDirsOnly));
        EXPECT_FALSE(dialog->testOption(QFileDialog::ReadOnly)) << "folders cannot be made";
        // First the home folder, not the working directory; then where the
        // last choice was made.
        EXPECT_EQ(dialog->directory().absolutePath(), accept ? QDir::homePath() : chosen);
        dialog->setDirectory(chosen);
        QDialog *asked = dialog;
        if (accept)
            asked->accept();
        else
            asked->reject();
        const std::optional<QString> answer = awaitTask(std::move(picking));
        EXPECT_EQ(answer, accept ? std::optional<QString>(chosen) : std::nullopt);
        delete dialog;
    }
}

} // namespace
} // namespace tw

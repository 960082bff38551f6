#include "views/CopyPlainText.h"

#include <QClipboard>
#include <QGuiApplication>

namespace tw {

void copyPlainText(const QString &text)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
}

} // namespace tw

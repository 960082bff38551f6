#include "views/kit/CopyPlainText.h"

#include <QClipboard>
#include <QGuiApplication>

namespace tw {

void copyPlainText(const QString &text)
{
    // setText() replaces the clipboard's whole content with a single
    // text/plain item: nothing of the previous content survives beside it.
    QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
}

} // namespace tw

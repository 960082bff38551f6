#include "views/kit/PlainTextEditor.h"

#include <QPlainTextEdit>

namespace tw {

QPlainTextEdit *plainTextEditor(const QString &objectName)
{
    auto *editor = new QPlainTextEdit;
    editor->setObjectName(objectName);
    editor->setTabChangesFocus(true);
    return editor;
}

} // namespace tw

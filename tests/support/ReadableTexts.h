#pragma once

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QStringList>
#include <QWidget>

namespace tw {

// Every text a person or an assistive tool could read off a widget and its
// children: titles, tips, accessible names, labels, buttons, and what fields
// hold as shown (a password field's own text is never shown).
inline QStringList readableTexts(QWidget &root)
{
    QStringList texts;
    QList<QWidget *> widgets = root.findChildren<QWidget *>();
    widgets.append(&root);
    for (QWidget *widget : widgets) {
        texts << widget->windowTitle() << widget->toolTip() << widget->statusTip() << widget->whatsThis()
              << widget->accessibleName() << widget->accessibleDescription();
        if (auto *text = qobject_cast<QLabel *>(widget))
            texts << text->text();
        if (auto *field = qobject_cast<QLineEdit *>(widget)) {
            texts << field->placeholderText();
            if (field->echoMode() == QLineEdit::Normal)
                texts << field->text();
        }
        if (auto *action = qobject_cast<QAbstractButton *>(widget))
            texts << action->text();
    }
    return texts;
}

} // namespace tw

#include "views/kit/MessageRow.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <algorithm>

namespace tw {

MessageRow::MessageRow(QLabel *message, QWidget *parent)
    : QWidget(parent), m_message(message), m_row(new QHBoxLayout(this))
{
    m_row->setContentsMargins(0, 0, 0, 0);
    m_message->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // The message takes the room between the buttons; while it is hidden the
    // stretch keeps the buttons where they were.
    m_row->addWidget(m_message, 1);
    m_row->addStretch();
    m_message->hide();
}

void MessageRow::addBefore(QWidget *button)
{
    m_row->insertWidget(m_before++, button, 0, Qt::AlignTop);
    levelWithButtons();
}

void MessageRow::addAfter(QWidget *button)
{
    m_row->addWidget(button, 0, Qt::AlignTop);
    levelWithButtons();
}

void MessageRow::showMessage(const std::optional<QString> &message)
{
    levelWithButtons();
    m_message->setText(message.value_or(QString()));
    m_message->setVisible(message.has_value());
}

void MessageRow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        levelWithButtons();
}

// The first line centred on the tallest button, so a one-line message makes
// the row no taller.
void MessageRow::levelWithButtons()
{
    int buttons = 0;
    for (int i = 0; i < m_row->count(); ++i) {
        QWidget *widget = m_row->itemAt(i)->widget();
        if (widget && widget != m_message)
            buttons = std::max(buttons, widget->sizeHint().height());
    }
    const int line = m_message->fontMetrics().height();
    const int inset = std::max(0, (buttons - line) / 2);
    if (m_message->contentsMargins().top() != inset)
        m_message->setContentsMargins(0, inset, 0, 0);
}

} // namespace tw

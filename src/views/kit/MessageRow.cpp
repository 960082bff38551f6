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
    keepRoomWhenHidden();
}

void MessageRow::addBefore(QWidget *button)
{
    m_row->insertWidget(m_before++, button, 0, Qt::AlignTop);
    levelWithButtons();
    keepRoomWhenHidden();
}

void MessageRow::addAfter(QWidget *button)
{
    m_row->addWidget(button, 0, Qt::AlignTop);
    levelWithButtons();
    keepRoomWhenHidden();
}

void MessageRow::reserveLines(int lines)
{
    m_reservedLines = lines;
    levelWithButtons();
}

void MessageRow::showMessage(const std::optional<QString> &message)
{
    levelWithButtons();
    // Hidden, the last message's text still sizes the room kept for it.
    if (message || hasButtons())
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
    if (m_reservedLines > 0)
        m_message->setMinimumHeight(inset + line + (m_reservedLines - 1) * m_message->fontMetrics().lineSpacing());
}

bool MessageRow::hasButtons() const
{
    // The message and the stretch after it are there from the start.
    return m_row->count() > 2;
}

void MessageRow::keepRoomWhenHidden()
{
    QSizePolicy policy = m_message->sizePolicy();
    policy.setRetainSizeWhenHidden(!hasButtons());
    m_message->setSizePolicy(policy);
}

} // namespace tw

#include "views/kit/PlainLabel.h"

#include <QLabel>

namespace tw {

QLabel *plainLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QLabel *plainLabel(QWidget *parent)
{
    return plainLabel(QString(), parent);
}

} // namespace tw

#include "views/kit/FormSection.h"

#include "views/kit/LiteralAmpersands.h"
#include "views/kit/PlainLabel.h"
#include "views/kit/StyledLabel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace tw {

FormSection::FormSection(const QString &title, QWidget *parent) : QGroupBox(literalAmpersands(title), parent), m_rows(new QVBoxLayout(this))
{
    m_rows->setSpacing(8);
}

QWidget *FormSection::addLabelledRow(const QString &label, QWidget *value)
{
    auto *row = new QHBoxLayout;
    row->addWidget(plainLabel(label));
    row->addStretch();
    row->addWidget(value, 0, Qt::AlignRight);
    m_rows->addLayout(row);
    return value;
}

QLabel *FormSection::addCaption(const QString &text)
{
    QLabel *caption = styledLabel(text, TextRole::Caption, TextTone::Secondary);
    m_rows->addWidget(caption);
    return caption;
}

} // namespace tw

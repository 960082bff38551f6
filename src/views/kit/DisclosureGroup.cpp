#include "views/kit/DisclosureGroup.h"

#include <QToolButton>
#include <QVBoxLayout>

namespace tw {

DisclosureGroup::DisclosureGroup(const QString &title, QWidget *parent)
    : QWidget(parent), m_toggle(new QToolButton), m_body(new QWidget), m_content(new QVBoxLayout(m_body))
{
    m_toggle->setText(title);
    m_toggle->setCheckable(true);
    m_toggle->setAutoRaise(true);
    m_toggle->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_toggle->setArrowType(Qt::RightArrow);
    m_content->setContentsMargins(16, 0, 0, 0);
    m_content->setSpacing(8);
    m_body->hide();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_toggle, 0, Qt::AlignLeft);
    layout->addWidget(m_body);
    connect(m_toggle, &QToolButton::toggled, this, &DisclosureGroup::setExpanded);
}

bool DisclosureGroup::isExpanded() const
{
    return m_toggle->isChecked();
}

void DisclosureGroup::setExpanded(bool expanded)
{
    m_toggle->setChecked(expanded);
    m_toggle->setArrowType(expanded ? Qt::DownArrow : Qt::RightArrow);
    m_body->setVisible(expanded);
}

} // namespace tw

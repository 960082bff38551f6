#include "views/settings/SettingsForm.h"

#include "views/kit/FormSection.h"

#include <QVBoxLayout>

namespace tw {

SettingsForm::SettingsForm(QWidget *parent) : QScrollArea(parent)
{
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *content = new QWidget;
    // The form takes the viewport's width and its texts wrap to it, rather
    // than its widest row widening it beyond the view.
    content->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_sections = new QVBoxLayout(content);
    m_sections->setContentsMargins(20, 16, 20, 16);
    m_sections->setSpacing(14);
    setWidget(content);
}

FormSection *SettingsForm::addSection(const QString &title)
{
    auto *section = new FormSection(title);
    m_sections->addWidget(section);
    return section;
}

void SettingsForm::addPart(QWidget *part)
{
    m_sections->addWidget(part);
}

void SettingsForm::finish()
{
    m_sections->addStretch();
}

} // namespace tw

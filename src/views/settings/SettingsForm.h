#pragma once

#include <QScrollArea>

class QVBoxLayout;

namespace tw {

class FormSection;

// The page of one settings tab: its sections top to bottom, scrolling when
// they outgrow the window (the desktop's fonts may be larger than the ones
// the window's size was chosen for).
class SettingsForm : public QScrollArea
{
    Q_OBJECT

public:
    explicit SettingsForm(QWidget *parent = nullptr);

    // Appends a section; untitled when the title is empty.
    FormSection *addSection(const QString &title = {});
    // Appends any other part, such as a group of sections shown together.
    void addPart(QWidget *part);
    // Call once every section is in: keeps them at the top.
    void finish();

private:
    QVBoxLayout *m_sections;
};

} // namespace tw

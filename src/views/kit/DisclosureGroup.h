#pragma once

#include <QWidget>

class QToolButton;
class QVBoxLayout;

namespace tw {

// A titled group whose content folds away, folded at first; its title is the
// button that unfolds it.
class DisclosureGroup : public QWidget
{
    Q_OBJECT

public:
    explicit DisclosureGroup(const QString &title, QWidget *parent = nullptr);

    QVBoxLayout *content() const { return m_content; }
    QToolButton *toggle() const { return m_toggle; }
    bool isExpanded() const;
    void setExpanded(bool expanded);

private:
    QToolButton *m_toggle;
    QWidget *m_body;
    QVBoxLayout *m_content;
};

} // namespace tw

#pragma once

#include <QGroupBox>

class QLabel;
class QVBoxLayout;

namespace tw {

// One section of a settings tab's grouped form: an optional heading over a
// box of rows.
class FormSection : public QGroupBox
{
    Q_OBJECT

public:
    explicit FormSection(const QString &title = {}, QWidget *parent = nullptr);

    QVBoxLayout *rows() const { return m_rows; }
    // A labelled row: the label on the leading edge, the value on the
    // trailing one. Answers the value's widget.
    QWidget *addLabelledRow(const QString &label, QWidget *value);
    // A caption: small, secondary, wrapped over as many lines as it needs.
    QLabel *addCaption(const QString &text);

private:
    QVBoxLayout *m_rows;
};

} // namespace tw

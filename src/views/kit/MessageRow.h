#pragma once

#include <QString>
#include <QWidget>
#include <optional>

class QHBoxLayout;
class QLabel;

namespace tw {

// A result or failure line that moves no control as it comes and goes. It
// sits in the row of the buttons it tells about, between those before it and
// those after it, its first line level with their titles; a longer message
// grows downward below them, where nothing is, since this row ends its
// column. Without buttons it stands at the foot of its panel, taking its room
// from the bottom of the list above it. A line above the buttons instead
// pushed them down as it came, and a second click meant for a button hit
// whatever had moved there.
class MessageRow : public QWidget
{
    Q_OBJECT

public:
    // Takes the message's label (a failureLabel, a styled label), hidden
    // while there is nothing to tell.
    explicit MessageRow(QLabel *message, QWidget *parent = nullptr);

    void addBefore(QWidget *button);
    void addAfter(QWidget *button);
    // Shown when set, hidden otherwise.
    void showMessage(const std::optional<QString> &message);
    QLabel &message() const { return *m_message; }

protected:
    void changeEvent(QEvent *event) override;

private:
    void levelWithButtons();

    QLabel *m_message;
    QHBoxLayout *m_row;
    int m_before = 0;
};

} // namespace tw

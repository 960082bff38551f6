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
// column. Without buttons it keeps the room of its last message while
// hidden: at the foot of a panel it takes its room from the bottom of the
// list above it, and a list scrolled to its end that got the room back would
// move every row to fill it. A row of its own above other controls reserves
// its lines from the start. A line above the buttons instead pushed them
// down as it came, and a second click meant for a button hit whatever had
// moved there.
class MessageRow : public QWidget
{
    Q_OBJECT

public:
    // Takes the message's label (a failureLabel, a styled label), hidden
    // while there is nothing to tell.
    explicit MessageRow(QLabel *message, QWidget *parent = nullptr);

    void addBefore(QWidget *button);
    void addAfter(QWidget *button);
    // Room for this many lines whether a message is shown or not, for a
    // row without buttons that has controls below it.
    void reserveLines(int lines);
    // Shown when set, hidden otherwise.
    void showMessage(const std::optional<QString> &message);
    QLabel &message() const { return *m_message; }

protected:
    void changeEvent(QEvent *event) override;

private:
    void levelWithButtons();
    bool hasButtons() const;
    void keepRoomWhenHidden();

    QLabel *m_message;
    QHBoxLayout *m_row;
    int m_before = 0;
    int m_reservedLines = 0;
};

} // namespace tw

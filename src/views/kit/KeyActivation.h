#pragma once

#include <QObject>
#include <functional>

class QWidget;

namespace tw {

// Return, Enter and, unless told otherwise, Space on a focused widget do
// what a click does (open a card, a chip's menu, restore the chosen copy),
// once per press however long the key is held. The widget becomes a stop of
// Tab if it was none; a click gives it the focus too.
class KeyActivation : public QObject
{
    Q_OBJECT

public:
    enum class Keys { ReturnAndSpace, ReturnOnly };

    static constexpr const char *objectName = "keyActivation";

    static void install(QWidget &widget, std::function<void()> press, Keys keys = Keys::ReturnAndSpace);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    KeyActivation(QWidget &widget, std::function<void()> press, Keys keys);

    std::function<void()> m_press;
    Keys m_keys;
};

} // namespace tw

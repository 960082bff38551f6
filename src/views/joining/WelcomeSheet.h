#pragma once

#include <QDialog>
#include <functional>

namespace tw {

class AppEnvironment;

// Greets the first start: how the application works in three steps, and a
// way into creating the first sync.
class WelcomeSheet : public QDialog
{
    Q_OBJECT

public:
    static constexpr int width = 460;

    WelcomeSheet(AppEnvironment &env, std::function<void()> onCreate, QWidget *parent = nullptr);

private:
    std::function<void()> m_onCreate;
};

} // namespace tw

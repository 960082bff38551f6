#pragma once

#include <QList>
#include <QString>
#include <QWidget>
#include <optional>

namespace tw {

class WrappingLabel;

// The red warning a page shows above its content for a controller's last
// error; nothing at all while there is none.
class ErrorBanner : public QWidget
{
    Q_OBJECT

public:
    explicit ErrorBanner(QWidget *parent = nullptr);

    // Shown when set and not empty; hidden otherwise.
    void setMessage(const std::optional<QString> &message);
    // Several controllers' errors at once, one paragraph each, in the
    // order given; those that say nothing are left out.
    void setMessages(const QList<std::optional<QString>> &messages);
    QString message() const;

private:
    WrappingLabel *m_text;
};

} // namespace tw

#pragma once

#include <QObject>

namespace tw {

// Application-wide requests that menus raise and windows answer, so neither
// needs to know the other.
class AppSignals : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

signals:
    // Help ▸ "Send Feedback…" was chosen.
    void showFeedbackSheet();
};

} // namespace tw

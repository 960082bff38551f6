#pragma once

#include <QString>
#include <optional>

class QLabel;

namespace tw {

// Why an action of a panel or form did not take effect, in red where it was
// made; hidden while there is nothing to tell. Plain text: it may quote
// names and patterns.
QLabel *failureLabel(const QString &objectName);
void showFailure(QLabel &label, const std::optional<QString> &failure);

} // namespace tw

#pragma once

#include <QString>
#include <optional>
#include <qcoro/qcorotask.h>

class QWidget;

namespace tw {

// The folder chooser. It opens without a nested event loop, so the polling
// loop and everything else go on while it is up; the caller's widgets may be
// gone when it returns, so callers check their QPointer after the await. It
// starts in the user's home, later where the last choice was made.
class FolderPicker
{
public:
    static inline const QString title = QStringLiteral("Choose a folder or drive to sync");
    static inline const QString acceptLabel = QStringLiteral("Choose");

    // The chosen directory, or nothing when the user cancels.
    static QCoro::Task<std::optional<QString>> pickFolder(QWidget *parent);
};

} // namespace tw

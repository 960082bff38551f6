#include "engine/syncthing/SyncthingIgnoreUpdate.h"

#include "engine/PlatformError.h"
#include "engine/SyncEngineError.h"

namespace tw {
namespace {

// The line as it would be read back: breaks and NULs made visible.
QString visible(QString line)
{
    return line.replace(QLatin1Char('\r'), QLatin1String("\\r"))
        .replace(QLatin1Char('\n'), QLatin1String("\\n"))
        .replace(QChar(u'\0'), QLatin1String("\\0"));
}

bool breaksLine(const QString &line)
{
    return line.contains(QLatin1Char('\r')) || line.contains(QLatin1Char('\n')) || line.contains(QChar(u'\0'));
}

QString rollbackFailureText(const QString &refusal, const QString &rollbackFailure)
{
    return refusal + QStringLiteral(" (the previous ignore patterns could not be put back: ") + rollbackFailure +
           QStringLiteral("; the folder may stay stopped until its ignore patterns are fixed)");
}

} // namespace

void SyncthingIgnoreUpdate::checkLines(const QStringList &lines)
{
    for (const QString &line : lines) {
        if (breaksLine(line))
            throw SyncEngineError::backend(
                QStringLiteral("An ignore pattern cannot contain a line break or a NUL character: \"%1\"")
                    .arg(visible(line)));
    }
}

QCoro::Task<void> SyncthingIgnoreUpdate::replace(SyncthingAPI api, QString folderID, QStringList lines)
{
    checkLines(lines);
    const QStringList previous = co_await api.getIgnores(folderID);
    const std::optional<QString> error = co_await api.setIgnores(folderID, lines);
    if (!error)
        co_return;
    // Syncthing has stopped the folder over the bad pattern; the old lines
    // start it again. When they cannot be written back either, the folder may
    // stay stopped with the bad line in place, and the user must hear that too.
    std::optional<QString> rollbackFailure;
    try {
        co_await api.setIgnores(folderID, previous);
    } catch (const std::exception &failure) {
        rollbackFailure = describeError(failure);
    }
    if (!rollbackFailure)
        throw SyncEngineError::backend(*error);
    throw SyncEngineError::backend(rollbackFailureText(*error, *rollbackFailure));
}

} // namespace tw

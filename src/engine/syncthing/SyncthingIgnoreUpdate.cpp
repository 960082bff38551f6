#include "engine/syncthing/SyncthingIgnoreUpdate.h"

#include "engine/PlatformError.h"
#include "engine/SyncEngineError.h"
#include "engine/syncthing/SyncthingIgnoreSyntax.h"

namespace tw {
namespace {

QString rollbackFailureText(const QString &refusal, const QString &rollbackFailure)
{
    return refusal + QStringLiteral(" (the previous ignore patterns could not be put back: ") + rollbackFailure +
           QStringLiteral("; the folder may stay stopped until its ignore patterns are fixed)");
}

} // namespace

void SyncthingIgnoreUpdate::checkLines(const QStringList &lines)
{
    if (const std::optional<QString> refusal = SyncthingIgnoreSyntax::refusal(lines))
        throw SyncEngineError::refused(*refusal);
}

QCoro::Task<void> SyncthingIgnoreUpdate::replace(SyncthingAPI api, QString folderID, QStringList lines)
{
    checkLines(lines);
    // A folder whose lines Syncthing could not read is stopped already: new
    // lines are its way back, and there are none to put back.
    std::optional<QStringList> previous;
    try {
        previous = co_await api.getIgnores(folderID);
    } catch (const SyncEngineError &failure) {
        if (failure.kind() != SyncEngineError::Kind::Refused)
            throw;
    }
    const std::optional<QString> error = co_await api.setIgnores(folderID, lines);
    if (!error)
        co_return;
    if (!previous)
        throw SyncEngineError::refused(*error);
    // Syncthing has stopped the folder over the bad pattern; the old lines
    // start it again. When they cannot be written back either, the folder may
    // stay stopped with the bad line in place, and the user must hear that too.
    std::optional<QString> rollbackFailure;
    try {
        co_await api.setIgnores(folderID, *previous);
    } catch (const std::exception &failure) {
        rollbackFailure = describeError(failure);
    }
    if (!rollbackFailure)
        throw SyncEngineError::refused(*error);
    throw SyncEngineError::refused(rollbackFailureText(*error, *rollbackFailure));
}

} // namespace tw

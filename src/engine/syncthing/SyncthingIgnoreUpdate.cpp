#include "engine/syncthing/SyncthingIgnoreUpdate.h"

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
    // start it again. Failing to write them back changes nothing about what
    // the caller must hear: its lines were refused.
    try {
        co_await api.setIgnores(folderID, previous);
    } catch (const std::exception &) {
    }
    throw SyncEngineError::backend(*error);
}

} // namespace tw

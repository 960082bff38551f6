#include "engine/syncthing/SyncthingIgnoreUpdate.h"

#include "engine/SyncEngineError.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace tw {
namespace {

const QString kFolderKey = QStringLiteral("folder");
const QString kIgnoreKey = QStringLiteral("ignore");
const QString kErrorKey = QStringLiteral("error");

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

SyncthingAPI::PreparedRequest ignoreUpdate(const SyncthingAPI &api, const QString &folderID, const QStringList &lines)
{
    QJsonObject body;
    body.insert(kIgnoreKey, QJsonArray::fromStringList(lines));
    const SyncthingAPI::QueryItems query{{kFolderKey, folderID}};
    return api.prepare("POST", QStringLiteral("/rest/db/ignores"), query,
                       QJsonDocument(body).toJson(QJsonDocument::Compact));
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

std::optional<QString> SyncthingIgnoreUpdate::errorOf(const QByteArray &answer)
{
    const QJsonDocument document = QJsonDocument::fromJson(answer);
    const QJsonValue error = document.object().value(kErrorKey);
    if (!error.isString() || error.toString().isEmpty())
        return std::nullopt;
    return error.toString();
}

QCoro::Task<void> SyncthingIgnoreUpdate::replace(SyncthingAPI api, QString folderID, QStringList lines)
{
    checkLines(lines);
    const QStringList previous = co_await api.getIgnores(folderID);
    const QByteArray answer = co_await api.send(ignoreUpdate(api, folderID, lines));
    const std::optional<QString> error = errorOf(answer);
    if (!error)
        co_return;
    // Syncthing has stopped the folder over the bad pattern; the old lines
    // start it again. Failing to write them back changes nothing about what
    // the caller must hear: its lines were refused.
    try {
        co_await api.send(ignoreUpdate(api, folderID, previous));
    } catch (const std::exception &) {
    }
    throw SyncEngineError::backend(*error);
}

} // namespace tw

// Ignore lines, one level of a folder's index, an item's global modification
// time, and the folder's archive of versions with restore.

#include "engine/syncthing/SyncthingEngine.h"

#include "engine/syncthing/SyncthingIgnoreUpdate.h"
#include "utilities/StrictJson.h"

#include <QDate>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTime>
#include <QtConcurrent/QtConcurrentRun>
#include <qcoro/qcorofuture.h>
#include <algorithm>

namespace tw {
namespace {

const QString kFolderKey = QStringLiteral("folder");
const QString kVersionNotFound = QStringLiteral("version not found");

BrowseEntry browseEntry(const STBrowseEntry &entry)
{
    return {entry.name, entry.type.contains(QLatin1String("DIRECTORY"))};
}

// Every version of every path, newest first. Syncthing's version times of one
// zone order as text; the sort is stable so equal times keep their order.
QList<ArchivedVersion> flattenVersions(const QMap<QString, QList<STVersion>> &versions)
{
    QList<ArchivedVersion> result;
    for (auto it = versions.constBegin(); it != versions.constEnd(); ++it) {
        for (const STVersion &version : it.value())
            result.append({it.key(), version.versionTime, version.size.value_or(0)});
    }
    std::stable_sort(result.begin(), result.end(), [](const ArchivedVersion &a, const ArchivedVersion &b) {
        return a.versionTime > b.versionTime;
    });
    return result;
}

// Syncthing names a version by its time truncated to the second, as an
// instant: a time sent in another zone or with a fraction restores the same
// version, so texts that differ can still name one version.
bool sameVersionTime(const QString &listed, const QString &requested)
{
    if (listed == requested)
        return true;
    const std::optional<qint64> seconds = SyncthingEngine::parseSyncthingModified(requested);
    return seconds && seconds == SyncthingEngine::parseSyncthingModified(listed);
}

bool isListed(const QMap<QString, QList<STVersion>> &versions, const QString &path, const QString &versionTime)
{
    const QList<STVersion> listed = versions.value(path);
    return std::any_of(listed.cbegin(), listed.cend(), [&versionTime](const STVersion &version) {
        return sameVersionTime(version.versionTime, versionTime);
    });
}

[[noreturn]] void throwRestoreFailures(const QMap<QString, QString> &failures)
{
    QStringList parts;
    for (auto it = failures.constBegin(); it != failures.constEnd(); ++it)
        parts.append(it.value().isEmpty() ? it.key() : it.key() + QStringLiteral(": ") + it.value());
    throw SyncEngineError::backend(QStringLiteral("Could not restore ") + parts.join(QStringLiteral("; ")));
}

// Syncthing moves the live file into the archive before it looks for the
// version, so a restore of a version that is gone (a second click, a stale
// list) would lose the live file: only listed versions are sent. The caller
// holds the folder's restore lock from the read until the answer.
QCoro::Task<void> restoreListed(SyncthingAPI api, QString folderID, QMap<QString, QString> mapping)
{
    const QMap<QString, QList<STVersion>> versions = co_await api.folderVersions(folderID);
    QMap<QString, QString> listed;
    QMap<QString, QString> failures;
    for (auto it = mapping.constBegin(); it != mapping.constEnd(); ++it) {
        if (isListed(versions, it.key(), it.value()))
            listed.insert(it.key(), it.value());
        else
            failures.insert(it.key(), kVersionNotFound);
    }
    if (!listed.isEmpty()) {
        const QMap<QString, QString> refused = co_await api.restoreVersions(folderID, listed);
        failures.insert(refused);
    }
    if (!failures.isEmpty())
        throwRestoreFailures(failures);
}

std::optional<qint64> modifiedOfFileRecord(const QJsonObject &record)
{
    const QJsonValue global = record.value(QStringLiteral("global"));
    if (!global.isObject())
        return std::nullopt;
    const QJsonValue modified = global.toObject().value(QStringLiteral("modified"));
    if (!modified.isString())
        return std::nullopt;
    return SyncthingEngine::parseSyncthingModified(modified.toString());
}

QString shortIDOf(const QJsonValue &counter)
{
    // A version counter reads "SHORTID:value".
    return counter.toString().section(QLatin1Char(':'), 0, 0);
}

// Syncthing gives each as a name and its value in base64.
QHash<QString, QByteArray> attributesOfVersion(const QJsonObject &version)
{
    QHash<QString, QByteArray> attributes;
    const QJsonValue onLinux = version.value(QStringLiteral("platform")).toObject().value(QStringLiteral("Linux"));
    for (const QJsonValue &entry : onLinux.toObject().value(QStringLiteral("Xattrs")).toArray()) {
        const QString name = entry.toObject().value(QStringLiteral("Name")).toString();
        const auto value = QByteArray::fromBase64Encoding(
            entry.toObject().value(QStringLiteral("Value")).toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!name.isEmpty() && value)
            attributes.insert(name, *value);
    }
    return attributes;
}

std::optional<ItemOrigin> originOfFileRecord(const QJsonObject &record)
{
    const QJsonObject local = record.value(QStringLiteral("local")).toObject();
    const QJsonObject global = record.value(QStringLiteral("global")).toObject();
    const QJsonValue version = local.value(QStringLiteral("version"));
    if (!version.isArray() || global.isEmpty())
        return std::nullopt;
    ItemOrigin origin;
    // Syncthing counts a device's changes in moments (seconds since 1970,
    // or one more than its last): the least counter is the first change.
    std::optional<quint64> least;
    for (const QJsonValue &counter : version.toArray()) {
        const QString id = shortIDOf(counter);
        bool ok = false;
        const quint64 value = counter.toString().section(QLatin1Char(':'), 1).toULongLong(&ok);
        if (id.isEmpty())
            continue;
        origin.changedBy.append(id);
        if (ok && (!least || value < *least)) {
            least = value;
            origin.firstChangedBy = id;
        } else if (ok && value == *least) {
            origin.firstChangedBy.clear();  // two changes in one second: it cannot tell
        }
    }
    origin.lastChangedBy = global.value(QStringLiteral("modifiedBy")).toString();
    origin.modified = modifiedOfFileRecord(record);
    origin.attributes = attributesOfVersion(global);
    return origin;
}

void addDirectoryTimes(const QJsonArray &entries, const QString &prefix, QHash<QString, qint64> &times)
{
    for (const QJsonValue &value : entries) {
        const QJsonObject entry = value.toObject();
        const QString name = entry.value(QStringLiteral("name")).toString();
        if (name.isEmpty() || !entry.value(QStringLiteral("type")).toString().contains(QLatin1String("DIRECTORY")))
            continue;
        const QString path = prefix.isEmpty() ? name : prefix + QLatin1Char('/') + name;
        const std::optional<qint64> modified =
            SyncthingEngine::parseSyncthingModified(entry.value(QStringLiteral("modTime")).toString());
        if (modified)
            times.insert(path, *modified);
        addDirectoryTimes(entry.value(QStringLiteral("children")).toArray(), path, times);
    }
}

// Syncthing's tree of a folder: an array of entries with "name", "type",
// "modTime" and their "children".
QHash<QString, qint64> directoryTimesOfTree(QByteArray body)
{
    QHash<QString, qint64> times;
    addDirectoryTimes(QJsonDocument::fromJson(body).array(), QString(), times);
    return times;
}

// The internet date-time form without a fraction: full date, "T", time with
// seconds, and "Z" or a signed hours:minutes offset. Nothing lenient: a time
// without a zone is not read as local time.
std::optional<qint64> parseInternetDateTime(const QString &text)
{
    static const QRegularExpression form(QStringLiteral(
        R"(^([0-9]{4})-([0-9]{2})-([0-9]{2})T([0-9]{2}):([0-9]{2}):([0-9]{2})(?:(Z)|([+-])([0-9]{2}):([0-9]{2}))$)"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    auto number = [&match](int group) { return match.captured(group).toInt(); };
    const QDate date(number(1), number(2), number(3));
    const QTime time(number(4), number(5), number(6));
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    qint64 offsetSeconds = 0;
    if (!match.hasCaptured(7)) {
        if (number(9) > 23 || number(10) > 59)
            return std::nullopt;
        offsetSeconds = (number(9) * 3600 + number(10) * 60) * (match.captured(8) == QLatin1String("-") ? -1 : 1);
    }
    return QDateTime(date, time, Qt::UTC).toSecsSinceEpoch() - offsetSeconds;
}

} // namespace

QCoro::Task<QStringList> SyncthingEngine::ignorePatterns(QString folderID)
{
    const SyncthingAPI api = requireAPI();
    co_return co_await api.getIgnores(folderID);
}

QCoro::Task<void> SyncthingEngine::updateIgnorePatterns(QString folderID, QStringList patterns)
{
    const SyncthingAPI api = requireAPI();
    co_await SyncthingIgnoreUpdate::replace(api, folderID, patterns);
}

QCoro::Task<QList<BrowseEntry>> SyncthingEngine::browse(QString folderID, QString prefix)
{
    const SyncthingAPI api = requireAPI();
    const QList<STBrowseEntry> entries = co_await api.browse(folderID, prefix);
    QList<BrowseEntry> result;
    result.reserve(entries.size());
    for (const STBrowseEntry &entry : entries)
        result.append(browseEntry(entry));
    co_return result;
}

// Syncthing's record of one item; absent while it is not running or when
// the read fails.
QCoro::Task<std::optional<QJsonObject>> SyncthingEngine::fileRecord(QString folderID, QString path)
{
    if (!m_api)
        co_return std::nullopt;
    const SyncthingAPI api = *m_api;
    SyncthingAPI::QueryItems query;
    query.append({kFolderKey, folderID});
    query.append({QStringLiteral("file"), path});
    try {
        co_return co_await api.rawDict(QStringLiteral("/rest/db/file"), query);
    } catch (const std::exception &) {
        co_return std::nullopt;
    }
}

QCoro::Task<std::optional<qint64>> SyncthingEngine::directoryModified(QString folderID, QString path)
{
    const std::optional<QJsonObject> record = co_await fileRecord(folderID, path);
    co_return record ? modifiedOfFileRecord(*record) : std::nullopt;
}

QCoro::Task<std::optional<ItemOrigin>> SyncthingEngine::itemOrigin(QString folderID, QString path)
{
    const std::optional<QJsonObject> record = co_await fileRecord(folderID, path);
    co_return record ? originOfFileRecord(*record) : std::nullopt;
}

// The whole tree of the folder's directories comes in one answer; reading it
// for thousands of directories is work for another thread.
QCoro::Task<QHash<QString, qint64>> SyncthingEngine::directoryTimes(QString folderID)
{
    if (!m_api)
        co_return QHash<QString, qint64>();
    const SyncthingAPI api = *m_api;
    SyncthingAPI::QueryItems query;
    query.append({kFolderKey, folderID});
    query.append({QStringLiteral("dirsonly"), QStringLiteral("true")});
    QByteArray body;
    try {
        body = co_await api.send(api.prepare("GET", QStringLiteral("/rest/db/browse"), query));
    } catch (const std::exception &) {
        co_return QHash<QString, qint64>();
    }
    co_return co_await QtConcurrent::run(&directoryTimesOfTree, std::move(body));
}

QCoro::Task<QList<ArchivedVersion>> SyncthingEngine::archivedVersions(QString folderID)
{
    const SyncthingAPI api = requireAPI();
    const QMap<QString, QList<STVersion>> versions = co_await api.folderVersions(folderID);
    // Sorting tens of thousands of copies is no work for the main thread.
    co_return co_await QtConcurrent::run(&flattenVersions, versions);
}

QCoro::Task<void> SyncthingEngine::restoreArchived(QString folderID, QString path, QString versionTime)
{
    const SyncthingAPI api = requireAPI();
    QMap<QString, QString> mapping;
    mapping.insert(path, versionTime);
    const auto guard = co_await m_restoreMutexes[folderID].lock();
    co_await restoreListed(api, folderID, mapping);
}

QCoro::Task<void> SyncthingEngine::restoreArchivedBatch(QString folderID, QMap<QString, QString> mapping)
{
    if (mapping.isEmpty())
        co_return;
    const SyncthingAPI api = requireAPI();
    const auto guard = co_await m_restoreMutexes[folderID].lock();
    co_await restoreListed(api, folderID, mapping);
}

std::optional<qint64> SyncthingEngine::parseSyncthingModified(const QString &text)
{
    const qsizetype dot = text.indexOf(QLatin1Char('.'));
    if (dot < 0)
        return parseInternetDateTime(text);
    const QString rest = text.mid(dot + 1);
    if (rest.isEmpty())
        return std::nullopt;
    const auto zone = std::find_if(rest.cbegin(), rest.cend(), [](QChar c) {
        return c == QLatin1Char('+') || c == QLatin1Char('-') || c == QLatin1Char('Z');
    });
    if (zone == rest.cend())
        return std::nullopt;
    return parseInternetDateTime(text.left(dot) + rest.mid(zone - rest.cbegin()));
}

} // namespace tw

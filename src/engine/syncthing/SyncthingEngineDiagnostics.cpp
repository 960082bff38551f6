#include "engine/syncthing/SyncthingEngine.h"

#include "engine/syncthing/DiagnosticsFormat.h"
#include "engine/syncthing/rest/LooseJson.h"
#include "utilities/IsolatedName.h"

#include <QDateTime>
#include <QJsonArray>

namespace tw {
namespace {

const QString kNotRunningReport = QStringLiteral("Sync engine is not running — start the app first.");
const QString kUnknownID = QStringLiteral("?");
const QString kZero = QStringLiteral("0");
const QString kStatusPath = QStringLiteral("/rest/db/status");
const QString kCompletionPath = QStringLiteral("/rest/db/completion");

// The report's own failures never reach its caller: each request that fails
// leaves its part of the report out.
template <typename T>
QCoro::Task<std::optional<T>> orNothing(QCoro::Task<T> task)
{
    try {
        co_return co_await std::move(task);
    } catch (...) {
        co_return std::nullopt;
    }
}

QCoro::Task<std::optional<QJsonObject>> folderStatusObject(SyncthingAPI api, QString folderID)
{
    SyncthingAPI::QueryItems query;
    query.append({QStringLiteral("folder"), folderID});
    co_return co_await orNothing(api.rawDict(kStatusPath, query));
}

QCoro::Task<std::optional<QJsonObject>> completionObject(SyncthingAPI api, QString folderID, QString deviceID)
{
    SyncthingAPI::QueryItems query;
    query.append({QStringLiteral("folder"), folderID});
    query.append({QStringLiteral("device"), deviceID});
    co_return co_await orNothing(api.rawDict(kCompletionPath, query));
}

QString generatedLine()
{
    return QStringLiteral("Generated: ") + QDateTime::currentDateTimeUtc().toString(Qt::ISODate) + QLatin1Char('\n');
}

QString connectionState(const std::optional<STConnectionsResponse::Conn> &connection)
{
    if (!connection || !connection->connected)
        return QStringLiteral("offline");
    return QStringLiteral("connected ") + connection->type.value_or(QString()) + QStringLiteral("  ")
           + connection->address;
}

QString deviceLine(const STDeviceRead &device, const QString &ownID, const STConnectionsResponse &connections)
{
    QString line = QStringLiteral("  ") + SyncthingEngine::shortID(device.deviceID) + QStringLiteral("  ") + device.name;
    if (device.deviceID == ownID)
        line += QStringLiteral(" (this Mac)");
    if (device.paused)
        line += QStringLiteral("  [PAUSED]");
    const auto found = connections.connections.constFind(device.deviceID);
    const auto connection = found == connections.connections.cend()
                                ? std::nullopt
                                : std::optional<STConnectionsResponse::Conn>(*found);
    return line + QStringLiteral("  — ") + connectionState(connection) + QLatin1Char('\n');
}

QString folderLines(const STFolderRead &folder)
{
    return QStringLiteral("  ▸ \"") + folder.label + QStringLiteral("\"  id=") + folder.id + QLatin1Char('\n')
           + QStringLiteral("    type=") + folder.type + QStringLiteral("  paused=")
           + (folder.paused ? QStringLiteral("true") : QStringLiteral("false")) + QStringLiteral("  path=")
           + folder.path + QLatin1Char('\n');
}

QString statusLines(const QJsonObject &status)
{
    const auto value = [&](const char *key, const QString &fallback) {
        return DiagnosticsFormat::plain(status.value(QLatin1String(key)), fallback);
    };
    const auto gb = [&](const char *key) { return DiagnosticsFormat::gb(status.value(QLatin1String(key))); };
    return QStringLiteral("    local ") + value("localFiles", kUnknownID) + QStringLiteral(" files / ") + gb("localBytes")
           + QStringLiteral("   global ") + value("globalFiles", kUnknownID) + QStringLiteral(" / ") + gb("globalBytes")
           + QStringLiteral("   need ") + value("needFiles", kUnknownID) + QStringLiteral(" / ") + gb("needBytes")
           + QLatin1Char('\n') + QStringLiteral("    state=") + value("state", kUnknownID) + QStringLiteral("  errors=")
           + value("errors", kZero) + QStringLiteral("  pullErrors=") + value("pullErrors", kZero)
           + QStringLiteral("  receiveOnlyChanged=") + value("receiveOnlyChangedItems", kZero)
           + QStringLiteral("  sequence=") + value("sequence", kUnknownID) + QLatin1Char('\n');
}

QString completionLine(const QString &name, const std::optional<QJsonObject> &completion,
                       const std::optional<QString> &introducedBy)
{
    if (!completion)
        return QStringLiteral("      ") + name + QStringLiteral(": completion unavailable\n");
    QString line = QStringLiteral("      ") + name + QStringLiteral(": ")
                   + DiagnosticsFormat::pct(completion->value(QStringLiteral("completion"))) + QStringLiteral("  need ")
                   + DiagnosticsFormat::plain(completion->value(QStringLiteral("needItems")), kUnknownID)
                   + QStringLiteral(" items / ") + DiagnosticsFormat::gb(completion->value(QStringLiteral("needBytes")));
    if (introducedBy && !introducedBy->isEmpty())
        line += QStringLiteral("  (introducedBy ") + SyncthingEngine::shortID(*introducedBy) + QLatin1Char(')');
    return line + QLatin1Char('\n');
}

QString logSection(const QStringList &lines)
{
    if (lines.isEmpty())
        return {};
    const QStringList tail = DiagnosticsFormat::logTail(lines);
    QString section = QStringLiteral("RECENT DAEMON LOG (last %1):\n").arg(tail.size());
    for (const QString &line : tail)
        section += QStringLiteral("  ") + line + QLatin1Char('\n');
    return section;
}

FolderDiagStatus diagStatus(const STFolderRead &folder, const QJsonObject &status)
{
    const auto bytes = [&](const char *key) {
        return LooseJson::truncatedInteger(status.value(QLatin1String(key))).value_or(0);
    };
    FolderDiagStatus record;
    record.folderID = folder.id;
    record.label = folder.label;
    record.state = LooseJson::string(status.value(QStringLiteral("state"))).value_or(QString());
    record.localBytes = bytes("localBytes");
    record.globalBytes = bytes("globalBytes");
    record.needBytes = bytes("needBytes");
    record.needItems = bytes("needFiles");
    return record;
}

} // namespace

QCoro::Task<QString> SyncthingEngine::diagnosticsReport()
{
    if (!m_api)
        co_return kNotRunningReport;
    const SyncthingAPI api = *m_api;

    QString report = QStringLiteral("TIDEWELLMESH — DIAGNOSTICS\n") + generatedLine();
    const std::optional<STSystemStatus> system = co_await orNothing(api.systemStatus());
    const QString ownID = system ? system->myID : kUnknownID;
    report += QStringLiteral("This device: ") + shortID(ownID) + QStringLiteral("…\n\n");

    const QList<STDeviceRead> devices = (co_await orNothing(api.getDevices())).value_or(QList<STDeviceRead>());
    const QHash<QString, QString> names = STDeviceRead::namesByID(devices);
    const STConnectionsResponse connections =
        (co_await orNothing(api.connections())).value_or(STConnectionsResponse());
    report += QStringLiteral("DEVICES (%1):\n").arg(devices.size());
    for (const STDeviceRead &device : devices)
        report += deviceLine(device, ownID, connections);
    report += QLatin1Char('\n');

    const QList<STFolderRead> folders = (co_await orNothing(api.getFolders())).value_or(QList<STFolderRead>());
    report += QStringLiteral("FOLDERS (%1):\n").arg(folders.size());
    for (const STFolderRead &folder : folders) {
        report += folderLines(folder);
        if (const std::optional<QJsonObject> status = co_await folderStatusObject(api, folder.id))
            report += statusLines(*status);
        report += QStringLiteral("    per-device completion (this Mac's view):\n");
        for (const STDeviceRef &ref : folder.devices) {
            if (ref.deviceID == ownID)
                continue;
            const QString name = names.value(ref.deviceID, shortID(ref.deviceID));
            const std::optional<QJsonObject> completion = co_await completionObject(api, folder.id, ref.deviceID);
            report += completionLine(name, completion, ref.introducedBy);
        }
    }
    report += QLatin1Char('\n');

    report += logSection((co_await orNothing(api.systemLogLines())).value_or(QStringList()));
    // The report travels to paired Macs; the key that drives this engine never does.
    if (!api.apiKey().isEmpty())
        report.replace(api.apiKey(), QStringLiteral("[API key]"));
    co_return report;
}

QCoro::Task<QList<FolderDiagStatus>> SyncthingEngine::diagnosticsStatus()
{
    if (!m_api)
        co_return QList<FolderDiagStatus>();
    const SyncthingAPI api = *m_api;
    const QList<STFolderRead> folders = (co_await orNothing(api.getFolders())).value_or(QList<STFolderRead>());
    QList<FolderDiagStatus> records;
    for (const STFolderRead &folder : folders) {
        const std::optional<QJsonObject> status = co_await folderStatusObject(api, folder.id);
        records.append(diagStatus(folder, status.value_or(QJsonObject())));
    }
    co_return records;
}

QString SyncthingEngine::itemErrorText(const QString &path, const QString &error, qint64 count)
{
    QString text =
        QStringLiteral("Couldn't sync \u201C") + isolatedName(path) + QStringLiteral("\u201D here: ") + error;
    if (count > 1)
        text += QStringLiteral(" (and %1 more)").arg(count - 1);
    // A name from another Mac may hold line breaks, and Syncthing's reason
    // quotes the path again: the text stays one line.
    for (QChar &c : text) {
        const QChar::Category category = c.category();
        if (category == QChar::Other_Control || category == QChar::Separator_Line
            || category == QChar::Separator_Paragraph)
            c = QChar::ReplacementCharacter;
    }
    return text;
}

QCoro::Task<QMap<QString, QString>> SyncthingEngine::recentFolderErrors()
{
    // Syncthing reports a folder's error in its status while the folder is in
    // error; its log wording changes between versions and outlives the error.
    // A folder that runs but fails single items (a file it may not write, a
    // directory it cannot remove) counts them in "errors" and names them
    // only in the folder's error list.
    if (!m_api)
        co_return QMap<QString, QString>();
    const SyncthingAPI api = *m_api;
    const QList<STFolderRead> folders = (co_await orNothing(api.getFolders())).value_or(QList<STFolderRead>());
    QMap<QString, QString> errors;
    for (const STFolderRead &folder : folders) {
        const std::optional<QJsonObject> status = co_await folderStatusObject(api, folder.id);
        if (!status)
            continue;
        const QString error = LooseJson::string(status->value(QStringLiteral("error"))).value_or(QString());
        const qint64 failedItems = LooseJson::exactInteger(status->value(QStringLiteral("errors"))).value_or(0);
        if (!error.isEmpty()) {
            errors.insert(folder.id, error);
            continue;
        }
        if (failedItems <= 0)
            continue;
        const std::optional<FailedItems> failures = co_await itemFailures(api, folder.id, failedItems);
        if (failures && failures->first)
            errors.insert(folder.id, itemErrorText(failures->first->path, failures->first->error, failures->count));
    }
    co_return errors;
}

QCoro::Task<bool> SyncthingEngine::isPairedDevice(QString deviceID)
{
    if (!m_api || deviceID.isEmpty())
        co_return false;
    const SyncthingAPI api = *m_api;
    const std::optional<QList<STDeviceRead>> devices = co_await orNothing(api.getDevices());
    if (!devices)
        co_return false;
    co_return std::any_of(devices->cbegin(), devices->cend(),
                          [&](const STDeviceRead &device) { return device.deviceID == deviceID; });
}

} // namespace tw

#include "cluster/ClusterConfig.h"

#include "utilities/StrictJson.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QMessageAuthenticationCode>
#include <algorithm>

namespace tw {
namespace {

const QChar separator(0x0001);

// Takes the same time wherever the texts differ, so a forger learns nothing
// from how long a rejection took.
bool equalInConstantTime(const QString &a, const QString &b)
{
    const QByteArray x = a.toUtf8();
    const QByteArray y = b.toUtf8();
    if (x.size() != y.size())
        return false;
    unsigned char accumulator = 0;
    for (qsizetype i = 0; i < x.size(); ++i)
        accumulator |= static_cast<unsigned char>(x[i] ^ y[i]);
    return accumulator == 0;
}

QJsonObject cellsToJson(const ClusterConfig::Cells &cells)
{
    QJsonObject object;
    for (auto it = cells.cbegin(); it != cells.cend(); ++it)
        object.insert(it.key(), it->toJsonObject());
    return object;
}

// The cells of one folder entry that decode, and whether that was all of them.
std::pair<ClusterConfig::Cells, bool> decodeCells(const QJsonValue &value)
{
    ClusterConfig::Cells cells;
    bool complete = value.isObject();
    const QJsonObject object = value.toObject();
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        if (const std::optional<ClusterCell> cell = ClusterCell::fromJson(*it))
            cells.insert(it.key(), *cell);
        else
            complete = false;
    }
    return {cells, complete};
}

} // namespace

ClusterConfig ClusterConfig::empty(QString clusterID)
{
    ClusterConfig config;
    config.clusterID = std::move(clusterID);
    return config;
}

QString ClusterConfig::signature(const QString &folderID, const QString &deviceID, CellState state, qint64 lamport,
                                 const QString &authorDeviceID, const QString &wallclock, const QString &key)
{
    const QStringList parts{
        folderID, deviceID, cellStateText(state), QString::number(lamport), authorDeviceID, wallclock,
    };
    const QByteArray mac = QMessageAuthenticationCode::hash(parts.join(separator).toUtf8(), key.toUtf8(),
                                                            QCryptographicHash::Sha256);
    return QString::fromLatin1(mac.toHex());
}

QString ClusterConfig::clusterFolderID(const QString &secret)
{
    const QString text = QStringLiteral("tdw-harbour-v3") + separator + secret;
    const QByteArray digest = QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256).toHex();
    return QStringLiteral("tdw-cluster-") + QString::fromLatin1(digest.left(16));
}

ClusterConfig ClusterConfig::validated(const QString &key) const
{
    ClusterConfig result = *this;
    result.folders.clear();
    if (key.isEmpty())
        return result;
    for (auto folder = folders.cbegin(); folder != folders.cend(); ++folder) {
        for (auto cell = folder->cbegin(); cell != folder->cend(); ++cell) {
            const QString expected = signature(folder.key(), cell.key(), cell->state, cell->lamport,
                                               cell->authorDeviceID, cell->wallclock, key);
            if (equalInConstantTime(expected, cell->sig))
                result.folders[folder.key()].insert(cell.key(), *cell);
        }
    }
    return result;
}

ClusterConfig ClusterConfig::withLamportBoundByCells() const
{
    std::optional<qint64> highest;
    for (const Cells &cells : folders) {
        for (const ClusterCell &cell : cells)
            highest = std::max(highest.value_or(cell.lamport), cell.lamport);
    }
    ClusterConfig result = *this;
    result.lamport = std::min(lamport, highest.value_or(0));
    return result;
}

ClusterConfig ClusterConfig::merged(const ClusterConfig &theirs) const
{
    ClusterConfig result = *this;
    result.lamport = std::max(lamport, theirs.lamport);
    for (auto folder = theirs.folders.cbegin(); folder != theirs.folders.cend(); ++folder) {
        Cells &cells = result.folders[folder.key()];
        for (auto theirCell = folder->cbegin(); theirCell != folder->cend(); ++theirCell) {
            const auto mine = cells.constFind(theirCell.key());
            if (mine == cells.cend() || theirCell->beats(*mine))
                cells.insert(theirCell.key(), *theirCell);
        }
    }
    return result;
}

QByteArray ClusterConfig::toJson() const
{
    // QJsonObject keeps its keys in ascending order, which is the file's order.
    QJsonObject folderObject;
    for (auto it = folders.cbegin(); it != folders.cend(); ++it)
        folderObject.insert(it.key(), cellsToJson(*it));
    const QJsonObject object{
        {QStringLiteral("clusterID"), clusterID},
        {QStringLiteral("folders"), folderObject},
        {QStringLiteral("lamport"), lamport},
        {QStringLiteral("schemaVersion"), schemaVersion},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<ClusterConfig::Decoded> ClusterConfig::fromJson(const QByteArray &body)
{
    try {
        const StrictJson json(StrictJson::parseObject(body));
        Decoded decoded;
        decoded.config.schemaVersion = json.integer(QStringLiteral("schemaVersion"));
        decoded.config.clusterID = json.string(QStringLiteral("clusterID"));
        decoded.config.lamport = json.integer(QStringLiteral("lamport"));
        const QJsonObject folderObject = json.object(QStringLiteral("folders"));
        for (auto it = folderObject.constBegin(); it != folderObject.constEnd(); ++it) {
            const auto [cells, complete] = decodeCells(*it);
            decoded.complete = decoded.complete && complete;
            if (!cells.isEmpty())
                decoded.config.folders.insert(it.key(), cells);
        }
        return decoded;
    } catch (const JsonDecodeError &) {
        return std::nullopt;
    }
}

} // namespace tw

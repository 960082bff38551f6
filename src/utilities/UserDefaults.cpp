#include "utilities/UserDefaults.h"

#include "utilities/OwnerOnlyFile.h"
#include "utilities/SaveLeftovers.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMutex>
#include <QSaveFile>
#include <map>

namespace tw {

// What every store of one file shares. The mutex guards the values and the
// writes, so that two stores never write at once.
struct UserDefaults::Shared
{
    QString filePath;
    QMutex mutex;
    QJsonObject values;
    // The file on disk is not a JSON object: it is copied aside before the
    // first write replaces it.
    bool keepAside = false;
    // The file is there but could not be read: nothing is written over it
    // while it stays.
    bool unreadable = false;
};

namespace {

struct Loaded
{
    QJsonObject values = {};
    bool keepAside = false;
    bool unreadable = false;
};

// Anything at the path, a dangling link included.
bool present(const QString &filePath)
{
    return QFileInfo(filePath).exists() || QFileInfo(filePath).isSymLink();
}

Loaded load(const QString &filePath)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return {.unreadable = present(filePath)};
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return {.unreadable = true};
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return {.keepAside = true};
    return {.values = document.object()};
}

// Another spelling of the same path must find the same store.
QString registryKey(const QString &filePath)
{
    return QDir::cleanPath(QFileInfo(filePath).absoluteFilePath());
}

// A copy that cannot be made keeps the file as it is: whatever the user had
// in it is not thrown away for the sake of one setting.
bool copyAside(const QString &filePath)
{
    const QString copy = filePath + QStringLiteral(".corrupt-") + QString::number(QDateTime::currentSecsSinceEpoch());
    return QFile::copy(filePath, copy) || !QFile::exists(filePath);
}

} // namespace

UserDefaults::UserDefaults(QString filePath) : m_filePath(std::move(filePath)), m_shared(sharedStore(m_filePath)) {}

// Stores are found by path while one of them is alive; once the last one is
// gone the next reads the file afresh.
std::shared_ptr<UserDefaults::Shared> UserDefaults::sharedStore(const QString &filePath)
{
    static QMutex registryMutex;
    static std::map<QString, std::weak_ptr<Shared>> registry;
    const QMutexLocker locker(&registryMutex);
    std::erase_if(registry, [](const auto &entry) { return entry.second.expired(); });
    const QString key = registryKey(filePath);
    if (std::shared_ptr<Shared> existing = registry[key].lock())
        return existing;
    auto shared = std::make_shared<Shared>();
    shared->filePath = filePath;
    // No store of the file is alive, so no save of it is under way.
    removeSaveLeftovers(filePath);
    Loaded loaded = load(filePath);
    shared->values = std::move(loaded.values);
    shared->keepAside = loaded.keepAside;
    shared->unreadable = loaded.unreadable;
    registry[key] = shared;
    return shared;
}

QString UserDefaults::standardFilePath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return QDir::cleanPath(base) + QStringLiteral("/TidewellSync/defaults.json");
}

std::optional<bool> UserDefaults::boolean(const QString &key) const
{
    const QJsonValue stored = value(key).value_or(QJsonValue());
    if (!stored.isBool())
        return std::nullopt;
    return stored.toBool();
}

std::optional<qint64> UserDefaults::integer(const QString &key) const
{
    const QJsonValue stored = value(key).value_or(QJsonValue());
    // toInteger() answers its default for a number with a fraction or beyond
    // 64 bits: two different defaults tell such a number from a stored one.
    const qint64 number = stored.toInteger(0);
    if (!stored.isDouble() || number != stored.toInteger(1))
        return std::nullopt;
    return number;
}

std::optional<QString> UserDefaults::string(const QString &key) const
{
    const QJsonValue stored = value(key).value_or(QJsonValue());
    if (!stored.isString())
        return std::nullopt;
    return stored.toString();
}

std::optional<QStringList> UserDefaults::stringList(const QString &key) const
{
    const QJsonValue stored = value(key).value_or(QJsonValue());
    if (!stored.isArray())
        return std::nullopt;
    QStringList list;
    for (const QJsonValue &element : stored.toArray()) {
        if (!element.isString())
            return std::nullopt;
        list.append(element.toString());
    }
    return list;
}

std::optional<QJsonValue> UserDefaults::value(const QString &key) const
{
    const QMutexLocker locker(&m_shared->mutex);
    const auto it = m_shared->values.constFind(key);
    if (it == m_shared->values.constEnd())
        return std::nullopt;
    return *it;
}

bool UserDefaults::setBoolean(const QString &key, bool value)
{
    return setValue(key, QJsonValue(value));
}

bool UserDefaults::setInteger(const QString &key, qint64 value)
{
    return setValue(key, QJsonValue(value));
}

bool UserDefaults::setString(const QString &key, const QString &value)
{
    return setValue(key, QJsonValue(value));
}

bool UserDefaults::setStringList(const QString &key, const QStringList &value)
{
    return setValue(key, QJsonArray::fromStringList(value));
}

bool UserDefaults::setValue(const QString &key, const QJsonValue &value)
{
    const QMutexLocker locker(&m_shared->mutex);
    m_shared->values.insert(key, value);
    return write(*m_shared);
}

bool UserDefaults::remove(const QString &key)
{
    const QMutexLocker locker(&m_shared->mutex);
    m_shared->values.remove(key);
    return write(*m_shared);
}

bool UserDefaults::write(Shared &shared)
{
    // Once the file is gone it may be written; until then the user's
    // settings in it are not replaced by this process's few.
    if (shared.unreadable && present(shared.filePath))
        return false;
    shared.unreadable = false;
    if (!QDir().mkpath(QFileInfo(shared.filePath).absolutePath()))
        return false;
    if (shared.keepAside && !copyAside(shared.filePath))
        return false;
    shared.keepAside = false;
    QSaveFile file(shared.filePath);
    if (!openOwnerOnly(file))
        return false;
    file.write(QJsonDocument(shared.values).toJson(QJsonDocument::Indented));
    return file.commit();
}

} // namespace tw

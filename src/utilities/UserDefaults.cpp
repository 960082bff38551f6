#include "utilities/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <cmath>

namespace tw {
namespace {

QJsonObject readObject(const QString &filePath)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return {};
    return document.object();
}

// Integers beyond 2^53 are not exact in JSON numbers; the stored values are
// limits and counts far below that.
constexpr double maxExactInteger = 9007199254740992.0;

} // namespace

UserDefaults::UserDefaults(QString filePath) : m_filePath(std::move(filePath)), m_values(readObject(m_filePath)) {}

QString UserDefaults::standardFilePath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return QDir::cleanPath(base) + QStringLiteral("/TidewellSync/defaults.json");
}

std::optional<bool> UserDefaults::boolean(const QString &key) const
{
    const QJsonValue stored = m_values.value(key);
    if (!stored.isBool())
        return std::nullopt;
    return stored.toBool();
}

std::optional<qint64> UserDefaults::integer(const QString &key) const
{
    const QJsonValue stored = m_values.value(key);
    if (!stored.isDouble())
        return std::nullopt;
    const double number = stored.toDouble();
    if (!std::isfinite(number) || std::trunc(number) != number || std::fabs(number) > maxExactInteger)
        return std::nullopt;
    return static_cast<qint64>(number);
}

std::optional<QString> UserDefaults::string(const QString &key) const
{
    const QJsonValue stored = m_values.value(key);
    if (!stored.isString())
        return std::nullopt;
    return stored.toString();
}

std::optional<QStringList> UserDefaults::stringList(const QString &key) const
{
    const QJsonValue stored = m_values.value(key);
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
    auto it = m_values.constFind(key);
    if (it == m_values.constEnd())
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
    m_values.insert(key, value);
    return write();
}

bool UserDefaults::remove(const QString &key)
{
    m_values.remove(key);
    return write();
}

bool UserDefaults::write() const
{
    if (!QDir().mkpath(QFileInfo(m_filePath).absolutePath()))
        return false;
    QSaveFile file(m_filePath);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QJsonDocument(m_values).toJson(QJsonDocument::Indented));
    return file.commit();
}

} // namespace tw

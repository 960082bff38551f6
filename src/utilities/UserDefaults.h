#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <optional>

namespace tw {

// The user's settings under plain keys, kept as one JSON object in a file
// ($XDG_CONFIG_HOME/TidewellSync/defaults.json by default). One store is
// shared by every reader of a file; each setter writes the whole file at once,
// atomically.
//
// Getters are typed: a key that is absent, or that holds a value of another
// type, reads as absent, so callers fall back to their default. Booleans stay
// Booleans: true is not the integer 1, and 1 is not true.
class UserDefaults
{
public:
    // Reads the file; one that is missing or not a JSON object gives an empty
    // store (and is replaced on the first write).
    explicit UserDefaults(QString filePath);
    UserDefaults(const UserDefaults &) = delete;
    UserDefaults &operator=(const UserDefaults &) = delete;

    static QString standardFilePath();

    const QString &filePath() const { return m_filePath; }

    bool contains(const QString &key) const { return m_values.contains(key); }
    std::optional<bool> boolean(const QString &key) const;
    // Whole numbers only: 2.5, true or "2" read as absent.
    std::optional<qint64> integer(const QString &key) const;
    std::optional<QString> string(const QString &key) const;
    // Absent unless every element is a string.
    std::optional<QStringList> stringList(const QString &key) const;
    // The stored JSON value as it is, for records kept as JSON.
    std::optional<QJsonValue> value(const QString &key) const;

    // Each setter changes the value in memory and writes the file; it answers
    // false when the file could not be written (the value stays in memory).
    bool setBoolean(const QString &key, bool value);
    bool setInteger(const QString &key, qint64 value);
    bool setString(const QString &key, const QString &value);
    bool setStringList(const QString &key, const QStringList &value);
    bool setValue(const QString &key, const QJsonValue &value);
    bool remove(const QString &key);

private:
    bool write() const;

    QString m_filePath;
    QJsonObject m_values;
};

} // namespace tw

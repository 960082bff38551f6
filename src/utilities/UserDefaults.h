#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

namespace tw {

// The user's settings under plain keys, kept as one JSON object in a file
// ($XDG_CONFIG_HOME/TidewellSync/defaults.json by default). Every
// UserDefaults of one file in this process shares one set of values, so a key
// written through one is seen by the others and kept when they write; each
// setter writes the whole file at once, atomically. Safe from any thread.
//
// Getters are typed: a key that is absent, or that holds a value of another
// type, reads as absent, so callers fall back to their default. Booleans stay
// Booleans: true is not the integer 1, and 1 is not true.
class UserDefaults
{
public:
    // Joins the values of a store of the same file that is still alive, or
    // reads the file. One that is missing or not a JSON object gives an empty
    // store. A file that is there but is not a JSON object is copied aside,
    // under its own name followed by ".corrupt-<seconds since 1970>", before
    // the first write replaces it; a write that cannot make that copy fails.
    // A file that is there but cannot be read is never written over: every
    // write fails while it stays.
    explicit UserDefaults(QString filePath);
    UserDefaults(const UserDefaults &) = delete;
    UserDefaults &operator=(const UserDefaults &) = delete;

    static QString standardFilePath();

    const QString &filePath() const { return m_filePath; }

    bool contains(const QString &key) const { return value(key).has_value(); }
    std::optional<bool> boolean(const QString &key) const;
    // Whole numbers within 64 bits only: 2.5, 1e300, true or "2" read as
    // absent. Every value setInteger() writes reads back exactly.
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
    struct Shared;

    static std::shared_ptr<Shared> sharedStore(const QString &filePath);
    static bool write(Shared &shared);

    QString m_filePath;
    std::shared_ptr<Shared> m_shared;
};

} // namespace tw

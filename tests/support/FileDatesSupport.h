#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

namespace tw::test {

// Why creation-date tests cannot run in this directory: its file system
// reports no birth time or refuses "user." attributes. Nothing when they can.
std::optional<QString> fileDatesUnsupportedReason(const QString &directory);

// Creates (or replaces) a file with the given content; false on failure.
bool writeFile(const QString &path, const QByteArray &content = QByteArrayLiteral("x"));

// The raw creation-date attribute of a file, or nothing.
std::optional<QByteArray> rawCrtime(const QString &path);
bool setRawCrtime(const QString &path, const QByteArray &value);

// Runs the event loop in short steps until the condition holds or the
// deadline passes; answers the condition's last value.
bool waitUntil(const std::function<bool()> &condition, std::chrono::milliseconds deadline);

} // namespace tw::test

#pragma once

#include <QString>
#include <exception>
#include <string>

namespace tw {

// A failure of the operating system (a file, process or socket call), carried
// with the platform's own text. Kept apart from SyncEngineError so callers can
// tell "the engine said no" from "the machine said no".
class PlatformError : public std::exception
{
public:
    explicit PlatformError(QString message) : m_message(std::move(message)), m_what(m_message.toStdString()) {}

    // Builds the text from errno as strerror gives it, after a short context.
    static PlatformError fromErrno(const QString &context, int error);

    const QString &message() const { return m_message; }
    const char *what() const noexcept override { return m_what.c_str(); }

private:
    QString m_message;
    std::string m_what;
};

// The user-facing text of any exception the engine layer lets through.
QString describeError(const std::exception &error);

} // namespace tw

#pragma once

#include <QString>
#include <exception>
#include <string>

namespace tw {

// A JSON answer that does not have the shape a record requires. The text names
// the key and what was wrong with it.
class JsonDecodeError : public std::exception
{
public:
    explicit JsonDecodeError(QString detail) : m_detail(std::move(detail)), m_what(m_detail.toStdString()) {}
    const QString &detail() const { return m_detail; }
    const char *what() const noexcept override { return m_what.c_str(); }

private:
    QString m_detail;
    std::string m_what;
};

} // namespace tw

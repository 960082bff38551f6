#pragma once

#include <QString>
#include <exception>
#include <string>

namespace tw {

// A failed feedback upload that the server or its answer caused. The text is
// errorDescription(), which what() mirrors; users never see it.
class FeedbackError : public std::exception
{
public:
    enum class Kind { Http, InvalidURL, InvalidResponse };

    static FeedbackError http(int statusCode, QString body);
    static FeedbackError invalidURL();
    static FeedbackError invalidResponse();

    Kind kind() const { return m_kind; }
    int statusCode() const { return m_statusCode; }
    const QString &body() const { return m_body; }

    QString errorDescription() const;
    const char *what() const noexcept override { return m_what.c_str(); }

private:
    FeedbackError(Kind kind, int statusCode = 0, QString body = {});

    Kind m_kind;
    int m_statusCode;
    QString m_body;
    std::string m_what;
};

} // namespace tw

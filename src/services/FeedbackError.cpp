#include "services/FeedbackError.h"

#include <QTextBoundaryFinder>

namespace tw {
namespace {

constexpr int kBodyCharacters = 200;

// Counted in characters as a reader sees them, so an emoji or an accented
// letter at the cut is never split.
QString leadingCharacters(const QString &text, int count)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    for (int i = 0; i < count; ++i) {
        if (finder.toNextBoundary() < 0)
            return text;
    }
    return text.left(finder.position());
}

} // namespace

FeedbackError::FeedbackError(Kind kind, int statusCode, QString body)
    : m_kind(kind), m_statusCode(statusCode), m_body(std::move(body)), m_what(errorDescription().toStdString())
{
}

FeedbackError FeedbackError::http(int statusCode, QString body)
{
    return FeedbackError(Kind::Http, statusCode, std::move(body));
}

FeedbackError FeedbackError::invalidURL()
{
    return FeedbackError(Kind::InvalidURL);
}

FeedbackError FeedbackError::invalidResponse()
{
    return FeedbackError(Kind::InvalidResponse);
}

QString FeedbackError::errorDescription() const
{
    switch (m_kind) {
    case Kind::Http:
        return QStringLiteral("HTTP ") + QString::number(m_statusCode) + QStringLiteral(": ")
             + leadingCharacters(m_body, kBodyCharacters);
    case Kind::InvalidURL:
        return QStringLiteral("Invalid feedback URL");
    case Kind::InvalidResponse:
        break;
    }
    return QStringLiteral("Invalid response from feedback server");
}

} // namespace tw

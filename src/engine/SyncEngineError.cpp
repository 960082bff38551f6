#include "engine/SyncEngineError.h"

namespace tw {

SyncEngineError::SyncEngineError(Kind kind, QString payload, int statusCode)
    : m_kind(kind), m_payload(std::move(payload)), m_statusCode(statusCode)
{
    m_what = errorDescription().toStdString();
}

SyncEngineError SyncEngineError::notImplemented(QString what) { return {Kind::NotImplemented, std::move(what)}; }
SyncEngineError SyncEngineError::binaryNotFound(QString detail) { return {Kind::BinaryNotFound, std::move(detail)}; }
SyncEngineError SyncEngineError::backend(QString message) { return {Kind::Backend, std::move(message)}; }
SyncEngineError SyncEngineError::refused(QString message) { return {Kind::Refused, std::move(message)}; }
SyncEngineError SyncEngineError::http(int statusCode, QString body) { return {Kind::Http, std::move(body), statusCode}; }
SyncEngineError SyncEngineError::notRunning() { return {Kind::NotRunning, {}}; }
SyncEngineError SyncEngineError::invalidResponse() { return {Kind::InvalidResponse, {}}; }

QString SyncEngineError::errorDescription() const
{
    switch (m_kind) {
    case Kind::NotImplemented: return QStringLiteral("Not implemented yet: ") + m_payload;
    case Kind::BinaryNotFound: return QStringLiteral("Sync backend not found. ") + m_payload;
    case Kind::Backend:
    case Kind::Refused: return m_payload;
    case Kind::Http:
        return QStringLiteral("Backend error (HTTP %1): ").arg(m_statusCode) + m_payload;
    case Kind::NotRunning: return QStringLiteral("The sync engine is not running.");
    case Kind::InvalidResponse: return QStringLiteral("Invalid response from the sync backend.");
    }
    return m_payload;
}

} // namespace tw

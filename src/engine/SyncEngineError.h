#pragma once

#include <QString>
#include <exception>
#include <string>

namespace tw {

// The one error of the engine layer. Callers switch on kind(); the text users
// see is errorDescription(), which what() mirrors. Refused is the engine
// turning down what it was asked to take (an ignore line it cannot use):
// asking again with the same content gets the same answer.
class SyncEngineError : public std::exception
{
public:
    enum class Kind { NotImplemented, BinaryNotFound, Backend, Http, NotRunning, InvalidResponse, Refused };

    static SyncEngineError notImplemented(QString what);
    static SyncEngineError binaryNotFound(QString detail);
    static SyncEngineError backend(QString message);
    static SyncEngineError refused(QString message);
    static SyncEngineError http(int statusCode, QString body);
    static SyncEngineError notRunning();
    static SyncEngineError invalidResponse();

    Kind kind() const { return m_kind; }
    // The text payload of notImplemented, binaryNotFound, backend and refused; the body of http.
    const QString &payload() const { return m_payload; }
    int statusCode() const { return m_statusCode; }

    QString errorDescription() const;
    const char *what() const noexcept override { return m_what.c_str(); }

private:
    SyncEngineError(Kind kind, QString payload, int statusCode = 0);

    Kind m_kind;
    QString m_payload;
    int m_statusCode;
    std::string m_what;
};

} // namespace tw

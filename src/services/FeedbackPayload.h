#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>
#include <optional>

namespace tw {

// One feedback report, as the feedback sheet builds it and the retry queue
// keeps it until it is delivered.
struct FeedbackPayload
{
    QString text; // the user's message, as typed
    QString userName;
    QString appVersion;
    QString osVersion;
    QString appModule; // origin tag of the sheet that collected the report
    QString diagnose;  // diagnostics summary
    std::optional<QString> submitterEmail = std::nullopt;
    std::optional<QByteArray> screenshotPNG = std::nullopt;

    // The queue file's form: optional fields left out when absent, the
    // screenshot in Base64.
    QJsonObject toJson() const;
    // Throws JsonDecodeError when a text field is missing or a value has
    // another type.
    static FeedbackPayload fromJson(const QJsonObject &object);

    // The uploaded text fields under their upload names, in the order the
    // server receives them; the e-mail only when given and not empty.
    QList<QPair<QString, QString>> uploadFields() const;

    bool operator==(const FeedbackPayload &) const = default;
};

} // namespace tw

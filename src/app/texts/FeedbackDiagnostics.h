#pragma once

#include "app/HealthInputs.h"
#include "app/SyncHealth.h"

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace tw {

// The short summary a feedback report carries: counts and states only, never
// a file name or a file's contents, so a report can be read by anybody.
struct FeedbackDiagnostics
{
    QDateTime date;
    QString engineName;
    bool engineRunning = false;
    qsizetype projects = 0;
    qsizetype folders = 0;
    qsizetype syncEnabledFolders = 0;
    qsizetype devices = 0;
    qsizetype connectedDevices = 0;
    SyncHealth health;

    // Everything from what the health rules read.
    static FeedbackDiagnostics from(const HealthInputs &in, QString engineName, QDateTime now);

    // Seven lines, no line feed after the last; numbers never grouped, the
    // date in the given locale.
    QString text(const QLocale &locale = QLocale::system()) const;
};

// This Mac's health as one word or phrase, "syncing (98%)" and the like.
QString syncHealthDescription(const SyncHealth &health);
// A screenshot's size: whole kilobytes below 1024 KB, else megabytes with one decimal.
QString formatBytes(qint64 bytes);
// Who sends a report: the engine's name of this Mac, else the login account's
// short name, else $USER.
QString feedbackUserName(const QString &deviceName);
// The login account's short name; empty when the system knows none.
QString accountShortName();

} // namespace tw

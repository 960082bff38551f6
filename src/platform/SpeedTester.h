#pragma once

#include "platform/SpeedTestResult.h"

#include <QByteArray>
#include <QString>
#include <chrono>
#include <optional>

#include <qcoro/qcorotask.h>

namespace tw {

// Measures this Mac's internet download and upload capacity with the system's
// speed test tool ("speedtest-cli --json --secure"), for the network settings'
// guide to bandwidth limits. Holds no state; concurrent runs are independent.
class SpeedTester
{
public:
    static inline const QString defaultToolPath = QStringLiteral("/usr/bin/speedtest-cli");
    // The tool has no limit of its own on its whole run.
    static constexpr std::chrono::milliseconds defaultTimeLimit = std::chrono::seconds(90);

    // Runs one measurement; nothing in a loopback-only run (the tool is not
    // started) and on any failure: the tool missing or not
    // starting, killed at the time limit, or output without both figures.
    // A tool that exits with an error but printed its figures still counts.
    // Never throws.
    static QCoro::Task<std::optional<SpeedTestResult>> run(QString toolPath = defaultToolPath,
                                                           std::chrono::milliseconds timeLimit = defaultTimeLimit);

    // The figures of the tool's JSON output: the numbers "download" and
    // "upload" in bits per second, converted to megabits per second.
    static std::optional<SpeedTestResult> parseOutput(const QByteArray &output);
};

} // namespace tw

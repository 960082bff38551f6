#include "platform/SpeedTester.h"

#include "platform/ProcessEnd.h"
#include "utilities/LoopbackOnly.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <memory>

namespace tw {

QCoro::Task<std::optional<SpeedTestResult>> SpeedTester::run(QString toolPath, std::chrono::milliseconds timeLimit)
{
    // The tool measures against servers on the internet.
    if (loopbackOnlyRun())
        co_return std::nullopt;
    try {
        auto process = std::make_unique<QProcess>();
        // The tool reads nothing; the application's own input is not its to take.
        process->setStandardInputFile(QProcess::nullDevice());
        process->setStandardErrorFile(QProcess::nullDevice());
        auto *end = new ProcessEnd(process.get());  // owned by the process
        process->start(toolPath, {QStringLiteral("--json"), QStringLiteral("--secure")});
        if (!co_await end->wait(timeLimit)) {
            process->kill();
            co_await end->wait(std::chrono::seconds(5));
            co_return std::nullopt;
        }
        if (process->error() == QProcess::FailedToStart)
            co_return std::nullopt;
        co_return parseOutput(process->readAllStandardOutput());
    } catch (...) {
        co_return std::nullopt;
    }
}

std::optional<SpeedTestResult> SpeedTester::parseOutput(const QByteArray &output)
{
    const QJsonDocument document = QJsonDocument::fromJson(output);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const QJsonValue download = object.value(QStringLiteral("download"));
    const QJsonValue upload = object.value(QStringLiteral("upload"));
    if (!download.isDouble() || !upload.isDouble())
        return std::nullopt;
    return SpeedTestResult{download.toDouble() / 1'000'000.0, upload.toDouble() / 1'000'000.0};
}

} // namespace tw

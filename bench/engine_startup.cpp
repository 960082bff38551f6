// Cold start of the engine to its first successful ping; twelve starts on the
// existing home, beside Syncthing's own time from launch to its first answer
// (probed every 5 ms) in the same run; and the warm REST round trip (median
// of 200 GET /rest/system/status). Loopback-only Syncthing in a temporary home.

#include "AwaitTask.h"
#include "SyncthingInstance.h"
#include "engine/syncthing/SyncthingEngine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <vector>

using namespace tw;

namespace {

using namespace std::chrono_literals;

constexpr int kStarts = 12;

double medianMs(std::vector<qint64> nanos)
{
    std::sort(nanos.begin(), nanos.end());
    return nanos[nanos.size() / 2] / 1e6;
}

QString summary(const std::vector<qint64> &nanos)
{
    return QStringLiteral("median %1 ms (min %2, max %3, n=%4)")
        .arg(medianMs(nanos), 0, 'f', 0)
        .arg(*std::min_element(nanos.begin(), nanos.end()) / 1e6, 0, 'f', 0)
        .arg(*std::max_element(nanos.begin(), nanos.end()) / 1e6, 0, 'f', 0)
        .arg(nanos.size());
}

qint64 engineStart(SyncthingEngine &engine)
{
    awaitTask(engine.stop());
    QElapsedTimer timer;
    timer.start();
    awaitTask(engine.start());
    return timer.nsecsElapsed();
}

// Syncthing's own start: the supervisor's launch, then a probe every 5 ms.
qint64 syncthingOwnStart(SyncthingEngine &engine, SyncthingProcess &process)
{
    awaitTask(engine.stop());
    QElapsedTimer timer;
    timer.start();
    const SyncthingProcess::Endpoint endpoint = awaitTask(process.startIfNeeded());
    const SyncthingAPI api(endpoint.baseURL, endpoint.apiKey);
    for (;;) {
        try {
            awaitTask(api.ping());
            return timer.nsecsElapsed();
        } catch (const SyncEngineError &) {
            awaitTask(realSleeper()(5ms));
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTemporaryDir dir;

    SyncthingProcess::Options options;
    options.loopbackOnly = true;
    options.environment = SyncthingInstance::isolatedEnvironment(dir.path());
    auto process = std::make_shared<SyncthingProcess>(AppPaths(dir.path() + QStringLiteral("/TidewellSync")),
                                                      SyncthingProcess::defaultCandidates(), options);
    SyncthingEngine engine(process, realSleeper());

    QElapsedTimer cold;
    cold.start();
    awaitTask(engine.start());
    out << "cold start (generate, harden, launch, first ping): " << cold.elapsed() << " ms\n";

    std::vector<qint64> engineStarts;
    std::vector<qint64> ownStarts;
    for (int i = 0; i < kStarts; ++i) {
        engineStarts.push_back(engineStart(engine));
        ownStarts.push_back(syncthingOwnStart(engine, *process));
    }
    out << "engine start with an existing home: " << summary(engineStarts) << "\n";
    out << "Syncthing's own start (launch to first answer): " << summary(ownStarts) << "\n";
    awaitTask(engine.start());

    const SyncthingProcess::Endpoint endpoint = *process->endpoint();
    SyncthingAPI api(endpoint.baseURL, endpoint.apiKey);
    awaitTask(api.systemStatus());
    std::vector<qint64> samples;
    for (int i = 0; i < 200; ++i) {
        QElapsedTimer timer;
        timer.start();
        awaitTask(api.systemStatus());
        samples.push_back(timer.nsecsElapsed());
    }
    out << "warm GET /rest/system/status, median of 200: " << medianMs(samples) << " ms (min "
        << *std::min_element(samples.begin(), samples.end()) / 1e6 << ", max "
        << *std::max_element(samples.begin(), samples.end()) / 1e6 << ")\n";
    out.flush();
    awaitTask(engine.stop());
    return 0;
}

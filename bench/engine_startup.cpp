// Cold start of the engine to its first successful ping, and the warm REST
// round trip (median of 200 GET /rest/system/status), on a loopback-only
// Syncthing in a temporary home.

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

double medianMs(std::vector<qint64> nanos)
{
    std::sort(nanos.begin(), nanos.end());
    return nanos[nanos.size() / 2] / 1e6;
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

    awaitTask(engine.stop());
    QElapsedTimer warmStart;
    warmStart.start();
    awaitTask(engine.start());
    out << "start with an existing home: " << warmStart.elapsed() << " ms\n";

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

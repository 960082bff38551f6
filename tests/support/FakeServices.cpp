#include "FakeServices.h"

namespace tw {

AppEnvironment::Services fakeServices(AppPaths root, UserDefaults &defaults, MemoryKeychain &keychain,
                                      FeedbackService &feedback, RecordingNotifier &notifier, ManualClock &clock,
                                      MountEventSource &mounts, QString autostartEntry)
{
    AppEnvironment::Services services(std::move(root));
    services.defaults = &defaults;
    services.keychain = &keychain;
    services.feedback = &feedback;
    services.notifier = &notifier;
    services.clock = clock.clock();
    services.mountEvents = &mounts;
    services.lan = {QHostAddress::LocalHost, 0, 1};
    services.autostartEntry = std::move(autostartEntry);
    return services;
}

} // namespace tw

#pragma once

#include "app/AppEnvironment.h"
#include "platform/MountEventSource.h"
#include "services/FeedbackService.h"
#include "utilities/UserDefaults.h"

#include "ManualClock.h"
#include "MemoryKeychain.h"
#include "RecordingNotifier.h"

namespace tw {

// The services of an environment under test, wired to the test's own fakes:
// its defaults, keychain, feedback service, notifier, clock and mount events,
// the LAN server on loopback and paired Macs asked on a port where nothing
// listens. The caller sets what it wants otherwise (the sleeper, the LAN).
AppEnvironment::Services fakeServices(AppPaths root, UserDefaults &defaults, MemoryKeychain &keychain,
                                      FeedbackService &feedback, RecordingNotifier &notifier, ManualClock &clock,
                                      MountEventSource &mounts, QString autostartEntry);

} // namespace tw

#pragma once

#include <QString>

namespace tw {

// Whether this run must keep to loopback (TIDEWELL_LOOPBACK_ONLY=1): set for
// every development run and by the tests that check the guards. Read at each
// call, so a test may set it for itself.
bool loopbackOnlyRun();

// Whether a host text names this machine: an address in 127.0.0.0/8 (an
// IPv4-mapped one too), "::1" (brackets allowed) or "localhost" in any case.
// Judged on the text alone, never by resolving: a name that a resolver would
// map to loopback is not one here.
bool isLoopbackHost(const QString &host);

} // namespace tw

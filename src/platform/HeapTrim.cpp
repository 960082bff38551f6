#include "platform/HeapTrim.h"

#include <QtConcurrent/QtConcurrentRun>
#include <atomic>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace tw {
namespace {

std::atomic<bool> g_running{false};

void trim()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
    g_running = false;
}

} // namespace

void HeapTrim::request()
{
    if (g_running.exchange(true))
        return;
    // Nobody waits for it: what it frees only shows in the resident size.
    (void)QtConcurrent::run(trim);
}

bool HeapTrim::running()
{
    return g_running;
}

} // namespace tw

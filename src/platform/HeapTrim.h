#pragma once

namespace tw {

// Gives the heap that the C library keeps after a burst of work (start-up,
// a sweep, a full reload) back to the system: glibc returns freed memory
// in the middle of its heap only when asked. The trim walks the whole heap,
// so it runs on a worker thread, one at a time; a request while one runs
// is covered by it.
class HeapTrim
{
public:
    static void request();
    // Whether a trim is running now.
    static bool running();
};

} // namespace tw

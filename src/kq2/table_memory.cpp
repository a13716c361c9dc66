// Touching table memory: every page written with what it holds, so that it
// is backed before a search needs it (touch_tables decides when).
#include <cstddef>

#include "kq2.h"

namespace kq2 {

void touch_pages(void* start, size_t bytes) {
    // Each page is written with what it holds: touched, never changed.
    volatile char* p = static_cast<volatile char*>(start);
    for (size_t at = 0; at < bytes; at += 4096) p[at] = p[at];
}

} // namespace kq2

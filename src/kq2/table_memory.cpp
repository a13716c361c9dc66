// Memory for the engine's large tables: zeroed, and in 2 MiB pages where the
// system offers them. A search probes its tables at random, so with small
// pages nearly every probe of a fresh part costs a page fault and most cost a
// TLB miss; large pages take both away. The tables are left untouched when
// they are taken, so the process grows only once they are used; they are
// touched a large page at a time (touch_tables) before a search needs them.
#include <sys/mman.h>

#include <cstddef>
#include <cstdint>

#include "kq2.h"

namespace kq2 {

namespace {
constexpr size_t LARGE_PAGE = size_t(2) << 20;
}

void touch_pages(void* start, size_t bytes) {
    // Each page is written with what it holds: touched, never changed.
    volatile char* p = static_cast<volatile char*>(start);
    for (size_t at = 0; at < bytes; at += 4096) p[at] = p[at];
}

void* take_table(size_t bytes) {
    if (bytes == 0) return nullptr;
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return nullptr;
#ifdef MADV_HUGEPAGE
    if (bytes >= LARGE_PAGE) madvise(p, bytes, MADV_HUGEPAGE);
#endif
    return p;
}

void give_back_table(void* p, size_t bytes) {
    if (p) munmap(p, bytes);
}

void prefer_large_pages(void* start, size_t bytes) {
#ifdef MADV_HUGEPAGE
    const uintptr_t first =
        (reinterpret_cast<uintptr_t>(start) + LARGE_PAGE - 1) & ~(LARGE_PAGE - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(start) + bytes) & ~(LARGE_PAGE - 1);
    if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#else
    (void)start;
    (void)bytes;
#endif
}

void release_pages(void* start, size_t bytes) {
    // Whole pages are given back (they read as zero when next touched); the
    // parts of pages at either end are cleared.
    const uintptr_t page = 4096;
    const uintptr_t s = reinterpret_cast<uintptr_t>(start), e = s + bytes;
    const uintptr_t first = (s + page - 1) & ~(page - 1), last = e & ~(page - 1);
    if (last <= first) {
        for (uintptr_t a = s; a < e; ++a) *reinterpret_cast<volatile char*>(a) = 0;
        return;
    }
    for (uintptr_t a = s; a < first; ++a) *reinterpret_cast<volatile char*>(a) = 0;
    madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
    for (uintptr_t a = last; a < e; ++a) *reinterpret_cast<volatile char*>(a) = 0;
}

} // namespace kq2

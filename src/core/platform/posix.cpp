// The platform layer on Linux and other POSIX systems.
#ifndef _WIN32

#include <sys/mman.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform.h"

void prepare_streams() {}

void lock_output() { flockfile(stdout); }
void unlock_output() { funlockfile(stdout); }

// The partial pages at either end are written; the whole pages between them
// are dropped and come back zeroed.
void clear_memory(void* p, size_t, size_t size) {
    const uintptr_t page = 4096;
    const uintptr_t start = reinterpret_cast<uintptr_t>(p);
    const uintptr_t end = start + size;
    const uintptr_t first = (start + page - 1) & ~(page - 1), last = end & ~(page - 1);
    if (last <= first) {
        std::memset(p, 0, size);
        return;
    }
    std::memset(p, 0, first - start);
    madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
    std::memset(reinterpret_cast<void*>(last), 0, end - last);
}

constexpr uintptr_t LARGE_PAGE = uintptr_t(2) << 20;

void* take_table_memory(size_t bytes) {
    if (bytes == 0) return nullptr;
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return nullptr;
#ifdef MADV_HUGEPAGE
    if (bytes >= LARGE_PAGE) madvise(p, bytes, MADV_HUGEPAGE);
#endif
    return p;
}

void give_table_memory_back(void* p, size_t bytes) {
    if (p) munmap(p, bytes);
}

void prefer_large_pages(void* p, size_t bytes) {
#ifdef MADV_HUGEPAGE
    const uintptr_t start = reinterpret_cast<uintptr_t>(p);
    const uintptr_t first = (start + LARGE_PAGE - 1) & ~(LARGE_PAGE - 1);
    const uintptr_t end = (start + bytes) & ~(LARGE_PAGE - 1);
    if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#else
    (void)p;
    (void)bytes;
#endif
}

#endif

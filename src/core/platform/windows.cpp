// The platform layer on Windows (MinGW-w64 builds).
#ifdef _WIN32

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform.h"

// Text mode would turn "\n" into "\r\n" on output and end input at a byte 26.
void prepare_streams() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
}

void lock_output() { _lock_file(stdout); }
void unlock_output() { _unlock_file(stdout); }

// The used part is written; the whole pages after it are reset: the system
// may drop them from the working set without saving what they held.
void clear_memory(void* p, size_t used, size_t size) {
    std::memset(p, 0, used);
    const uintptr_t page = 4096;
    const uintptr_t first = (reinterpret_cast<uintptr_t>(p) + used + page - 1) & ~(page - 1);
    const uintptr_t last = (reinterpret_cast<uintptr_t>(p) + size) & ~(page - 1);
    if (last > first)
        VirtualAlloc(reinterpret_cast<void*>(first), last - first, MEM_RESET, PAGE_READWRITE);
}

// Committed on demand by the system: zeroed, and resident only as touched.
void* take_table_memory(size_t bytes) {
    if (bytes == 0) return nullptr;
    return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void give_table_memory_back(void* p, size_t) {
    if (p) VirtualFree(p, 0, MEM_RELEASE);
}

// Large pages on Windows need a privilege a tournament machine does not give.
void prefer_large_pages(void*, size_t) {}

#endif

// The platform layer on Windows (MinGW-w64 builds).
#ifdef _WIN32

#include <fcntl.h>
#include <io.h>

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

void clear_memory(void* p, size_t used, size_t) { std::memset(p, 0, used); }

#endif

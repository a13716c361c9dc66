#include "timing.h"

#include <ctime>

namespace {

int64_t monotonic_ms() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

const int64_t process_start_ms = monotonic_ms();

} // namespace

int32_t think_start = 0;
int32_t think_budget = 0;
uint8_t time_up = 0;
std::atomic<bool> think_stop{false};

int32_t clock_ms() { return int32_t(uint32_t(monotonic_ms() - process_start_ms)); }

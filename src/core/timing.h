// The think clock shared by the front end, the solver and the searches.
//
// clock_ms() is milliseconds of a monotonic wall clock since process start.
// The front end fixes think_start and think_budget before every think; every
// solver and search node compares the elapsed time against the budget and
// raises time_up once it is spent. time_up is only ever touched by the thread
// that runs the think.
#pragma once

#include <atomic>
#include <cstdint>

int32_t clock_ms();

extern int32_t think_start;  // clock_ms() when the move was requested
extern int32_t think_budget; // milliseconds allowed for the think
extern uint8_t time_up;      // set once a node saw the budget spent
// Set by the main thread to end a running think at its next time test (a
// STOP, or the program ending); cleared when the next think is requested.
extern std::atomic<bool> think_stop;

// Milliseconds since think_start; computed modulo 2^32, so it stays right when
// the 32-bit clock wraps after 24.8 days of uptime.
inline int32_t think_elapsed() { return int32_t(uint32_t(clock_ms()) - uint32_t(think_start)); }

// True once the budget is used up (a budget of 0 or less is spent at once),
// or the think was told to stop.
inline bool time_is_spent() {
    return think_elapsed() >= think_budget || think_stop.load(std::memory_order_relaxed);
}

// The think worker and the time allotment.
//
// Two events hand the work over. start_event releases one waiter per signal
// and resets itself; it starts unsignalled. done_event stays signalled until
// reset; it starts signalled and is signalled exactly while the worker is idle.
// The main thread touches the game only after done_event was seen signalled,
// and the worker only between a start and its done, so the game and the
// engine have one owner at a time without any other lock.
//
// The events live in constant-initialised statics with trivial destructors and
// the worker is detached: exit() while the worker sleeps in its wait tears
// nothing down under it.
#include <pthread.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "../engine/engine.h"
#include "../timing.h"
#include "protocol.h"

namespace {

struct Event {
    pthread_mutex_t mutex;
    pthread_cond_t changed;
    bool signalled;
    bool auto_reset; // a released waiter resets the event
};

Event start_event = {PTHREAD_MUTEX_INITIALIZER, PTHREAD_COND_INITIALIZER, false, true};
Event done_event = {PTHREAD_MUTEX_INITIALIZER, PTHREAD_COND_INITIALIZER, true, false};

// False when the thread could not be created; thinks then run on the caller.
bool worker_started = false;

void set_event(Event& e) {
    pthread_mutex_lock(&e.mutex);
    e.signalled = true;
    if (e.auto_reset) {
        pthread_cond_signal(&e.changed);
    } else {
        pthread_cond_broadcast(&e.changed);
    }
    pthread_mutex_unlock(&e.mutex);
}

void reset_event(Event& e) {
    pthread_mutex_lock(&e.mutex);
    e.signalled = false;
    pthread_mutex_unlock(&e.mutex);
}

void wait_event(Event& e) {
    pthread_mutex_lock(&e.mutex);
    while (!e.signalled) pthread_cond_wait(&e.changed, &e.mutex);
    if (e.auto_reset) e.signalled = false;
    pthread_mutex_unlock(&e.mutex);
}

void* think_worker(void*) {
    for (;;) {
        wait_event(start_event);
        reply_move();
        set_event(done_event);
    }
    return nullptr;
}

char column_letter(Square m) { return char('A' + (m & 15)); }
char row_letter(Square m) { return char('A' + (m >> 4)); }

} // namespace

void start_worker() {
    pthread_t thread;
    if (pthread_create(&thread, nullptr, think_worker, nullptr) != 0) return;
    pthread_detach(thread);
    worker_started = true;
}

void wait_done() { wait_event(done_event); }

void wait_idle() {
    wait_done();
    if (board_width != 0) return;
    // A game command before any size: play on, as if 20x20 had been announced.
    size_store(board_width, 20);
    size_store(board_height, 20);
    register_exit_hook();
    send_line("ERROR board size must be 15x15");
}

// The budget is the turn limit less 100 ms of margin, but at most a twentieth
// of the time left in the match while that is known (positive).
void fix_think_budget() {
    think_stop.store(false, std::memory_order_relaxed);
    think_start = clock_ms();
    if (engine_face && engine_face->budget) {
        think_budget = engine_face->budget();
        return;
    }
    int64_t budget = int64_t(timeout_turn) - 100;
    if (time_left >= 1 && time_left / 20 < budget) budget = time_left / 20;
    think_budget = budget < INT32_MIN ? INT32_MIN : int32_t(budget);
}

void start_think() {
    fix_think_budget();
    if (!worker_started) {
        reply_move();
        return;
    }
    reset_event(done_event);
    set_event(start_event);
}

// The announcement is written as one whole line once the think is over, so a
// reply the main thread sends meanwhile (ABOUT, UNKNOWN) cannot land inside it.
void reply_move() {
    Square m = engine_face->think(game_record);
    if (engine_face->report) engine_face->report();
    if (m == NO_MOVE) {
        fputs("MESSAGE computer: Pass.\n", stdout);
        game_live = 0;
        m = 0; // a pass is still answered with a move: the corner
    } else {
        printf("MESSAGE computer: #%c%c\n", column_letter(m), row_letter(m));
        record_move(m);
        game_live = 1;
    }
    const int32_t x = m & 15;
    const int32_t y = m >> 4;
    if (x < size_load(board_width) && y < size_load(board_height) && x < BOARD_SIZE &&
        y < BOARD_SIZE && protocol_board[x * BOARD_SIZE + y] == 0) {
        protocol_board[x * BOARD_SIZE + y] = 1;
        record_move(m);
    } else {
        send_line("ERROR my move [%d,%d]", x, y);
    }
    send_line("%d,%d", x, y);
}

// The engine allocates nothing after set-up: once a first think has built the
// tables, thinks, replays, referee checks and the solver take no memory from
// the heap, however the position looks.
//
// This test binary replaces malloc, calloc and realloc (glibc lets a program
// do that) with versions that count calls while counting is switched on and
// hand every request on to glibc's own allocator. Under a sanitizer the
// sanitizer owns malloc, so nothing is replaced there and the test skips.
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <string>

#include "kq2/kq2.h"
#include "core/protocol/protocol.h"
#include "test_support.h"
#include "core/timing.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KQ_COUNT_ALLOCATIONS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define KQ_COUNT_ALLOCATIONS 0
#endif
#endif
#ifndef KQ_COUNT_ALLOCATIONS
#define KQ_COUNT_ALLOCATIONS 1
#endif

namespace {

std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

[[maybe_unused]] void note_allocation() {
    if (counting.load(std::memory_order_relaxed))
        allocations.fetch_add(1, std::memory_order_relaxed);
}

// Heap calls made while `run` runs.
template <class F> long allocations_during(F run) {
    allocations = 0;
    counting = true;
    run();
    counting = false;
    return allocations.load();
}

[[maybe_unused]] GameRecord record_from(const std::string& letters) {
    GameRecord r{};
    EXPECT_TRUE(parse_moves(letters, r)) << letters;
    return r;
}

} // namespace

#if KQ_COUNT_ALLOCATIONS
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* p, size_t size);

void* malloc(size_t size) noexcept {
    note_allocation();
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) noexcept {
    note_allocation();
    return __libc_calloc(count, size);
}
void* realloc(void* p, size_t size) noexcept {
    note_allocation();
    return __libc_realloc(p, size);
}
}
#endif

TEST(Allocation, NothingAfterSetUp) {
#if !KQ_COUNT_ALLOCATIONS
    GTEST_SKIP() << "allocation counting is off under a sanitizer, whose allocator owns malloc";
#else
    // The counter sees both kinds of request, or a pass below would mean nothing.
    EXPECT_EQ(allocations_during([] {
                  void* volatile p = std::malloc(40);
                  std::free(p);
                  int* volatile q = new int(7);
                  delete q;
              }),
              2);

    const std::string games[] = {
        "",                                             // empty: the centre
        "HH HG IG",                                     // opening
        "HH HG HF JH GG II IE JD GI IH FI EI GF GH FF", // middle game
        "HH HG HF JH GG II IE JD GI IH FI EI GF GH FF IF HJ",
        "HH AA IH AO JH OA",                            // a four-threat win for black
        "AA AF BA BF CA CF DA DF",                      // both sides hold a four
        "HH HI IH II GH JH IG GG JG KG HG",             // black to block, fouls near
    };
    GameRecord full{};
    for (int s = 0; s < 240; ++s)
        if (on_board(unsigned(s))) full.moves[full.count++] = Square(s);
    GameRecord off_board = record_from("HH HI");
    off_board.moves[off_board.count++] = Square(15);

    // Set-up and a first think of each engine, which build the tables and
    // statistics lists.
    think_start = clock_ms();
    think_budget = 20;
    think(record_from(games[2]));
    think_start = clock_ms();
    kq2::think(record_from(games[2]));

    const long during_thinks = allocations_during([&] {
        for (const std::string& g : games) {
            const GameRecord r = record_from(g);
            for (int32_t budget : {0, 1, 60}) {
                think_start = clock_ms();
                think_budget = budget;
                think(r);
                think_start = clock_ms();
                kq2::think(r);
            }
            load_position(r);
            for (int s = 0; s < 240; ++s)
                if (on_board(unsigned(s)) && cells[s] == EMPTY) is_forbidden(Square(s));
            solver_budget = SOLVER_TRIES;
            solve_threats(uint8_t(~r.count & 1), nullptr);
        }
        think(full);
        think(off_board);
        kq2::think(full);
        kq2::think(off_board);
        // The rules only switch tables.
        for (uint8_t rule : {RULE_FREE, RULE_EXACT, RULE_RENJU}) {
            select_rule(rule);
            think_start = clock_ms();
            kq2::think(record_from(games[3]));
        }
    });
    EXPECT_EQ(during_thinks, 0);

    // The front end's own path: recording moves, each refereed from the sixth.
    reset_game();
    const GameRecord quiet = record_from("HH HG IG JF GI KE LL AA BO OB NC");
    const long during_record = allocations_during([&] {
        for (int i = 0; i < quiet.count; ++i) record_move(quiet.moves[i]);
    });
    EXPECT_EQ(during_record, 0);
    EXPECT_EQ(game_record.count, quiet.count);
#endif
}

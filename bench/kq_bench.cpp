// Deterministic search benchmark. Clears both transposition tables and the
// move statistics, then runs think on a fixed list of positions with an
// unlimited clock and a fixed number of deepening iterations. Prints per
// position the move and the node counts, then the totals: the node total is a
// signature that changes only when search behaviour changes.
//
//   kq-bench [iterations]     (default 3)
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/board/board.h"
#include "core/solver/solver.h"
#include "core/timing.h"
#include "kq/kq.h"

#include "bench_positions.h"

namespace {

double seconds_since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

} // namespace

int main(int argc, char** argv) {
    const int iterations = argc > 1 ? std::atoi(argv[1]) : 3;
    engine_init();
    if (!engine_initialised) {
        std::printf("engine set-up failed\n");
        return 1;
    }
    std::memset(search_table, 0, sizeof search_table);
    std::memset(solver_table, 0, sizeof solver_table);
    reset_move_statistics();
    max_iterations = iterations;

    uint64_t total_nodes = 0, total_tries = 0, total_chain = 0;
    uint32_t move_hash = 2166136261u;
    const auto t0 = std::chrono::steady_clock::now();
    int index = 0;
    for (const char* text : positions) {
        GameRecord record{};
        if (!parse(text, record)) {
            std::printf("bad position %s\n", text);
            return 1;
        }
        think_start = clock_ms();
        think_budget = INT32_MAX;
        const auto p0 = std::chrono::steady_clock::now();
        const Square m = think(record);
        const double secs = seconds_since(p0);
        std::printf("%2d %-40s move %c%c  nodes %9u  tries %9u  chain %7u  %7.3f s\n", ++index,
                    text, 'A' + (m & 15), 'A' + (m >> 4), node_count, solver_nodes, chain_count,
                    secs);
        total_nodes += node_count;
        total_tries += solver_nodes;
        total_chain += chain_count;
        move_hash = (move_hash ^ m) * 16777619u;
    }
    const double secs = seconds_since(t0);
    const uint64_t signature = total_nodes + total_tries + total_chain;
    std::printf("search nodes %llu, solver tries %llu, chain steps %llu\n",
                (unsigned long long)total_nodes, (unsigned long long)total_tries,
                (unsigned long long)total_chain);
    std::printf("bench: %llu  moves %08x\n", (unsigned long long)signature, move_hash);
    std::printf("time %.3f s: %.0f search nodes/s, %.0f solver tries/s\n", secs, total_nodes / secs,
                total_tries / secs);

    // Make/unmake throughput on the last middle-game position.
    GameRecord record{};
    parse(positions[sizeof positions / sizeof *positions - 1], record);
    load_position(record);
    const auto m0 = std::chrono::steady_clock::now();
    uint64_t pairs = 0;
    for (int round = 0; round < 2000; ++round)
        for (int s = 0; s < 240; ++s) {
            if ((s & 15) == 15 || cells[s] != EMPTY) continue;
            place_stone(Square(s), uint8_t(round & 1));
            remove_stone();
            ++pairs;
        }
    const double msecs = seconds_since(m0);
    std::printf("make/unmake: %.1f ns per pair\n", msecs * 1e9 / double(pairs));
    return 0;
}

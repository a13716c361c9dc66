// Micro benchmarks of the innermost operations: one make/unmake pair, the
// forbidden test, the table build at set-up and one solver call.
#include <benchmark/benchmark.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "core/board/board.h"
#include "core/solver/solver.h"
#include "core/timing.h"
#include "kq/kq.h"

namespace {

// A middle game of 30 stones from an engine game.
const char* const middle_game = "HHGIJGKHIHKFJIKGKIJFHGGFHIHJJHHEGHFHJKJJIJFGKLIDEH";

void load_middle_game(int stones) {
    engine_init();
    GameRecord record{};
    for (const char* p = middle_game; p[0] && p[1] && record.count < stones; p += 2)
        record.moves[record.count++] = Square((p[1] - 'A') * 16 + (p[0] - 'A'));
    load_position(record);
}

// Placements on every empty square of the middle game in turn, each taken
// back at once.
void place_pairs(benchmark::State& state, void (*take_back)()) {
    load_middle_game(30);
    Square empties[225];
    int n = 0;
    for (int s = 0; s < 240; ++s)
        if ((s & 15) != 15 && cells[s] == EMPTY) empties[n++] = Square(s);
    int i = 0;
    for (auto _ : state) {
        place_stone(empties[i], uint8_t(i & 1));
        take_back();
        if (++i == n) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}

// The take-back that rescans (the exact engine's) and the one that restores
// from the placement's journal (the tournament engine's).
void BM_PlaceRemovePair(benchmark::State& state) { place_pairs(state, remove_stone); }
BENCHMARK(BM_PlaceRemovePair);
void BM_PlaceUndoPair(benchmark::State& state) { place_pairs(state, undo_stone); }
BENCHMARK(BM_PlaceUndoPair);

void BM_IsForbiddenAllSquares(benchmark::State& state) {
    load_middle_game(30);
    for (auto _ : state) {
        int count = 0;
        for (int s = 0; s < 240; ++s)
            if ((s & 15) != 15 && cells[s] == EMPTY) count += is_forbidden(Square(s));
        benchmark::DoNotOptimize(count);
    }
}
BENCHMARK(BM_IsForbiddenAllSquares);

void BM_BuildTables(benchmark::State& state) {
    engine_init();
    for (auto _ : state) {
        build_class_table();
        free_line_tables();
        benchmark::DoNotOptimize(build_line_tables());
    }
}
BENCHMARK(BM_BuildTables)->Unit(benchmark::kMillisecond);

void BM_SolveThreatsFreshTable(benchmark::State& state) {
    load_middle_game(24);
    think_start = clock_ms();
    think_budget = INT32_MAX;
    time_up = 0;
    uint64_t tries = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::memset(solver_table, 0, sizeof solver_table);
        state.ResumeTiming();
        for (uint8_t side : {WHITE, BLACK}) {
            solver_budget = SOLVER_TRIES;
            benchmark::DoNotOptimize(solve_threats(side, nullptr));
            tries += uint64_t(SOLVER_TRIES - solver_budget);
        }
    }
    state.counters["tries"] = benchmark::Counter(double(tries), benchmark::Counter::kIsRate);
}
// Few iterations: each one clears the 64 MiB solver table outside the timing.
BENCHMARK(BM_SolveThreatsFreshTable)->Unit(benchmark::kMicrosecond)->Iterations(200);

} // namespace

namespace {

// The win-by-fours problem set of the tests, each position solved with a
// fresh solver table. Reports tries per second and the slowest position.
std::vector<GameRecord> read_problems() {
    std::vector<GameRecord> out;
    std::ifstream in(std::string(KQ_TEST_DATA) + "/vcf_wins.txt");
    std::string line;
    while (std::getline(in, line)) {
        GameRecord r{};
        for (size_t i = 0; i + 1 < line.size() && line[i] != '#'; ++i) {
            if (line[i] < 'A' || line[i] > 'O' || line[i + 1] < 'A' || line[i + 1] > 'O') continue;
            r.moves[r.count++] = Square((line[i + 1] - 'A') * 16 + (line[i] - 'A'));
            ++i;
        }
        if (r.count) out.push_back(r);
    }
    return out;
}

void BM_SolveProblemSet(benchmark::State& state) {
    engine_init();
    const std::vector<GameRecord> problems = read_problems();
    uint64_t tries = 0;
    double slowest_ms = 0;
    int wins = 0;
    for (auto _ : state) {
        for (const GameRecord& r : problems) {
            state.PauseTiming();
            std::memset(solver_table, 0, sizeof solver_table);
            load_position(r);
            think_start = clock_ms();
            think_budget = INT32_MAX;
            time_up = 0;
            state.ResumeTiming();
            const auto t0 = std::chrono::steady_clock::now();
            solver_budget = SOLVER_TRIES;
            wins += solve_threats(uint8_t(~r.count & 1), nullptr) >= RESULT_WIN;
            const double ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                    .count();
            if (ms > slowest_ms) slowest_ms = ms;
            tries += uint64_t(SOLVER_TRIES - solver_budget);
        }
    }
    state.counters["positions"] = double(problems.size());
    state.counters["wins"] = double(wins) / double(state.iterations());
    state.counters["tries"] = benchmark::Counter(double(tries), benchmark::Counter::kIsRate);
    state.counters["slowest_ms"] = slowest_ms;
}
BENCHMARK(BM_SolveProblemSet)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

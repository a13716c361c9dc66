// The tournament engine as a WebAssembly module for the web board: a thin
// entry over the library, like pbrain-kq2's main, called from a Web Worker
// (page/worker.js). It keeps no game: the page sends the whole move list with
// every call, written into the record buffer (kq_moves()), and each call
// replays it.
//
// Squares are the engine's Square (row * 16 + column); the page converts.
// A think runs on the worker's only thread and cannot be interrupted from
// outside (the worker has no shared memory): the page ends a think it no
// longer wants by ending the worker.
//
// Text results (reports, the benchmark) are JSON in one static buffer, valid
// until the next call.
#include <emscripten/emscripten.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>

#include "bench/bench_positions.h"
#include "core/board/board.h"
#include "core/engine/engine.h"
#include "core/solver/solver.h"
#include "core/timing.h"
#include "kq2/kq2.h"

namespace {

GameRecord record{};
Square candidates[MAX_MOVES];
uint8_t foul_map[256]; // by Square: a FOUL_* code
char text[8192];

// Why black may not play a square, as the page names it.
constexpr uint8_t FOUL_NONE = 0;
constexpr uint8_t FOUL_DOUBLE_THREE = 1;
constexpr uint8_t FOUL_DOUBLE_FOUR = 2;
constexpr uint8_t FOUL_OVERLINE = 3;

// What a move does, as the referee sees it.
constexpr int VERDICT_NONE = 0;
constexpr int VERDICT_FIVE = 1;
constexpr int VERDICT_FOUL = 2; // + the FOUL_* code * 4
constexpr int VERDICT_ILLEGAL = -1;

// The record's first `count` moves, replayed; false for a bad record.
bool load(int count) {
    if (count < 0 || count > MAX_MOVES) return false;
    record.count = uint8_t(count);
    return load_position(record);
}

// Black's foul on an empty square of the loaded position; double fours and
// overlines are told by the square's class, every other foul is a double three.
uint8_t foul_kind(Square s) {
    if (cells[s] != EMPTY || !is_forbidden(s)) return FOUL_NONE;
    switch (square_class[BLACK][s]) {
    case CLASS_OVERLINE:
        return FOUL_OVERLINE;
    case CLASS_DOUBLE_FOUR:
        return FOUL_DOUBLE_FOUR;
    default:
        return FOUL_DOUBLE_THREE;
    }
}

int append_report(int n) {
    const kq2::ThinkReport& r = kq2::report;
    n += std::snprintf(text + n, sizeof text - size_t(n),
                       "{\"depth\":%d,\"sel\":%d,\"value\":%d,\"nodes\":%lld,\"time\":%d,"
                       "\"reason\":\"%s\",\"pv\":[",
                       r.depth, r.sel_depth, r.value, static_cast<long long>(r.nodes), r.time_ms,
                       r.reason);
    for (int i = 0; i < r.pv_length; ++i)
        n += std::snprintf(text + n, sizeof text - size_t(n), "%s%d", i ? "," : "", r.pv[i]);
    return n + std::snprintf(text + n, sizeof text - size_t(n), "]}");
}

} // namespace

extern "C" {

// Engine set-up with tables for `memory_mb` megabytes; 0 when it failed.
EMSCRIPTEN_KEEPALIVE int kq_init(int memory_mb) {
    engine_init();
    if (!engine_initialised) return 0;
    kq2::settings.max_memory = int64_t(memory_mb) << 20;
    return kq2::setup_tables() ? 1 : 0;
}

// 0 free, 1 exactly five, 4 renju.
EMSCRIPTEN_KEEPALIVE void kq_set_rule(int rule) {
    select_rule(rule == 4 ? RULE_RENJU : rule == 1 ? RULE_EXACT : RULE_FREE);
}

// The record buffer the page writes its moves into.
EMSCRIPTEN_KEEPALIVE Square* kq_moves() { return record.moves; }

// The move for the first `count` moves of the record, thinking `ms`
// milliseconds at most and `depth` plies at most (0: no depth limit).
EMSCRIPTEN_KEEPALIVE int kq_think(int count, int ms, int depth) {
    if (count < 0 || count > MAX_MOVES) return NO_MOVE;
    record.count = uint8_t(count);
    kq2::settings.max_depth = depth > 0 ? depth : 0;
    think_stop.store(false, std::memory_order_relaxed);
    think_start = clock_ms();
    think_budget = ms > 0 ? ms : INT32_MAX;
    return kq2::think(record);
}

// The report of the last think as JSON: depth, deepest ply, value (WIN - n
// for a win in n plies), nodes, milliseconds, the reason of a move decided
// without a search, and the expected line as Squares.
EMSCRIPTEN_KEEPALIVE const char* kq_report() {
    append_report(0);
    return text;
}

// What the move at `square` does after the first `count` moves: a five, a
// foul of black (VERDICT_FOUL + 4 * FOUL_*), nothing, or VERDICT_ILLEGAL for
// a taken square or a bad record.
EMSCRIPTEN_KEEPALIVE int kq_verdict(int count, int square) {
    if (!on_board(unsigned(square)) || !load(count) || cells[square] != EMPTY)
        return VERDICT_ILLEGAL;
    const uint8_t side = (count & 1) ? WHITE : BLACK;
    if (square_class[side][square] == CLASS_FIVE) return VERDICT_FIVE;
    if (side == BLACK) {
        const uint8_t foul = foul_kind(Square(square));
        if (foul != FOUL_NONE) return VERDICT_FOUL + 4 * foul;
    }
    return VERDICT_NONE;
}

// Black's fouls after the first `count` moves, a FOUL_* code by Square; all
// zero with white to move and under the rules without fouls.
EMSCRIPTEN_KEEPALIVE const uint8_t* kq_fouls(int count) {
    std::memset(foul_map, 0, sizeof foul_map);
    if (count % 2 == 0 && game_rule == RULE_RENJU && load(count))
        for (int s = 0; s < 240; ++s)
            if (on_board(unsigned(s))) foul_map[s] = foul_kind(Square(s));
    return foul_map;
}

// The engine's own candidate moves after the first `count` moves, best first
// by its move ordering; their count (at most `limit`), the moves in
// kq_candidates_buffer().
EMSCRIPTEN_KEEPALIVE int kq_candidates(int count, int limit) {
    if (!load(count)) return 0;
    return kq2::generate_moves(candidates, limit < MAX_MOVES ? limit : MAX_MOVES);
}
EMSCRIPTEN_KEEPALIVE const Square* kq_candidates_buffer() { return candidates; }

// kq2-bench in the browser: the same positions, tables cleared, a fixed depth,
// tables sized for `memory_mb`. JSON: every chosen move (as the bench prints
// it, two letters), the node total and the milliseconds.
EMSCRIPTEN_KEEPALIVE const char* kq_bench(int depth, int memory_mb) {
    if (!kq_init(memory_mb)) return "{\"error\":\"set-up failed\"}";
    select_rule(RULE_RENJU);
    kq2::clear_search_table();
    kq2::clear_threat_table();
    std::memset(solver_table, 0, sizeof(SolverEntry) * 2 * (kq2::solver_mask_in_use + 1));
    kq2::settings.max_depth = depth;
    long long nodes = 0;
    const auto t0 = std::chrono::steady_clock::now();
    int n = std::snprintf(text, sizeof text, "{\"moves\":[");
    bool first = true;
    for (const char* position : positions) {
        GameRecord bench_record{};
        if (!parse(position, bench_record)) return "{\"error\":\"bad position\"}";
        think_stop.store(false, std::memory_order_relaxed);
        think_start = clock_ms();
        think_budget = INT32_MAX;
        const Square m = kq2::think(bench_record);
        nodes += kq2::report.nodes;
        n += std::snprintf(text + n, sizeof text - size_t(n), "%s\"%c%c\"", first ? "" : ",",
                           'A' + (m & 15), 'A' + (m >> 4));
        first = false;
    }
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    std::snprintf(text + n, sizeof text - size_t(n), "],\"nodes\":%lld,\"ms\":%.1f}", nodes, ms);
    kq2::settings.max_depth = 0;
    return text;
}

} // extern "C"

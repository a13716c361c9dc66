// The exact engine (pbrain-kq): think driver, main search and counter-four
// chain.
//
// Every think replays the game record through the shared engine entry. The
// first think also allocates the 450 move statistics nodes; the search table
// (2^24 entries, 128 MiB) and the solver table are static and persist across
// moves and games.
//
// Move statistics: one MoveStat per (colour, on-board square), chained per
// colour from stat_head[colour] along `next` in non-increasing order of
// `total`. Every search node credits its best or cutting move with
// 2^(depth mod 32); generate_moves walks the list, so candidates come out
// already ordered. Ageing on board reset divides all totals by head/8.
#pragma once

#include <cstdint>

#include "../core/board/board.h"
#include "../core/engine/engine.h"
#include "../core/solver/solver.h"
#include "../core/types.h"

struct EngineFace;

struct MoveStat {
    Square square;
    uint32_t total;
    MoveStat* prev; // towards the head (equal or larger total); null at the head
    MoveStat* next; // towards the tail; null at the tail
};

// Search table entry, 8 bytes: lock (hash_lock), the writer's working depth,
// the iteration's quiet-move depth, the value and its bound (0 exact, 1 upper:
// no move raised alpha, 2 lower: a cut-off at beta).
struct SearchEntry {
    uint32_t lock;
    int8_t depth;
    int8_t plain_depth;
    int8_t value;
    uint8_t bound;
};
static_assert(sizeof(SearchEntry) == 8, "search entries are 8 bytes");

constexpr int SEARCH_TABLE_BITS = 24;
constexpr uint32_t SEARCH_TABLE_SIZE = 1u << SEARCH_TABLE_BITS;
constexpr int8_t TABLE_MISS = -120;

// Search modes of a node.
constexpr int MODE_PLAIN = 0;
constexpr int MODE_ANSWER = 4; // the opponent holds a four-threat win
constexpr int MODE_BLOCK = 5;  // the opponent threatens five

extern SearchEntry search_table[SEARCH_TABLE_SIZE];

// Shared search state of one think.
extern int8_t depth_limit;   // D of the current iteration
extern int8_t plain_depth;   // P: quiet-move depth of the current iteration
extern Square answer_square; // move of the last completed root iteration
extern uint32_t node_count;  // main-search nodes this think
extern uint32_t chain_count; // counter-four steps this think

extern MoveStat* stat_head[2];
extern MoveStat* stat_node[2][256];

extern int32_t engine_busy;
// Benchmarks only: stop after this many deepening iterations (0: no limit).
extern int32_t max_iterations;

// The face the front end is handed (pbrain-kq's main).
extern const EngineFace exact_face;

// Entry. The statistics are linked at the first think (or here); from then on
// every board reset ages them.
// Back to the order of a fresh set-up, every total zero (benchmarks, tests).
void reset_move_statistics();
Square think(GameRecord record);

// Main search.
int8_t search_root();
int8_t search_node(uint8_t side, int8_t alpha, int8_t beta, int8_t depth);
int generate_moves(Square* list, uint8_t side, int mode, const AnswerBuffer* answers, bool narrow);
int8_t table_probe(int8_t alpha, int8_t beta, int8_t depth);
void table_store(int8_t depth, int8_t value, uint8_t bound);
void credit_move(Square square, uint8_t colour, uint32_t weight);

// Starts loading what a node probes first (its search entry and both solver
// entries) for the position after `colour` plays `s`, so the loads overlap
// the placement's own work.
inline void prefetch_child(Square s, uint8_t colour) {
    const uint32_t key = hash_index ^ zobrist_index[colour][s];
    __builtin_prefetch(&search_table[key & (SEARCH_TABLE_SIZE - 1)]);
    prefetch_solver_entry(key, WHITE);
    prefetch_solver_entry(key, BLACK);
}

// Counter-four chain.
int8_t four_step(Square s, uint8_t side, int8_t alpha, int8_t beta, int8_t depth,
                 AnswerBuffer* answers);
int8_t next_four(uint8_t side, int8_t alpha, int8_t beta, int8_t depth, AnswerBuffer* answers);

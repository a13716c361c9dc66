// The four-threat solver: proves wins by an unbroken chain of fours, with its
// own transposition table, a per-call try budget and the think clock.
//
// Solver table: 2 * 2^22 SolverEntry, static, never cleared. The entry of a
// (position, side) is (hash_index & (2^22 - 1)) + side * 2^22; it holds the
// position when its lock equals hash_lock. Writes overwrite without a test.
//
// Answer buffer: u8[2][256] by [colour][Square]. When a caller passes one,
// every winning attack found marks the squares that bear on it: the defender's
// candidate replies in the defender's half and, for a black attacker, the
// squares where black's own stone would change the attack in black's half.
// The caller clears it; the solver only ever sets bytes to 1.
#pragma once

#include <cstdint>

#include "../types.h"

using AnswerBuffer = uint8_t[2][256];

struct SolverEntry {
    uint32_t lock; // hash_lock of the position
    int8_t value;  // 10, or a value -10..9
    Square move;   // the winning move; meaningful only when value is 10
};
static_assert(sizeof(SolverEntry) == 8, "solver entries are 8 bytes");

constexpr int SOLVER_TABLE_BITS = 22;
constexpr uint32_t SOLVER_TABLE_SIZE = 1u << SOLVER_TABLE_BITS;
constexpr int32_t SOLVER_TRIES = 10000; // tries allowed to one top-level call

extern SolverEntry solver_table[2 * SOLVER_TABLE_SIZE];
// The part of the table in use: entry (hash_index & solver_mask) + side *
// (solver_mask + 1). The full table unless an engine that must stay within a
// memory limit narrows it (untouched pages of the static table cost nothing).
extern uint32_t solver_mask;
// Strict proofs: a black block on a forbidden point of any kind (an overline
// too) loses, and a position without fours is never counted as won by its
// static value. Off by default.
extern bool solver_strict;
extern int32_t solver_budget; // attacking-move tries left in this call
extern uint32_t solver_nodes; // tries since the last board reset
extern Square solver_move;    // move of the last win recorded or confirmed
extern uint8_t deepest_ply;   // highest ply any solver or search node reached

// Class weights of the static value, [colour][SquareClass].
extern const int8_t class_weight[2][CLASS_SLOTS];

// Starts loading the entry of the position whose index key will be
// `index_key`, so that the probe after the next placement finds it cached.
inline void prefetch_solver_entry(uint32_t index_key, uint8_t side) {
    __builtin_prefetch(&solver_table[(index_key & solver_mask) + side * (solver_mask + 1)]);
}

int8_t solve_threats(uint8_t side, AnswerBuffer* answers);
int8_t try_four(Square m, uint8_t side, AnswerBuffer* answers);
void store_win(uint8_t side, Square m);
int8_t static_value(uint8_t side);
int8_t position_value(uint8_t side);

// Collectors: mark the squares bearing on a winning attack at m by colour c.
void answer_four(Square m, uint8_t c, AnswerBuffer* answers);
void answer_open_four(Square m, uint8_t c, AnswerBuffer* answers);
void answer_double_four(Square m, uint8_t c, AnswerBuffer* answers);

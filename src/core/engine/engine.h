// The engine entry both engines stand on: set-up of the board's tables and
// keys, and the replay of a game record onto the engine board.
//
// No engine keeps a game: every think (and every referee check) resets the
// engine board and replays a GameRecord. Set-up is lazy (the first replay or
// think) and allocates only the line tables; whatever an engine keeps across
// moves is its own.
#pragma once

#include <cstdint>

#include "../types.h"

extern int32_t engine_initialised;

// Lifecycle and entry. engine_init is idempotent; after a failed set-up
// engine_initialised stays 0 and a later call tries again.
void engine_init();
void engine_free();
// Resets the engine board and places the record's stones; false for a record
// that is off the board, repeats a square or is longer than a game can be.
bool load_position(const GameRecord& record);

// The generator behind the Zobrist keys: state = state * 214013 + 2531011 from
// state 1, each call yielding (state >> 16) & 0x7FFF.
int engine_rand();

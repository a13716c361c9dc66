// Engine set-up and release, and the replay of a game record.
#include "engine.h"

#include "../board/board.h"

int32_t engine_initialised;

namespace {

uint32_t rand_state = 1;

void fill_keys(uint32_t (*keys)[256]) {
    // Byte by byte in memory order: key [colour][square] is the little-endian
    // word at byte colour * 1024 + square * 4.
    for (int colour = 0; colour < 2; ++colour)
        for (int s = 0; s < 256; ++s) {
            uint32_t key = 0;
            for (int byte = 0; byte < 4; ++byte)
                key |= uint32_t(engine_rand() & 0xFF) << (8 * byte);
            keys[colour][s] = key;
        }
}

} // namespace

int engine_rand() {
    rand_state = rand_state * 214013u + 2531011u;
    return int((rand_state >> 16) & 0x7FFF);
}

void engine_init() {
    if (engine_initialised) return;
    init_geometry();
    build_class_table();
    rand_state = 1; // the keys are the same in every run, and in a retry after a failed set-up
    fill_keys(zobrist_index);
    fill_keys(zobrist_lock);
    if (!build_line_tables()) return;
    engine_initialised = 1;
}

void engine_free() {
    free_line_tables();
    engine_initialised = 0;
}

bool load_position(const GameRecord& record) {
    // The referee may ask before the first think: set up on demand.
    engine_init();
    if (!engine_initialised) return false;
    reset_engine_board();
    if (record.count > MAX_MOVES) return false;
    for (int i = 0; i < record.count; ++i) {
        const Square m = record.moves[i];
        if ((m & 15) == 15 || (m >> 4) == 15) return false;
        if (cells[m] != EMPTY) return false; // a record never repeats a square
        place_stone(m, uint8_t(~i & 1));
    }
    return true;
}

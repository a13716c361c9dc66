// Engine board storage, line geometry and the reset.
#include <cstring>

#include "board.h"

uint8_t cells[256];
uint8_t ply;
Square move_stack[MAX_MOVES];
uint32_t hash_index;
uint32_t hash_lock;
uint32_t zobrist_index[2][256];
uint32_t zobrist_lock[2][256];
uint8_t line_shape[2][4][256];
uint8_t square_class[2][256];
int32_t class_count[2][CLASS_SLOTS];
Square five_square[2];
uint8_t edge_back[4][256];
uint8_t edge_fwd[4][256];

void (*reset_hook)() = nullptr;

namespace {
int min_of(int a, int b) { return a < b ? a : b; }
} // namespace

void init_geometry() {
    // Entries of off-board squares hold whatever the formulas give in 8 bits;
    // no walk ever starts from them.
    for (int s = 0; s < 255; ++s) {
        int r = s >> 4, c = s & 15;
        edge_back[0][s] = uint8_t(c);
        edge_fwd[0][s] = uint8_t(14 - c);
        edge_back[1][s] = uint8_t(16 * r);
        edge_fwd[1][s] = uint8_t(16 * (14 - r));
        edge_back[2][s] = uint8_t(15 * min_of(r, 14 - c));
        edge_fwd[2][s] = uint8_t(15 * min_of(c, 14 - r));
        edge_back[3][s] = uint8_t(17 * min_of(r, c));
        edge_fwd[3][s] = uint8_t(17 * min_of(14 - c, 14 - r));
    }
    init_line_index();
}

void reset_engine_board() {
    // Every square starts with shape 1 and class 1, even where an empty line
    // would compute 0 (line ends, short diagonals): a line is recomputed from
    // the tables only once a stone has been placed on it.
    std::memset(cells, EMPTY, sizeof cells);
    std::memset(line_shape, 1, sizeof line_shape);
    std::memset(square_class, 1, sizeof square_class);
    for (auto& keys : shape_key)
        for (uint16_t& key : keys) key = 1 + 11 + 121 + 1331;
    std::memset(class_count, 0, sizeof class_count);
    reset_line_index();
    ply = 0;
    hash_index = 0;
    hash_lock = rule_lock ^ lock_salt;
    if (reset_hook) reset_hook();
}

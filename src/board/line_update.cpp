// Make, unmake and the incremental update of the four lines through the
// changed square. Only segments the stone bounds or belongs to are rescanned,
// and only squares whose LineShape really changed get their class refreshed,
// which keeps class_count and five_square exact at the least cost.
#include "board.h"

namespace {

inline void refresh_class(int colour, int q) {
    --class_count[colour][square_class[colour][q]];
    unsigned index = unsigned(line_shape[colour][3][q]) << 12 |
                     unsigned(line_shape[colour][2][q]) << 8 |
                     unsigned(line_shape[colour][1][q]) << 4 | line_shape[colour][0][q];
    uint8_t k = class_table[colour][index];
    square_class[colour][q] = k;
    ++class_count[colour][k];
    if (k == CLASS_FIVE) five_square[colour] = Square(q);
}

} // namespace

void rescan_segment(int start, int d, int len, int colour) {
    const int step = dir_step[d];
    uint8_t* shapes = line_shape[colour][d];
    if (len >= 5) {
        unsigned mask = 0;
        for (int k = 0, q = start; k < len; ++k, q += step)
            if (cells[q] == colour) mask |= 1u << k;
        const uint8_t* row = line_table[colour][len] + mask * unsigned(len);
        for (int k = 0, q = start; k < len; ++k, q += step) {
            if (shapes[q] != row[k]) {
                shapes[q] = row[k];
                refresh_class(colour, q);
            }
        }
    } else {
        // Too short to ever hold a five.
        for (int k = 0, q = start; k < len; ++k, q += step) {
            if (shapes[q] != 0) {
                shapes[q] = 0;
                refresh_class(colour, q);
            }
        }
    }
}

void update_lines_after_place(int m, int d, int colour) {
    const int step = dir_step[d];
    const int lo = m - edge_back[d][m], hi = m + edge_fwd[d][m];
    const int other = 1 - colour;

    // The placing colour's segment through m.
    int a = m, z = m;
    while (a != lo && cells[a - step] != other) a -= step;
    while (z != hi && cells[z + step] != other) z += step;
    rescan_segment(a, d, (z - a) / step + 1, colour);

    // The other colour's old segment is cut in two at m.
    a = m;
    while (a != lo && cells[a - step] != colour) a -= step;
    rescan_segment(a, d, (m - a) / step, other);
    z = m;
    while (z != hi && cells[z + step] != colour) z += step;
    rescan_segment(m + step, d, (z - m) / step, other);
}

void update_lines_after_remove(int m, int d, int colour) {
    const int step = dir_step[d];
    const int lo = m - edge_back[d][m], hi = m + edge_fwd[d][m];
    const int other = 1 - colour;

    int a = m, z = m;
    while (a != lo && cells[a - step] != other) a -= step;
    while (z != hi && cells[z + step] != other) z += step;
    rescan_segment(a, d, (z - a) / step + 1, colour);

    // The other colour's two stretches join again through m.
    a = m;
    z = m;
    while (a != lo && cells[a - step] != colour) a -= step;
    while (z != hi && cells[z + step] != colour) z += step;
    rescan_segment(a, d, (z - a) / step + 1, other);
}

void place_stone(Square m, uint8_t colour) {
    cells[m] = colour;
    hash_index ^= zobrist_index[colour][m];
    hash_lock ^= zobrist_lock[colour][m];
    move_stack[ply++] = m;
    for (int d = 0; d < 4; ++d) update_lines_after_place(m, d, colour);
    // The other colour's entries at m itself are not part of any rescan.
    const int other = 1 - colour;
    for (int d = 0; d < 4; ++d) line_shape[other][d][m] = 0;
    --class_count[other][square_class[other][m]];
    square_class[other][m] = CLASS_NONE;
    ++class_count[other][CLASS_NONE];
}

void remove_stone() {
    const Square m = move_stack[--ply];
    const uint8_t colour = cells[m];
    cells[m] = EMPTY;
    hash_index ^= zobrist_index[colour][m];
    hash_lock ^= zobrist_lock[colour][m];
    for (int d = 0; d < 4; ++d) update_lines_after_remove(m, d, colour);
}

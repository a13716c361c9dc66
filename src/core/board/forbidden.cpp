// Renju restrictions for black. Double fours and overlines are decided by the
// square's class alone; whether an open three is real (it can become an open
// four by a move that is itself allowed) is decided by playing the stones and
// recursing.
#include "board.h"

bool is_forbidden(Square m) {
    if (game_rule != RULE_RENJU) return false;
    switch (square_class[BLACK][m]) {
    case CLASS_DOUBLE_FOUR:
    case CLASS_OVERLINE:
        return true;
    case CLASS_DOUBLE_THREE:
    case CLASS_FOUR_THREE_THREE:
        return is_double_three(m);
    default:
        return false;
    }
}

bool is_double_three(Square m) {
    int real = 0;
    for (int d = 0; d < 4; ++d)
        if (is_real_three(m, d) && ++real == 2) return true;
    return false;
}

bool is_real_three(Square m, int d) {
    if (line_shape[BLACK][d][m] != SHAPE_OPEN_THREE) return false;
    const int step = dir_step[d];
    const int lo = m - edge_back[d][m], hi = m + edge_fwd[d][m];
    place_stone(m, BLACK);
    // Only the first non-black square on each side of the run through m can be
    // an open-four point of this three; a line's end square never is one.
    for (int dir = -1; dir <= 1; dir += 2) {
        const int end = dir < 0 ? lo : hi;
        if (m == end) continue;
        int q = m;
        for (;;) {
            if (cells[q] == WHITE) break;
            if (cells[q] == EMPTY) {
                if (line_shape[BLACK][d][q] == SHAPE_OPEN_FOUR && !is_forbidden(Square(q))) {
                    remove_stone();
                    return true;
                }
                break;
            }
            q += dir * step;
            if (q == end) break;
        }
    }
    remove_stone();
    return false;
}

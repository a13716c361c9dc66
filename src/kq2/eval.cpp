// Evaluation and move ordering from what the board keeps current: the square
// classes of both colours and their counts. A class count says how many empty
// squares would give a colour that shape, so the counts measure each side's
// threats and potential without a scan; the side to move is weighed higher,
// because it gets to use its shapes first.
#include <cstring>

#include "../core/board/board.h"
#include "kq2.h"

namespace kq2 {

int32_t history[2][256];

// Per class 0..16 and by the colour of the side to move: the value of one
// square of that class for the side to move (own) and for the side that moved
// last (theirs). Fitted to the results of engine games (kq2-tune): the side to
// move's combinations weigh far more than the same squares of the side that
// must answer them, and black's fours with extras more than white's. Classes
// 11 to 14 never stand in a quiet position and keep set values.
const int own_weight[2][CLASS_SLOTS] = {
    {0, 0, 9, 5, 39, 59, 115, 233, 31, 96, 0, 160, 160, 200, 600, 0, 0, 0},  // white to move
    {0, 0, 7, 0, 28, 45, 108, 302, 56, 178, 0, 160, 160, 200, 600, 0, 0, 0}, // black to move
};
const int their_weight[2][CLASS_SLOTS] = {
    {0, 0, 7, 0, 20, 49, 47, 114, 42, 131, 0, 84, 84, 105, 280, 0, 0, 0}, // white to move
    {0, 0, 5, 7, 29, 37, 30, 47, 46, 54, 0, 84, 84, 105, 280, 0, 0, 0},   // black to move
};

namespace {

// Ordering: what a move makes for the mover (attack) and what it takes from
// the opponent (defence), by the square's class for each colour.
constexpr int attack_score[CLASS_SLOTS] = {0,  0, 10,  6,   30,  60,   80,    200, 50,
                                           70, 0, 400, 400, 700, 2000, 10000, 0,   0};
constexpr int defence_score[CLASS_SLOTS] = {0,  0, 8,   5,   25,  50,   65,   150, 40,
                                            55, 0, 300, 300, 500, 1200, 5000, 0,   0};
// Tie-break inside a class: the sum of the four line shapes of both colours.
constexpr int shape_points[11] = {0, 0, 2, 2, 5, 8, 9, 12, 16, 0, 10};

// Restricted black can never use double fours and overlines, and a double
// three may be a foul: those squares are worth nothing to black (or half).
inline int class_value(const int* w, uint8_t colour, uint8_t k) {
    if (!restricted(colour)) return w[k];
    switch (k) {
    case CLASS_DOUBLE_FOUR:
    case CLASS_OVERLINE:
        return 0;
    case CLASS_DOUBLE_THREE:
    case CLASS_FOUR_THREE_THREE:
        return w[k] / 2;
    default:
        return w[k];
    }
}

// Every on-board square in Square order.
struct BoardSquares {
    Square list[MAX_MOVES];
    constexpr BoardSquares() : list() {
        int n = 0;
        for (int r = 0; r < BOARD_SIZE; ++r)
            for (int c = 0; c < BOARD_SIZE; ++c) list[n++] = Square(r * 16 + c);
    }
};
constexpr BoardSquares board_squares;

// Sorts the first n entries of moves by score, best first; ties by Square.
void sort_moves(Square* moves, int* scores, int n) {
    for (int i = 1; i < n; ++i) {
        const Square m = moves[i];
        const int v = scores[i];
        int j = i;
        while (j > 0 && (scores[j - 1] < v || (scores[j - 1] == v && moves[j - 1] > m))) {
            moves[j] = moves[j - 1];
            scores[j] = scores[j - 1];
            --j;
        }
        moves[j] = m;
        scores[j] = v;
    }
}

// A restricted side's candidate that is a foul is dropped.
inline bool playable(uint8_t side, Square s) {
    if (!restricted(side)) return true;
    const uint8_t k = square_class[BLACK][s];
    if (k == CLASS_DOUBLE_FOUR || k == CLASS_OVERLINE) return false;
    if (k == CLASS_DOUBLE_THREE || k == CLASS_FOUR_THREE_THREE) return !is_forbidden(s);
    return true;
}

} // namespace

int evaluate() {
    const uint8_t side = uint8_t(~ply & 1), other = uint8_t(1 - side);
    int v = 0;
    for (uint8_t k = CLASS_TWO; k <= CLASS_OPEN_FOUR; ++k) {
        v += class_value(own_weight[side], side, k) * class_count[side][k];
        v -= class_value(their_weight[side], other, k) * class_count[other][k];
    }
    return v;
}

int move_score(uint8_t side, Square s) {
    const uint8_t other = uint8_t(1 - side);
    int v = class_value(attack_score, side, square_class[side][s]) +
            class_value(defence_score, other, square_class[other][s]);
    for (int d = 0; d < 4; ++d)
        v += shape_points[line_shape[side][d][s]] + shape_points[line_shape[other][d][s]];
    return v * 16 + history[side][s] / 64;
}

int generate_moves(Square* out, int limit) {
    const uint8_t side = uint8_t(~ply & 1), other = uint8_t(1 - side);
    Square moves[MAX_MOVES];
    int scores[MAX_MOVES];
    int n = 0;
    for (const Square s : board_squares.list) {
        if (cells[s] != EMPTY) continue;
        if (square_class[side][s] < CLASS_TWO && square_class[other][s] < CLASS_TWO) continue;
        moves[n] = s;
        scores[n] = move_score(side, s);
        ++n;
    }
    // Only the best `limit` playable moves are wanted: pick them one by one
    // (higher score first, then lower Square), rather than sorting them all.
    int count = 0;
    for (int i = 0; i < n && count < limit; ++i) {
        int best = i;
        for (int j = i + 1; j < n; ++j)
            if (scores[j] > scores[best] || (scores[j] == scores[best] && moves[j] < moves[best]))
                best = j;
        const Square m = moves[best];
        moves[best] = moves[i];
        scores[best] = scores[i];
        if (playable(side, m)) out[count++] = m;
    }
    return count;
}

int generate_defences(Square* out, bool wide) {
    const uint8_t side = uint8_t(~ply & 1), other = uint8_t(1 - side);
    uint64_t set[4];
    for (int w = 0; w < 4; ++w) set[w] = four_squares[side][w] | four_squares[other][w];
    if (wide) {
        for (const Square s : board_squares.list) {
            const uint8_t k = square_class[other][s];
            if (k >= CLASS_OPEN_THREE && k <= CLASS_DOUBLE_THREE)
                set[s >> 6] |= uint64_t(1) << (s & 63);
        }
    }
    Square moves[MAX_MOVES];
    int scores[MAX_MOVES];
    int n = 0;
    for (int w = 0; w < 4; ++w) {
        for (uint64_t bits = set[w]; bits; bits &= bits - 1) {
            const Square s = Square(w * 64 + __builtin_ctzll(bits));
            if (cells[s] != EMPTY || !playable(side, s)) continue;
            moves[n] = s;
            scores[n] = move_score(side, s);
            ++n;
        }
    }
    sort_moves(moves, scores, n);
    std::memcpy(out, moves, size_t(n));
    return n;
}

void age_history() {
    for (auto& colour : history)
        for (int32_t& h : colour) h /= 4;
}

} // namespace kq2

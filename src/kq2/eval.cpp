// Evaluation and move ordering from what the board keeps current: the line
// shapes and square classes of both colours. The value sums, over the empty
// squares near the stones, what a stone of either colour would make there:
// the weight of the square's class, or of its exact combination of four line
// shapes where a fit set one apart. The side to move is weighed higher,
// because it gets to use its shapes first.
#include <cstdint>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "../core/board/board.h"
#include "kq2.h"

namespace kq2 {

int32_t history[2][256];

// Per class 0..16 and by the colour of the side to move: the value of one
// square of that class for the side to move (own) and for the side that moved
// last (theirs). Fitted to the results of engine games (kq2-tune): the side to
// move's threes with extras weigh far more than the same squares of the side
// that must answer them, black's fours with extras more than white's, and
// with white to move a square where black would make a double three counts
// for white.
// Classes 11, 12 and 14 never stand in a quiet position and keep set values.
const int own_weight[2][CLASS_SLOTS] = {
    {0, 0, -4, 16, 38, 53, 91, 59, 34, 111, 0, 160, 160, 200, 600, 0, 0, 0},  // white to move
    {0, 0, -5, 3, 26, 37, 113, 110, 32, 155, 0, 160, 160, 200, 600, 0, 0, 0}, // black to move
};
const int their_weight[2][CLASS_SLOTS] = {
    {0, 0, -1, 7, 2, 38, 51, -135, 47, 145, 0, 84, 84, 105, 280, 0, 0, 0},  // white to move
    {0, 0, -9, 12, 22, 26, 25, -77, 32, 104, 0, 84, 84, 257, 280, 0, 0, 0}, // black to move
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

// Every square's value by its shape key, for the side to move: [mover][0] for
// the mover's own squares, [mover][1] for the other side's, built for the
// rule in force by refresh_evaluation().
int16_t key_value[2][2][SHAPE_KEYS];
int key_values_rule = -1;

// The ordering score of a move by the mover's shape key of the square
// ([mover][0]) and the other side's ([mover][1]): what it makes and what it
// takes away, divided by 16 (the shape part of a move score is a multiple of 16;
// history is added after): 16 bits keep the tables half the size in the cache.
int16_t order_value[2][2][SHAPE_KEYS];

// Shape combinations that the fit set apart from their class weight.
struct ShapeWeight {
    uint8_t mover, theirs;
    uint16_t combo;
    int16_t value;
};
const ShapeWeight shape_weights[] = {
#include "shape_weights.inc"
    {0, 0, 0, 0}, // (an entry for combination 0, which is never fitted: the list is never empty)
};

// The ordering score, in units of 16, of a square of combination `combo` and
// class k for the side to move `mover`, by its own shapes or (theirs) the
// other side's.
int combo_order(uint8_t mover, bool theirs, int combo, uint8_t k) {
    const uint8_t colour = theirs ? uint8_t(1 - mover) : mover;
    const uint8_t* sh = shape_combos.shapes[combo];
    int v = restricted_value((theirs ? defence_score : attack_score)[k], colour, k);
    for (int d = 0; d < 4; ++d) v += shape_points[sh[d]];
    return v;
}

// Only squares within three of a stone of the same colour, along a line, can
// hold a two or more (a stone four away shares a window of five but no three
// can be made of the two): the stones' bounding box widened by three holds
// every square that counts for the evaluation or is a candidate move.
struct StoneBox {
    int row_lo, row_hi, col_lo, col_hi;
    unsigned columns() const { return (2u << col_hi) - (1u << col_lo); } // a bit per column
};
StoneBox stone_box() {
    int row_lo = 15, row_hi = -1, col_lo = 15, col_hi = -1;
#if defined(__SSE2__)
    // The occupied columns of each row, 16 squares at a time: the cost does
    // not grow with the number of stones.
    const __m128i empty = _mm_set1_epi8(char(EMPTY));
    unsigned columns = 0;
    for (int r = 0; r < BOARD_SIZE; ++r) {
        const __m128i row = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cells + r * 16));
        const unsigned stones = ~unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(row, empty))) & 0x7FFFu;
        if (!stones) continue;
        row_lo = r < row_lo ? r : row_lo;
        row_hi = r;
        columns |= stones;
    }
    if (columns) {
        col_lo = __builtin_ctz(columns);
        col_hi = 31 - __builtin_clz(columns);
    }
#else
    for (int i = 0; i < ply; ++i) {
        const int r = move_stack[i] >> 4, c = move_stack[i] & 15;
        row_lo = r < row_lo ? r : row_lo;
        row_hi = r > row_hi ? r : row_hi;
        col_lo = c < col_lo ? c : col_lo;
        col_hi = c > col_hi ? c : col_hi;
    }
#endif
    return {row_lo > 3 ? row_lo - 3 : 0, row_hi + 3 < BOARD_SIZE ? row_hi + 3 : BOARD_SIZE - 1,
            col_lo > 3 ? col_lo - 3 : 0, col_hi + 3 < BOARD_SIZE ? col_hi + 3 : BOARD_SIZE - 1};
}

// The columns of row r, a bit per column, whose square is empty and a two or
// more for either colour: the candidates of that row, found 16 squares at a
// time.
inline unsigned candidate_columns(int r) {
#if defined(__SSE2__)
    const auto row = [r](const uint8_t* bytes) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + r * 16));
    };
    const __m128i one = _mm_set1_epi8(1);
    const __m128i twos = _mm_or_si128(_mm_cmpgt_epi8(row(square_class[0]), one),
                                      _mm_cmpgt_epi8(row(square_class[1]), one));
    const __m128i empty = _mm_cmpeq_epi8(row(cells), _mm_set1_epi8(char(EMPTY)));
    return unsigned(_mm_movemask_epi8(_mm_and_si128(twos, empty)));
#else
    unsigned bits = 0;
    for (int c = 0, s = r * 16; c < 16; ++c, ++s)
        if (cells[s] == EMPTY &&
            (square_class[0][s] >= CLASS_TWO || square_class[1][s] >= CLASS_TWO))
            bits |= 1u << c;
    return bits;
#endif
}

// Calls f(s) for every candidate square s inside the stones' box, row by row:
// the empty squares that are a two or more for either colour. No other square
// is a move worth generating or has a value.
template <typename F> inline void for_each_candidate(F f) {
    const StoneBox box = stone_box();
    const unsigned columns = box.columns();
    for (int r = box.row_lo; r <= box.row_hi; ++r)
        for (unsigned bits = candidate_columns(r) & columns; bits; bits &= bits - 1)
            f(r * 16 + __builtin_ctz(bits));
}

} // namespace

const ShapeCombos shape_combos;

ShapeCombos::ShapeCombos() : of_key(), shapes() {
    // Combinations in order of their sorted shapes; of_key first holds the
    // index of each sorted key, then every key gets its sorted key's index.
    int n = 0;
    for (int a = 0; a < 11; ++a)
        for (int b = 0; b <= a; ++b)
            for (int c = 0; c <= b; ++c)
                for (int d = 0; d <= c; ++d) {
                    shapes[n][0] = uint8_t(a), shapes[n][1] = uint8_t(b);
                    shapes[n][2] = uint8_t(c), shapes[n][3] = uint8_t(d);
                    of_key[a + 11 * b + 121 * c + 1331 * d] = uint16_t(n++);
                }
    for (int key = 0; key < SHAPE_KEYS; ++key) {
        int s[4] = {key % 11, key / 11 % 11, key / 121 % 11, key / 1331};
        for (int i = 1; i < 4; ++i)
            for (int j = i; j > 0 && s[j - 1] < s[j]; --j) std::swap(s[j - 1], s[j]);
        const int sorted = s[0] + 11 * s[1] + 121 * s[2] + 1331 * s[3];
        of_key[key] = of_key[sorted];
    }
}

int restricted_value(int v, uint8_t colour, uint8_t k) {
    if (!restricted(colour)) return v;
    switch (k) {
    case CLASS_DOUBLE_FOUR:
    case CLASS_OVERLINE:
        return 0;
    case CLASS_DOUBLE_THREE:
    case CLASS_FOUR_THREE_THREE:
        return v / 2;
    default:
        return v;
    }
}

int combo_weight(uint8_t mover, bool theirs, int combo, uint8_t k) {
    static int16_t fitted[2][2][SHAPE_COMBOS];
    constexpr int16_t UNSET = INT16_MIN;
    static const bool filled = [] {
        for (auto& by_mover : fitted)
            for (auto& by_side : by_mover)
                for (int16_t& w : by_side) w = UNSET;
        for (const ShapeWeight& w : shape_weights) fitted[w.mover][w.theirs][w.combo] = w.value;
        return true;
    }();
    (void)filled;
    const int16_t f = fitted[mover][theirs][combo];
    if (f != UNSET && k >= CLASS_TWO && k <= CLASS_FOUR_MORE) return f;
    return (theirs ? their_weight : own_weight)[mover][k];
}

void refresh_evaluation() {
    if (key_values_rule == game_rule) return;
    key_values_rule = game_rule;
    for (uint8_t mover = 0; mover < 2; ++mover)
        for (int theirs = 0; theirs < 2; ++theirs) {
            const uint8_t colour = theirs ? uint8_t(1 - mover) : mover;
            for (int key = 0; key < SHAPE_KEYS; ++key) {
                const uint8_t k = class_by_key[colour][key];
                const int combo = shape_combos.of_key[key];
                order_value[mover][theirs][key] =
                    int16_t(combo_order(mover, theirs != 0, combo, k));
                key_value[mover][theirs][key] =
                    k < CLASS_TWO || k > CLASS_OPEN_FOUR
                        ? 0
                        : int16_t(restricted_value(combo_weight(mover, theirs != 0, combo, k),
                                                   colour, k));
            }
        }
}

int evaluate() {
    const uint8_t side = uint8_t(~ply & 1), other = uint8_t(1 - side);
    const int16_t* own = key_value[side][0];
    const int16_t* theirs = key_value[side][1];
    const uint16_t* own_key = shape_key[side];
    const uint16_t* their_key = shape_key[other];
    int v = 0;
    for_each_candidate([&](int s) { v += own[own_key[s]] - theirs[their_key[s]]; });
    return v;
}

int move_score(uint8_t side, Square s) {
    const uint8_t other = uint8_t(1 - side);
    return (order_value[side][0][shape_key[side][s]] + order_value[side][1][shape_key[other][s]]) *
               16 +
           history[side][s] / 64;
}

int generate_moves(Square* out, int limit) {
    const uint8_t side = uint8_t(~ply & 1);
    // The best `limit` playable moves, kept in order while the squares are
    // visited (higher score first, then lower Square: a later square with an
    // equal score stays behind).
    int scores[MAX_MOVES];
    int count = 0;
    if (limit <= 0) return 0;
    for_each_candidate([&](int s) {
        const int v = move_score(side, Square(s));
        if (count == limit && v <= scores[count - 1]) return;
        if (!playable(side, Square(s))) return;
        int j = count < limit ? count++ : limit - 1;
        for (; j > 0 && scores[j - 1] < v; --j) {
            out[j] = out[j - 1];
            scores[j] = scores[j - 1];
        }
        out[j] = Square(s);
        scores[j] = v;
    });
    return count;
}

int generate_defences(Square* out, bool wide, bool counter_fours) {
    const uint8_t side = uint8_t(~ply & 1), other = uint8_t(1 - side);
    uint64_t set[4];
    if (wide) {
        for (int w = 0; w < 4; ++w) set[w] = four_squares[side][w] | four_squares[other][w];
        for (const Square s : board_squares.list) {
            const uint8_t k = square_class[other][s];
            if (k >= CLASS_OPEN_THREE && k <= CLASS_DOUBLE_THREE)
                set[s >> 6] |= uint64_t(1) << (s & 63);
        }
    } else {
        threat_replies(set, other);
        if (counter_fours)
            for (int w = 0; w < 4; ++w) set[w] |= four_squares[side][w];
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

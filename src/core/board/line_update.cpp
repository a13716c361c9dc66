// Make, unmake and the incremental update of the four lines through the
// changed square. Only segments the stone bounds or belongs to are rescanned,
// and only squares whose LineShape really changed get their class refreshed,
// which keeps class_count and five_square exact at the least cost.
//
// To keep this loop cheap the board also holds each line in line-major form:
// the stones of each colour as a bit mask per line, and a copy of the shapes
// as 16 contiguous bytes per line. A segment's ends are then found with bit
// scans, its mask with a shift, and its changed squares with one 16-byte
// compare against the table row.
#include <cstring>

#include "board.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

uint16_t shape_key[2][256];
uint64_t four_squares[2][4];
uint8_t class_by_key[2][SHAPE_KEYS];

namespace {

constexpr int LINES = 32; // per direction: 15 rows or columns, 29 diagonals

uint8_t line_of[4][256];   // which line of direction d holds the square
uint8_t pos_of[4][256];    // its place along that line, from the line's first square
uint8_t line_size[4][256]; // number of squares of that line
uint16_t stones_by_line[2][4][LINES];
// One spare row at the end, so a 16-byte read from any place stays inside.
alignas(16) uint8_t shapes_by_line[2][4][LINES + 1][16];

// The journal of every placement: each shape it changed with the square's
// old shape, key and class, and what it cleared at the stone's own square,
// so that undo_stone can put the board back without rescanning or looking a
// class up: it writes the old values back in reverse order (a square changed
// on several lines ends with its values from before the first change) and
// the class counts and four-square sets from a copy taken before the
// placement. A placement changes at most 4 lines of 3 segments of 15 squares.
struct Change {
    uint16_t shape_at; // colour << 10 | direction << 8 | square: the place in line_shape
    uint16_t line_at;  // the place in shapes_by_line
    uint16_t key;      // shape_key before the change
    uint8_t before;    // the shape
    uint8_t square_class;
};
static_assert(sizeof line_shape <= 1u << 16 && sizeof shapes_by_line <= 1u << 16,
              "a journal entry's places fit 16 bits");
constexpr int CHANGES_PER_MOVE = 4 * 3 * 15;
Change journal[MAX_MOVES * CHANGES_PER_MOVE + CHANGES_PER_MOVE];
int journal_top;
struct PlacedStone {
    int journal_start;
    int32_t counts[2][CLASS_SLOTS]; // class_count and four_squares before the placement
    uint64_t fours[2][4];
    Square five[2];
    uint8_t other_class; // the other colour's class and key at the stone's square
    uint16_t other_key;
    uint8_t other_shape[4];
};
PlacedStone placed[MAX_MOVES];

// A shape of q changed from `before` to `after`: update the square's shape
// key and look its class up again.
inline void refresh_class(int colour, int d, int q, uint8_t before, uint8_t after) {
    const int key = shape_key[colour][q] + (int(after) - before) * shape_key_weight[d];
    shape_key[colour][q] = uint16_t(key);
    const uint8_t k = class_by_key[colour][key];
    const uint8_t old = square_class[colour][q];
    if (k != old) {
        --class_count[colour][old];
        ++class_count[colour][k];
        square_class[colour][q] = k;
        const uint64_t bit = uint64_t(1) << (q & 63);
        uint64_t& word = four_squares[colour][q >> 6];
        word = (word & ~bit) | (FOUR_CLASSES >> k & 1 ? bit : 0);
    }
    if (k == CLASS_FIVE) five_square[colour] = Square(q);
}

// Bit k set when place k of the 16 bytes at `now` differs from `target`.
inline unsigned changed_places(const uint8_t* now, const uint8_t* target) {
#if defined(__SSE2__)
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(now));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(target));
    return ~unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(a, b))) & 0xFFFFu;
#else
    unsigned bits = 0;
    for (int k = 0; k < 16; ++k)
        if (now[k] != target[k]) bits |= 1u << k;
    return bits;
#endif
}

// Places [first, last] of the segment of `colour` around place p of a line,
// bounded by the other colour's stones and the line's ends.
inline void segment_bounds(unsigned others, int p, int size, int& first, int& last) {
    const unsigned below = others & ((1u << p) - 1);
    first = below ? 32 - __builtin_clz(below) : 0;
    const unsigned above = others >> (p + 1);
    last = above ? p + __builtin_ctz(above) : size - 1;
}

const uint8_t zero_row[16] = {};

// Starts loading the table row of the segment of `colour` from place `first`
// to `last` of a line whose stones of that colour are `stones`, so that the
// rescan finds it cached.
inline void prefetch_row(int colour, unsigned stones, int first, int last) {
    const int len = last - first + 1;
    if (len < 5) return;
    const unsigned mask = (stones >> first) & ((1u << len) - 1);
    __builtin_prefetch(line_table[colour][len] + mask * unsigned(len));
}

// The rows that placing a stone of `colour` on m will read: the placing
// colour's segment through m and the other colour's stretches on either side
// of it, in all four directions. The rows of long segments miss the cache;
// loading them together hides most of the wait.
inline void prefetch_place_rows(int m, int colour) {
    const int other = 1 - colour;
    for (int d = 0; d < 4; ++d) {
        const int line = line_of[d][m], p = pos_of[d][m], size = line_size[d][m];
        int first, last;
        segment_bounds(stones_by_line[other][d][line], p, size, first, last);
        // The placing colour's mask will hold the new stone too.
        const unsigned own = unsigned(stones_by_line[colour][d][line]) | 1u << p;
        prefetch_row(colour, own, first, last);
        segment_bounds(own, p, size, first, last);
        const unsigned theirs = stones_by_line[other][d][line];
        prefetch_row(other, theirs, first, p - 1);
        prefetch_row(other, theirs, p + 1, last);
    }
}

// The same for taking back the stone of `colour` on m: the rows of that
// colour's segment through the emptied m and of the other colour's segment
// joined through it.
inline void prefetch_remove_rows(int m, int colour) {
    const int other = 1 - colour;
    for (int d = 0; d < 4; ++d) {
        const int line = line_of[d][m], p = pos_of[d][m], size = line_size[d][m];
        int first, last;
        segment_bounds(stones_by_line[other][d][line], p, size, first, last);
        const unsigned own = unsigned(stones_by_line[colour][d][line]) & ~(1u << p);
        prefetch_row(colour, own, first, last);
        segment_bounds(own, p, size, first, last);
        prefetch_row(other, stones_by_line[other][d][line], first, last);
    }
}

} // namespace

void init_line_index() {
    for (int s = 0; s < 240; ++s) {
        if ((s & 15) == 15) continue;
        const int r = s >> 4, c = s & 15;
        const int line[4] = {r, c, r + c, r - c + 14};
        for (int d = 0; d < 4; ++d) {
            line_of[d][s] = uint8_t(line[d]);
            pos_of[d][s] = uint8_t(edge_back[d][s] / dir_step[d]);
            line_size[d][s] = uint8_t((edge_back[d][s] + edge_fwd[d][s]) / dir_step[d] + 1);
        }
    }
}

void reset_line_index() {
    journal_top = 0;
    std::memset(four_squares, 0, sizeof four_squares);
    std::memset(stones_by_line, 0, sizeof stones_by_line);
    std::memset(shapes_by_line, 1, sizeof shapes_by_line);
}

void rescan_segment(int start, int d, int len, int colour) {
    if (len <= 0) return;
    const int step = dir_step[d];
    const int line = line_of[d][start], p0 = pos_of[d][start];
    uint8_t* copy = &shapes_by_line[colour][d][line][p0];
    const uint8_t* row = zero_row; // too short to ever hold a five
    if (len >= 5) {
        const unsigned mask = (unsigned(stones_by_line[colour][d][line]) >> p0) & ((1u << len) - 1);
        row = line_table[colour][len] + mask * unsigned(len);
    }
    unsigned changed = changed_places(copy, row) & ((1u << len) - 1);
    uint8_t* shapes = line_shape[colour][d];
    while (changed) {
        const int k = __builtin_ctz(changed);
        changed &= changed - 1;
        const int q = start + k * step;
        const uint8_t before = copy[k], after = row[k];
        journal[journal_top++] = {uint16_t(colour << 10 | d << 8 | q),
                                  uint16_t(&copy[k] - &shapes_by_line[0][0][0][0]),
                                  shape_key[colour][q], before, square_class[colour][q]};
        copy[k] = after;
        shapes[q] = after;
        refresh_class(colour, d, q, before, after);
    }
}

uint8_t shape_with_blocker(int colour, int d, Square p, Square q) {
    const int line = line_of[d][p], at = pos_of[d][p];
    const unsigned others = unsigned(stones_by_line[1 - colour][d][line]) | 1u << pos_of[d][q];
    int first, last;
    segment_bounds(others, at, line_size[d][p], first, last);
    const int len = last - first + 1;
    if (len < 5) return SHAPE_NONE;
    const unsigned mask = (unsigned(stones_by_line[colour][d][line]) >> first) & ((1u << len) - 1);
    return line_table[colour][len][mask * unsigned(len) + unsigned(at - first)];
}

uint8_t class_with_blocker(int colour, Square p, Square q) {
    if (p == q) return square_class[colour][p];
    for (int d = 0; d < 4; ++d) {
        if (line_of[d][p] != line_of[d][q]) continue;
        const int after = shape_with_blocker(colour, d, p, q);
        const int key =
            shape_key[colour][p] + (after - line_shape[colour][d][p]) * shape_key_weight[d];
        return class_by_key[colour][key];
    }
    return square_class[colour][p];
}

void update_lines_after_place(int m, int d, int colour) {
    const int step = dir_step[d];
    const int other = 1 - colour;
    const int line = line_of[d][m], p = pos_of[d][m], size = line_size[d][m];
    const int base = m - p * step;
    stones_by_line[colour][d][line] = uint16_t(stones_by_line[colour][d][line] | 1u << p);

    // The placing colour's segment through m.
    int first, last;
    segment_bounds(stones_by_line[other][d][line], p, size, first, last);
    rescan_segment(base + first * step, d, last - first + 1, colour);

    // The other colour's old segment is cut in two at m.
    segment_bounds(stones_by_line[colour][d][line], p, size, first, last);
    rescan_segment(base + first * step, d, p - first, other);
    rescan_segment(m + step, d, last - p, other);
}

void update_lines_after_remove(int m, int d, int colour) {
    const int step = dir_step[d];
    const int other = 1 - colour;
    const int line = line_of[d][m], p = pos_of[d][m], size = line_size[d][m];
    const int base = m - p * step;
    stones_by_line[colour][d][line] = uint16_t(stones_by_line[colour][d][line] & ~(1u << p));

    int first, last;
    segment_bounds(stones_by_line[other][d][line], p, size, first, last);
    rescan_segment(base + first * step, d, last - first + 1, colour);

    // The other colour's two stretches join again through m.
    segment_bounds(stones_by_line[colour][d][line], p, size, first, last);
    rescan_segment(base + first * step, d, last - first + 1, other);
}

void place_stone(Square m, uint8_t colour) {
    prefetch_place_rows(m, colour);
    const int other = 1 - colour;
    PlacedStone& record = placed[ply];
    record.journal_start = journal_top;
    std::memcpy(record.counts, class_count, sizeof record.counts);
    std::memcpy(record.fours, four_squares, sizeof record.fours);
    record.five[0] = five_square[0];
    record.five[1] = five_square[1];
    record.other_class = square_class[other][m];
    record.other_key = shape_key[other][m];
    cells[m] = colour;
    hash_index ^= zobrist_index[colour][m];
    hash_lock ^= zobrist_lock[colour][m];
    move_stack[ply++] = m;
    for (int d = 0; d < 4; ++d) update_lines_after_place(m, d, colour);
    // The other colour's entries at m itself are not part of any rescan.
    for (int d = 0; d < 4; ++d) {
        record.other_shape[d] = line_shape[other][d][m];
        line_shape[other][d][m] = 0;
        shapes_by_line[other][d][line_of[d][m]][pos_of[d][m]] = 0;
    }
    shape_key[other][m] = 0;
    four_squares[other][m >> 6] &= ~(uint64_t(1) << (m & 63));
    --class_count[other][square_class[other][m]];
    square_class[other][m] = CLASS_NONE;
    ++class_count[other][CLASS_NONE];
}

bool restore_on_remove = false;

void remove_stone() {
    if (restore_on_remove) {
        undo_stone();
        return;
    }
    const Square m = move_stack[--ply];
    const uint8_t colour = cells[m];
    prefetch_remove_rows(m, colour);
    cells[m] = EMPTY;
    hash_index ^= zobrist_index[colour][m];
    hash_lock ^= zobrist_lock[colour][m];
    for (int d = 0; d < 4; ++d) update_lines_after_remove(m, d, colour);
    // The placement's entries, and what the rescans above wrote, are done with.
    journal_top = placed[ply].journal_start;
}

void undo_stone() {
    const Square m = move_stack[--ply];
    const int colour = cells[m], other = 1 - colour;
    const PlacedStone& record = placed[ply];
    cells[m] = EMPTY;
    hash_index ^= zobrist_index[colour][m];
    hash_lock ^= zobrist_lock[colour][m];
    // The other colour's entries at m, as they were.
    for (int d = 0; d < 4; ++d) {
        line_shape[other][d][m] = record.other_shape[d];
        shapes_by_line[other][d][line_of[d][m]][pos_of[d][m]] = record.other_shape[d];
    }
    shape_key[other][m] = record.other_key;
    square_class[other][m] = record.other_class;
    // Every shape the placement changed, newest first.
    uint8_t* const shapes = &line_shape[0][0][0];
    uint8_t* const line_copies = &shapes_by_line[0][0][0][0];
    for (int i = journal_top - 1; i >= record.journal_start; --i) {
        const Change c = journal[i];
        shapes[c.shape_at] = c.before;
        line_copies[c.line_at] = c.before;
        const int at = (c.shape_at >> 10) << 8 | (c.shape_at & 255);
        (&shape_key[0][0])[at] = c.key;
        (&square_class[0][0])[at] = c.square_class;
    }
    journal_top = record.journal_start;
    std::memcpy(class_count, record.counts, sizeof record.counts);
    std::memcpy(four_squares, record.fours, sizeof record.fours);
    for (int d = 0; d < 4; ++d) {
        uint16_t& stones = stones_by_line[colour][d][line_of[d][m]];
        stones = uint16_t(stones & ~(1u << pos_of[d][m]));
    }
    five_square[0] = record.five[0];
    five_square[1] = record.five[1];
}

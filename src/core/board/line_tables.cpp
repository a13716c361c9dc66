// Line pattern tables: for every segment length 5..15 and every pattern of own
// stones in it, the LineShape each square of the segment gets.
//
// A segment is a stretch of a line holding no stone of the other colour, so
// its content is a bit mask. The classifier slides windows of five cells over
// the segment, looks each window's shapes up in window_table and merges them;
// black's tables follow the Renju rules, white's count five or more as five.
#include <cstdlib>
#include <cstring>

#include "board.h"

uint8_t* line_table[2][16];

namespace {
// The tables as built: [0] counts five or more as five, [1] follows black's
// Renju rows (exactly five; a six marked). line_table points into these.
uint8_t* built_tables[2][16];
} // namespace

void apply_rule_tables() {
    const int white = game_rule == RULE_EXACT ? 1 : 0;
    const int black = game_rule == RULE_FREE ? 0 : 1;
    for (int len = 0; len < 16; ++len) {
        line_table[WHITE][len] = built_tables[white][len];
        line_table[BLACK][len] = built_tables[black][len];
    }
}

// Rows by left_closed * 64 + right_closed * 32 + stones; in the comments an X
// is an own stone, cell 0 first. A window is closed on a side when the edge of
// the segment or an own stone (which would make the line too long) is there.
const uint8_t window_table[128][5] = {
    // open on both sides
    {1, 1, 1, 1, 1}, // .....
    {1, 2, 2, 2, 0}, // ....X
    {2, 2, 2, 0, 2}, // ...X.
    {3, 4, 4, 0, 0}, // ...XX
    {2, 2, 0, 2, 2}, // ..X..
    {3, 4, 0, 4, 0}, // ..X.X
    {4, 4, 0, 0, 4}, // ..XX.
    {6, 7, 0, 0, 0}, // ..XXX
    {2, 0, 2, 2, 2}, // .X...
    {3, 0, 4, 4, 0}, // .X..X
    {4, 0, 4, 0, 4}, // .X.X.
    {5, 0, 7, 0, 0}, // .X.XX
    {4, 0, 0, 4, 4}, // .XX..
    {6, 0, 0, 7, 0}, // .XX.X
    {7, 0, 0, 0, 7}, // .XXX.
    {8, 0, 0, 0, 0}, // .XXXX
    {0, 2, 2, 2, 1}, // X....
    {0, 3, 3, 3, 0}, // X...X
    {0, 4, 4, 0, 3}, // X..X.
    {0, 5, 6, 0, 0}, // X..XX
    {0, 4, 0, 4, 3}, // X.X..
    {0, 6, 0, 6, 0}, // X.X.X
    {0, 7, 0, 0, 6}, // X.XX.
    {0, 8, 0, 0, 0}, // X.XXX
    {0, 0, 4, 4, 3}, // XX...
    {0, 0, 6, 5, 0}, // XX..X
    {0, 0, 7, 0, 5}, // XX.X.
    {0, 0, 8, 0, 0}, // XX.XX
    {0, 0, 0, 7, 6}, // XXX..
    {0, 0, 0, 8, 0}, // XXX.X
    {0, 0, 0, 0, 8}, // XXXX.
    {0, 0, 0, 0, 0}, // XXXXX
    // closed on the right
    {1, 1, 1, 1, 0}, // .....
    {1, 1, 1, 1, 0}, // ....X
    {2, 2, 2, 0, 1}, // ...X.
    {3, 3, 3, 0, 0}, // ...XX
    {2, 2, 0, 2, 1}, // ..X..
    {3, 3, 0, 3, 0}, // ..X.X
    {4, 4, 0, 0, 3}, // ..XX.
    {5, 5, 0, 0, 0}, // ..XXX
    {2, 0, 2, 2, 1}, // .X...
    {3, 0, 3, 3, 0}, // .X..X
    {4, 0, 4, 0, 3}, // .X.X.
    {5, 0, 5, 0, 0}, // .X.XX
    {4, 0, 0, 4, 3}, // .XX..
    {6, 0, 0, 5, 0}, // .XX.X
    {7, 0, 0, 0, 5}, // .XXX.
    {8, 0, 0, 0, 0}, // .XXXX
    {0, 2, 2, 2, 1}, // X....
    {0, 3, 3, 3, 0}, // X...X
    {0, 4, 4, 0, 3}, // X..X.
    {0, 5, 5, 0, 0}, // X..XX
    {0, 4, 0, 4, 3}, // X.X..
    {0, 6, 0, 5, 0}, // X.X.X
    {0, 7, 0, 0, 5}, // X.XX.
    {0, 8, 0, 0, 0}, // X.XXX
    {0, 0, 4, 4, 3}, // XX...
    {0, 0, 6, 5, 0}, // XX..X
    {0, 0, 7, 0, 5}, // XX.X.
    {0, 0, 8, 0, 0}, // XX.XX
    {0, 0, 0, 7, 6}, // XXX..
    {0, 0, 0, 8, 0}, // XXX.X
    {0, 0, 0, 0, 8}, // XXXX.
    {0, 0, 0, 0, 0}, // XXXXX
    // closed on the left
    {0, 1, 1, 1, 1}, // .....
    {1, 2, 2, 2, 0}, // ....X
    {1, 2, 2, 0, 2}, // ...X.
    {3, 4, 4, 0, 0}, // ...XX
    {1, 2, 0, 2, 2}, // ..X..
    {3, 4, 0, 4, 0}, // ..X.X
    {3, 4, 0, 0, 4}, // ..XX.
    {6, 7, 0, 0, 0}, // ..XXX
    {1, 0, 2, 2, 2}, // .X...
    {3, 0, 4, 4, 0}, // .X..X
    {3, 0, 4, 0, 4}, // .X.X.
    {5, 0, 7, 0, 0}, // .X.XX
    {3, 0, 0, 4, 4}, // .XX..
    {5, 0, 0, 7, 0}, // .XX.X
    {5, 0, 0, 0, 7}, // .XXX.
    {8, 0, 0, 0, 0}, // .XXXX
    {0, 1, 1, 1, 1}, // X....
    {0, 3, 3, 3, 0}, // X...X
    {0, 3, 3, 0, 3}, // X..X.
    {0, 5, 6, 0, 0}, // X..XX
    {0, 3, 0, 3, 3}, // X.X..
    {0, 5, 0, 6, 0}, // X.X.X
    {0, 5, 0, 0, 6}, // X.XX.
    {0, 8, 0, 0, 0}, // X.XXX
    {0, 0, 3, 3, 3}, // XX...
    {0, 0, 5, 5, 0}, // XX..X
    {0, 0, 5, 0, 5}, // XX.X.
    {0, 0, 8, 0, 0}, // XX.XX
    {0, 0, 0, 5, 5}, // XXX..
    {0, 0, 0, 8, 0}, // XXX.X
    {0, 0, 0, 0, 8}, // XXXX.
    {0, 0, 0, 0, 0}, // XXXXX
    // closed on both sides
    {0, 0, 0, 0, 0}, // .....
    {1, 1, 1, 1, 0}, // ....X
    {1, 1, 1, 0, 1}, // ...X.
    {3, 3, 3, 0, 0}, // ...XX
    {1, 1, 0, 1, 1}, // ..X..
    {3, 3, 0, 3, 0}, // ..X.X
    {3, 3, 0, 0, 3}, // ..XX.
    {5, 5, 0, 0, 0}, // ..XXX
    {1, 0, 1, 1, 1}, // .X...
    {3, 0, 3, 3, 0}, // .X..X
    {3, 0, 3, 0, 3}, // .X.X.
    {5, 0, 5, 0, 0}, // .X.XX
    {3, 0, 0, 3, 3}, // .XX..
    {5, 0, 0, 5, 0}, // .XX.X
    {5, 0, 0, 0, 5}, // .XXX.
    {8, 0, 0, 0, 0}, // .XXXX
    {0, 1, 1, 1, 1}, // X....
    {0, 3, 3, 3, 0}, // X...X
    {0, 3, 3, 0, 3}, // X..X.
    {0, 5, 5, 0, 0}, // X..XX
    {0, 3, 0, 3, 3}, // X.X..
    {0, 5, 0, 5, 0}, // X.X.X
    {0, 5, 0, 0, 5}, // X.XX.
    {0, 8, 0, 0, 0}, // X.XXX
    {0, 0, 3, 3, 3}, // XX...
    {0, 0, 5, 5, 0}, // XX..X
    {0, 0, 5, 0, 5}, // XX.X.
    {0, 0, 8, 0, 0}, // XX.XX
    {0, 0, 0, 5, 5}, // XXX..
    {0, 0, 0, 8, 0}, // XXX.X
    {0, 0, 0, 0, 8}, // XXXX.
    {0, 0, 0, 0, 0}, // XXXXX
};

namespace {

// Merging a window's entry h into the value l a square already has: two fours
// from different windows make "two fours", a four next to a closed three makes
// "four with extra", anything else keeps the stronger shape.
inline uint8_t merge_shape(uint8_t h, uint8_t l) {
    bool h_four = h == SHAPE_FOUR || h == SHAPE_FOUR_EXTRA;
    bool l_four = l == SHAPE_FOUR || l == SHAPE_FOUR_EXTRA;
    if (h_four && l_four) return SHAPE_TWO_FOURS;
    if ((h == SHAPE_FOUR && l == SHAPE_CLOSED_THREE) ||
        (h == SHAPE_CLOSED_THREE && l == SHAPE_FOUR))
        return SHAPE_FOUR_EXTRA;
    return h > l ? h : l;
}

} // namespace

void classify_segment(uint8_t* out, unsigned mask, int len, bool renju, bool mirror) {
    std::memset(out, 0, size_t(len));
    if (len < 5) return;
    auto own = [mask](int k) { return ((mask >> k) & 1u) != 0; };

    int s = 0;
    while (s + 4 < len) {
        // Black: a window right behind an own stone belongs to a longer run.
        if (renju && s > 0 && own(s - 1)) {
            ++s;
            continue;
        }
        unsigned stones = 0;
        int empties = 0, first_empty = 0;
        for (int i = 0; i < 5; ++i) {
            if (own(s + i)) {
                stones |= 1u << (4 - i);
            } else if (empties++ == 0) {
                first_empty = i;
            }
        }
        int next = empties >= 1 ? s + first_empty + 1 : s + 1;
        if (renju && s + 5 < len && own(s + 5)) {
            // An own stone right after the window: filling its only gap makes six or more.
            if (empties == 1) out[s + first_empty] = SHAPE_OVERLINE;
            s = next;
            continue;
        }
        if (renju && s + 5 < len && empties == 0) {
            // Five already standing: the square after it makes six.
            out[s + 5] = SHAPE_OVERLINE;
            ++s;
            continue;
        }
        bool left = s == 0 || own(s - 1) || (renju && s >= 2 && own(s - 2));
        bool right = s + 5 >= len || own(s + 5) || (renju && s + 6 < len && own(s + 6));
        const uint8_t* row = window_table[(left ? 64 : 0) + (right ? 32 : 0) + stones];
        for (int i = 0; i < 5; ++i) out[s + i] = merge_shape(row[i], out[s + i]);
        s = next;
    }

    if (!renju && mirror) {
        // The walk jumps past the first empty cell of each window, so it only
        // sees a pattern from one end; the reversed segment supplies the rest.
        unsigned reversed = 0;
        for (int k = 0; k < len; ++k)
            if (own(len - 1 - k)) reversed |= 1u << k;
        uint8_t scratch[16];
        classify_segment(scratch, reversed, len, false, false);
        for (int k = 0; k < len; ++k) {
            uint8_t v = scratch[len - 1 - k];
            if (v > out[k]) out[k] = v;
        }
    }
}

void free_line_tables() {
    for (auto& colour_tables : built_tables)
        for (int len = 5; len <= 15; ++len) {
            std::free(colour_tables[len]);
            colour_tables[len] = nullptr;
        }
    apply_rule_tables();
}

bool build_line_tables() {
    std::memset(built_tables, 0, sizeof built_tables);
    std::memset(line_table, 0, sizeof line_table);
    for (int colour = 0; colour < 2; ++colour) {
        for (int len = 5; len <= 15; ++len) {
            size_t rows = size_t(1) << len;
            // 16 spare bytes: the update reads whole 16-byte rows.
            auto* block = static_cast<uint8_t*>(std::calloc(rows * size_t(len) + 16, 1));
            if (!block) {
                free_line_tables();
                return false;
            }
            built_tables[colour][len] = block;
            for (size_t mask = 0; mask < rows; ++mask)
                classify_segment(block + mask * size_t(len), unsigned(mask), len, colour == BLACK,
                                 true);
        }
    }
    apply_rule_tables();
    return true;
}

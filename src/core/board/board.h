// The engine board: the engine's own copy of the position, with everything
// derived from it kept current on every make and unmake.
//
// Owned here:
//  - cells, ply, move_stack and the two Zobrist keys of the position;
//  - line_shape[colour][direction][square]: what a stone of that colour on the
//    (empty) square would make along that line, a LineShape code;
//  - square_class[colour][square]: the four shapes combined, a SquareClass code;
//  - class_count[colour][class]: how many squares hold each class (exact for
//    classes 2..16; classes 0 and 1 are counted but meaningless, because every
//    square starts in class 1 while the counts start at zero);
//  - five_square[colour]: the last square that was given class 15; it is never
//    cleared, so read it only while class_count[colour][CLASS_FIVE] is nonzero;
//  - the line pattern tables and the square class table built at set-up.
//
// Invariants: occupied squares have shape 0 and class 0 for both colours. A
// line (every square of one direction through a point) is settled once a stone
// was placed on it since the last reset; on a settled line every shape is the
// table value for its segment, on an unsettled one every shape is still 1.
// Trial stones always come off in LIFO order, so every algorithm leaves the
// board as it found it (five_square apart).
#pragma once

#include <cstdint>

#include "../types.h"

// Square steps of directions 0..3: along a row, along a column, row+1 and
// column-1, row+1 and column+1.
constexpr uint8_t dir_step[4] = {1, 16, 15, 17};

extern uint8_t cells[256];             // BLACK, WHITE or EMPTY by Square
extern uint8_t ply;                    // stones on the board
extern Square move_stack[MAX_MOVES];   // move_stack[k]: stone placed when ply was k
extern uint32_t hash_index;            // XOR of zobrist_index over the stones
extern uint32_t hash_lock;             // XOR of zobrist_lock over the stones
extern uint32_t zobrist_index[2][256]; // [colour][Square], filled once at set-up
extern uint32_t zobrist_lock[2][256];
extern uint8_t line_shape[2][4][256];       // [colour][direction][Square]
extern uint8_t square_class[2][256];        // [colour][Square]
extern int32_t class_count[2][CLASS_SLOTS]; // [colour][SquareClass]
extern Square five_square[2];               // [colour]

// Walking a line: the line of direction d through s runs from
// s - edge_back[d][s] to s + edge_fwd[d][s] in steps of dir_step[d].
extern uint8_t edge_back[4][256];
extern uint8_t edge_fwd[4][256];

// Line pattern tables: line_table[colour][L] for L = 5..15 holds 2^L rows of
// L LineShapes; row `mask` (bit k = own stone on square k of the segment)
// starts at line_table[colour][L] + mask * L. Black's rows follow the Renju
// rules (exact five, overline marked), white's count five or more as five.
// Pointers for L < 5 stay null.
extern uint8_t* line_table[2][16];

// Square class table: class_table[colour][s3<<12 | s2<<8 | s1<<4 | s0] with
// s0..s3 the square's LineShapes in directions 0..3.
extern uint8_t class_table[2][65536];

// The rule the tables follow. Renju, the default: black's five is exactly
// five and black's double threes, double fours and overlines are fouls, while
// five or more wins for white. Free: five or more wins for both, nothing is
// forbidden. Exact: exactly five wins for both, an overline gains nothing and
// is not forbidden. line_table and the class tables above are views chosen by
// the rule: free play gives both colours white's line tables, exact play gives
// both black's (whose rows never count a six), with a class table in which an
// overline shape counts for nothing. Positions under different rules get
// different hash locks (the lock of the empty board is rule_lock), so no
// table entry is ever taken for a position of another rule.
constexpr uint8_t RULE_FREE = 0;
constexpr uint8_t RULE_EXACT = 1;
constexpr uint8_t RULE_RENJU = 4;
extern uint8_t game_rule;
extern uint32_t rule_lock;
// XORed into the empty board's lock too, by an engine that keeps its own
// entries in the shared solver table apart from another's; 0 by default.
extern uint32_t lock_salt;
// Chooses the tables of a rule; only between thinks. Takes effect at once
// when the tables are built, otherwise when they are.
void select_rule(uint8_t rule);
// Whether the Renju restrictions bind this colour.
inline bool restricted(uint8_t colour) { return colour == BLACK && game_rule == RULE_RENJU; }

// The same classes by a compact key, sum of shape(d) * 11^d: 14641 entries per
// colour stay in the first-level cache, and shape_key[colour][square] keeps
// each square's key current alongside line_shape.
constexpr int SHAPE_KEYS = 11 * 11 * 11 * 11;
constexpr uint16_t shape_key_weight[4] = {1, 11, 121, 1331}; // 11^d
extern uint8_t class_by_key[2][SHAPE_KEYS];
extern uint16_t shape_key[2][256];

// Squares whose class for a colour is a four or better (8, 9, 11 to 15), as
// a bit set by Square: scans for fours visit only these, in Square order.
constexpr uint32_t FOUR_CLASSES = 1u << CLASS_FOUR | 1u << CLASS_FOUR_MORE |
                                  1u << CLASS_FOUR_THREE | 1u << CLASS_FOUR_THREE_THREE |
                                  1u << CLASS_DOUBLE_FOUR | 1u << CLASS_OPEN_FOUR |
                                  1u << CLASS_FIVE;
extern uint64_t four_squares[2][4];

// Calls f(s) for every Square s in four_squares[colour], in increasing
// order; f returns false to stop. The set may change during the walk: each
// word is read when the walk reaches it, and squares added behind the walk
// are not visited.
template <typename F> inline void for_each_four_square(int colour, F f) {
    for (int w = 0; w < 4; ++w) {
        uint64_t bits = four_squares[colour][w];
        while (bits) {
            const int s = w * 64 + __builtin_ctzll(bits);
            bits &= bits - 1;
            if (!f(s)) return;
        }
    }
}

// The window shape table: LineShapes a window of five cells gives each cell,
// indexed left_closed * 64 + right_closed * 32 + stones (cell i is bit 4 - i).
extern const uint8_t window_table[128][5];

// Set-up.
void init_geometry();
void build_class_table();
bool build_line_tables(); // false when out of memory (everything released)
void free_line_tables();
void apply_rule_tables(); // points the table views at the current rule's tables
void classify_segment(uint8_t* out, unsigned mask, int len, bool renju, bool mirror);

// Empty board, keys 0, every shape and class 1; then runs the reset hook.
void reset_engine_board();
// Work done on every reset by the layers above the board (statistics ageing,
// node counters); installed by the engine's set-up.
extern void (*reset_hook)();

// Make and unmake. place_stone needs an empty on-board square and a colour of
// 0 or 1; remove_stone takes back the last stone placed.
void place_stone(Square m, uint8_t colour);
void remove_stone();
// Takes back the last stone placed by restoring what its placement changed,
// without rescanning: the board is then exactly as it was before, lines the
// placement settled included (remove_stone leaves those settled).
void undo_stone();
// When set, remove_stone takes its stone back as undo_stone does (an engine
// that wants the cheaper take-back everywhere, the solver's included).
extern bool restore_on_remove;

// Incremental update of the lines through a changed square. The line-major
// copies it keeps are built by init_line_index and cleared by the reset.
void init_line_index();
void reset_line_index();
void rescan_segment(int start, int d, int len, int colour);
void update_lines_after_place(int m, int d, int colour);
void update_lines_after_remove(int m, int d, int colour);
// The LineShape a stone of `colour` on the empty square p would make along
// direction d if the other colour had a stone on q, an empty square of the
// same line: what a placement on q would leave at p, read without placing.
uint8_t shape_with_blocker(int colour, int d, Square p, Square q);
// The same for the square class of p: its class as it is when q is on none
// of p's lines.
uint8_t class_with_blocker(int colour, Square p, Square q);

// Renju restrictions for black on an empty square of the current position;
// under the other rules nothing is forbidden.
bool is_forbidden(Square m);
bool is_double_three(Square m);
bool is_real_three(Square m, int d);

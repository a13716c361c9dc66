// Threat answer collectors. For a winning attacking move found by the solver
// they mark, in the caller's answer buffer, the squares that bear on it: the
// defender's replies in the defender's half and, for a black attacker, the
// squares where black's own stone would change the attack (a four-making
// point next to a joined three, an overline point behind a five, a point that
// would turn the attack into a double four) in black's half.
#include "../board/board.h"
#include "solver.h"

namespace {

inline void mark(AnswerBuffer* answers, int colour, int s) { (*answers)[colour][s] = 1; }

inline int line_start(int m, int d) { return m - edge_back[d][m]; }
inline int line_end(int m, int d) { return m + edge_fwd[d][m]; }

// Looks at m, then at each further square towards one end of the line until a
// defender stone; the line's end square itself is never looked at.
template <typename Look> void inner_walks(int m, int d, int defender, Look look) {
    const int step = dir_step[d];
    const int lo = line_start(m, d), hi = line_end(m, d);
    look(m);
    for (int q = m; q != lo && q - step != lo && cells[q - step] != defender;) {
        q -= step;
        look(q);
    }
    look(m);
    for (int q = m; q != hi && q + step != hi && cells[q + step] != defender;) {
        q += step;
        look(q);
    }
}

// Black squares from which a stone would lift a black four-making point into
// the four-making range of the walk.
void mark_black_four_points(int m, int d, AnswerBuffer* answers) {
    inner_walks(m, d, WHITE, [answers](int s) {
        const uint8_t k = square_class[BLACK][s];
        if (k >= CLASS_FOUR && k <= CLASS_FIVE) mark(answers, BLACK, s);
    });
}

// For a black four with extras: squares of the run from which black's stone,
// instead of m, would leave m a double four.
void mark_double_four_makers(Square m, int d, AnswerBuffer* answers) {
    const int step = dir_step[d];
    const int lo = line_start(m, d), hi = line_end(m, d);
    int a = m, b = m;
    while (a != lo && cells[a - step] != WHITE) a -= step;
    while (b != hi && cells[b + step] != WHITE) b += step;
    for (int s = a;; s += step) {
        const uint8_t shape = line_shape[BLACK][d][s];
        if (shape >= SHAPE_FOUR && shape <= SHAPE_FIVE) {
            remove_stone();
            place_stone(Square(s), BLACK);
            if (square_class[BLACK][m] == CLASS_DOUBLE_FOUR) mark(answers, BLACK, s);
            remove_stone();
            place_stone(m, BLACK);
        }
        if (s == b) break;
    }
}

// For a black four: its five point for white, and the overline points that
// appear once black completes the five.
void mark_four_completion(int m, int d, AnswerBuffer* answers) {
    const int step = dir_step[d];
    const int lo = line_start(m, d), hi = line_end(m, d);
    int f = -1;
    for (int s = lo;; s += step) {
        if (square_class[BLACK][s] == CLASS_FIVE) {
            f = s;
            break;
        }
        if (s == hi) break;
    }
    if (f < 0) return;
    mark(answers, WHITE, f);
    const int32_t overlines = class_count[BLACK][CLASS_OVERLINE];
    place_stone(Square(f), BLACK);
    if (class_count[BLACK][CLASS_OVERLINE] > overlines)
        inner_walks(m, d, WHITE, [answers](int s) {
            if (square_class[BLACK][s] == CLASS_OVERLINE) mark(answers, BLACK, s);
        });
    remove_stone();
}

} // namespace

void answer_four(Square m, uint8_t c, AnswerBuffer* answers) {
    mark(answers, 1 - c, m);
    uint8_t shapes[4];
    for (int d = 0; d < 4; ++d) shapes[d] = line_shape[c][d][m];
    place_stone(m, c);
    if (c == BLACK) {
        for (int d = 0; d < 4; ++d) {
            switch (shapes[d]) {
            case SHAPE_CLOSED_THREE:
            case SHAPE_OPEN_THREE:
                mark_black_four_points(m, d, answers);
                break;
            case SHAPE_FOUR_EXTRA:
                mark_double_four_makers(m, d, answers);
                mark_four_completion(m, d, answers);
                break;
            case SHAPE_FOUR:
                mark_four_completion(m, d, answers);
                break;
            default:
                break;
            }
        }
    }
    remove_stone();
}

void answer_open_four(Square m, uint8_t c, AnswerBuffer* answers) {
    const int defender = 1 - c;
    mark(answers, defender, m);
    int k = 0;
    while (k < 4 && line_shape[c][k][m] != SHAPE_OPEN_FOUR) ++k;
    if (k < 4) {
        const int step = dir_step[k];
        const int lo = line_start(m, k), hi = line_end(m, k);
        int other = m;
        for (int s = lo;; s += step) {
            if (s != m && square_class[c][s] == CLASS_OPEN_FOUR) {
                other = s;
                break;
            }
            if (s == hi) break;
        }
        // The defender's squares that take away both open-four points.
        for (int s = lo;; s += step) {
            if (cells[s] == EMPTY) {
                place_stone(Square(s), uint8_t(defender));
                if (square_class[c][m] != CLASS_OPEN_FOUR &&
                    square_class[c][other] != CLASS_OPEN_FOUR)
                    mark(answers, defender, s);
                remove_stone();
            }
            if (s == hi) break;
        }
    }
    if (c == WHITE) return;

    uint8_t shapes[4];
    bool open_three = false;
    for (int d = 0; d < 4; ++d) {
        shapes[d] = line_shape[BLACK][d][m];
        if (shapes[d] == SHAPE_OPEN_THREE) open_three = true;
    }
    place_stone(m, BLACK);
    for (int d = 0; d < 4; ++d) {
        if (shapes[d] == SHAPE_CLOSED_THREE || shapes[d] == SHAPE_OPEN_THREE) {
            mark_black_four_points(m, d, answers);
        } else if (shapes[d] == SHAPE_TWO && open_three) {
            inner_walks(m, d, WHITE, [answers](int s) {
                if (square_class[BLACK][s] == CLASS_OPEN_THREE) mark(answers, BLACK, s);
            });
        }
    }
    remove_stone();
}

void answer_double_four(Square m, uint8_t c, AnswerBuffer* answers) {
    mark(answers, BLACK, m);
    place_stone(m, c);
    for (int d = 0; d < 4; ++d) {
        const int step = dir_step[d];
        const int lo = line_start(m, d), hi = line_end(m, d);
        for (int s = lo;; s += step) {
            if (square_class[c][s] == CLASS_FIVE) mark(answers, BLACK, s);
            if (s == hi) break;
        }
    }
    remove_stone();
}

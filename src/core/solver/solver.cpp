// The four-threat solver: can the side to move force five by an unbroken
// chain of fours? Each attacking move must make a four (or win at once); the
// defender's only reply is the five point; when that block makes a four of its
// own, the attacker must block it with a move that is again a four.
#include "solver.h"

#include "../board/board.h"
#include "../timing.h"

#include <initializer_list>

SolverEntry solver_table[2 * SOLVER_TABLE_SIZE];
int32_t solver_budget;
uint32_t solver_nodes;
Square solver_move = NO_MOVE;
uint8_t deepest_ply;
uint32_t solver_mask = SOLVER_TABLE_SIZE - 1;
bool solver_strict = false;

// Classes 4..16 are weighed; black's forbidden shapes count against black.
const int8_t class_weight[2][CLASS_SLOTS] = {
    {0, 0, 0, 0, 1, 5, 15, 10, 10, 15, 0, 10, 10, 10, 10, 20, 0, 0},
    {0, 0, 0, 0, 1, 5, 15, -10, 10, 15, 0, 10, -10, -10, -10, 20, -10, -10},
};

namespace {

inline SolverEntry& entry_of(uint8_t side) {
    return solver_table[(hash_index & solver_mask) + side * (solver_mask + 1)];
}

inline void mark(AnswerBuffer* answers, uint8_t colour, Square s) { (*answers)[colour][s] = 1; }

// A stored win is replayed with the collectors so that the caller's buffer
// gets the same marks as when the win was first found.
void collect_stored_win(Square m, uint8_t side, AnswerBuffer* answers) {
    switch (square_class[side][m]) {
    case CLASS_DOUBLE_FOUR:
        answer_double_four(m, side, answers);
        break;
    case CLASS_OPEN_FOUR:
        answer_open_four(m, side, answers);
        break;
    case CLASS_FIVE:
        mark(answers, uint8_t(1 - side), m);
        break;
    default:
        try_four(m, side, answers);
        answer_four(m, side, answers);
        break;
    }
}

struct CandidateList {
    uint8_t count = 0;
    Square squares[MAX_MOVES];
    void add(int s) { squares[count++] = Square(s); }
};

} // namespace

int8_t solve_threats(uint8_t side, AnswerBuffer* answers) {
    const uint8_t defender = uint8_t(1 - side);
    if (time_is_spent()) {
        time_up = 1;
        return RESULT_LOSS;
    }
    SolverEntry& entry = entry_of(side);
    // A stored win whose move is not empty can only be a key collision: ignore it.
    if (entry.lock == hash_lock &&
        (entry.value != RESULT_WIN || (on_board(entry.move) && cells[entry.move] == EMPTY))) {
        if (entry.value != RESULT_WIN) return entry.value;
        if (answers) collect_stored_win(entry.move, side, answers);
        solver_move = entry.move;
        return RESULT_WIN;
    }

    // Fours in three lists: four-threes first, then fours with extras, then
    // plain fours. The first immediate win in Square order ends the scan.
    CandidateList first, second, third;
    int8_t immediate = 0;
    for_each_four_square(side, [&](int s) {
        switch (square_class[side][s]) {
        case CLASS_FOUR:
            third.add(s);
            return true;
        case CLASS_FOUR_MORE:
            second.add(s);
            return true;
        case CLASS_FOUR_THREE:
            first.add(s);
            return true;
        case CLASS_FOUR_THREE_THREE:
            if (!is_forbidden(Square(s))) first.add(s);
            return true;
        case CLASS_DOUBLE_FOUR:
            if (restricted(side)) return true; // forbidden for black
            if (answers) answer_double_four(Square(s), WHITE, answers);
            break;
        case CLASS_OPEN_FOUR:
            if (answers) answer_open_four(Square(s), side, answers);
            break;
        default: // CLASS_FIVE
            if (answers) mark(answers, defender, Square(s));
            break;
        }
        store_win(side, Square(s));
        immediate = RESULT_WIN;
        return false;
    });
    if (immediate) return RESULT_WIN;
    if (first.count + second.count + third.count == 0)
        return solver_strict ? RESULT_LOSS : static_value(side);

    int8_t best = RESULT_LOSS;
    for (const CandidateList* list : {&first, &second, &third}) {
        for (int i = 0; i < list->count; ++i) {
            const Square s = list->squares[i];
            const int8_t t = try_four(s, side, answers);
            if (t == RESULT_ABORTED) return RESULT_ABORTED;
            if (t >= RESULT_WIN) {
                if (answers) answer_four(s, side, answers);
                if (!time_up) {
                    solver_move = s;
                    entry = {hash_lock, RESULT_WIN, s};
                }
                return RESULT_WIN;
            }
            if (t > best) best = t;
        }
    }
    // A value found after an abort is never stored.
    if (solver_budget <= 0 || time_up) return RESULT_ABORTED;
    entry.lock = hash_lock;
    entry.value = best;
    return best;
}

int8_t try_four(Square m, uint8_t side, AnswerBuffer* answers) {
    const uint8_t defender = uint8_t(1 - side);
    if (time_is_spent()) {
        time_up = 1;
        return RESULT_ABORTED;
    }
    if (solver_budget <= 0) return RESULT_ABORTED;
    --solver_budget;
    ++solver_nodes;

    // While the defender threatens five, only its five point may be taken.
    if (class_count[defender][CLASS_FIVE] != 0 && square_class[defender][m] != CLASS_FIVE)
        return RESULT_LOSS;
    switch (square_class[side][m]) {
    case CLASS_FOUR:
    case CLASS_FOUR_MORE:
    case CLASS_FOUR_THREE:
        break;
    case CLASS_FOUR_THREE_THREE:
        if (side == BLACK && is_forbidden(m)) return RESULT_LOSS;
        break;
    case CLASS_DOUBLE_FOUR:
        return restricted(side) ? RESULT_LOSS : RESULT_WIN;
    case CLASS_OPEN_FOUR:
    case CLASS_FIVE:
        return RESULT_WIN;
    default:
        return RESULT_LOSS;
    }

    place_stone(m, side);
    const Square block = five_square[side];
    bool counter = false;
    switch (square_class[defender][block]) {
    case CLASS_OPEN_FOUR:
    case CLASS_FIVE:
        remove_stone();
        return RESULT_LOSS;
    case CLASS_DOUBLE_FOUR:
        // Black may not block with a double four; white's double four wins.
        remove_stone();
        return restricted(defender) ? RESULT_WIN : RESULT_LOSS;
    case CLASS_DOUBLE_THREE:
        if (defender == BLACK && is_forbidden(block)) {
            remove_stone();
            return RESULT_WIN;
        }
        break;
    case CLASS_OVERLINE:
        if (solver_strict) { // black must block there, and the block is a foul
            remove_stone();
            return RESULT_WIN;
        }
        break;
    case CLASS_FOUR_THREE_THREE:
        if (defender == BLACK && is_forbidden(block)) {
            remove_stone();
            return RESULT_WIN;
        }
        counter = true;
        break;
    case CLASS_FOUR:
    case CLASS_FOUR_MORE:
    case CLASS_FOUR_THREE:
        counter = true;
        break;
    default:
        break; // an overline point is blocked like any other
    }

    prefetch_solver_entry(hash_index ^ zobrist_index[defender][block], side);
    place_stone(block, defender);
    int8_t t;
    if (!counter) {
        t = solve_threats(side, answers);
        remove_stone();
        remove_stone();
        return t >= RESULT_WIN ? RESULT_WIN : (t > RESULT_LOSS ? t : RESULT_LOSS);
    }
    // The block made a four: the attacker must block it, and that block must
    // itself be a four.
    if (ply > deepest_ply) deepest_ply = ply;
    t = try_four(five_square[defender], side, answers);
    remove_stone();
    remove_stone();
    if (t >= RESULT_WIN) return RESULT_WIN;
    return t <= RESULT_LOSS ? RESULT_LOSS : t;
}

void store_win(uint8_t side, Square m) {
    if (time_up) return;
    entry_of(side) = {hash_lock, RESULT_WIN, m};
    solver_move = m;
}

int8_t static_value(uint8_t side) {
    const uint8_t other = uint8_t(1 - side);
    int32_t sum = 0;
    for (int k = CLASS_DOUBLE_TWO; k <= CLASS_OVERLINE; ++k)
        sum += class_weight[side][k] * class_count[side][k] -
               class_weight[other][k] * class_count[other][k];
    const int32_t v = sum / 20 + 2;
    if (v > RESULT_WIN) return RESULT_WIN;
    if (v < RESULT_LOSS) return RESULT_LOSS;
    return int8_t(v);
}

int8_t position_value(uint8_t side) {
    const int8_t v = static_value(side);
    solver_budget = SOLVER_TRIES;
    // The side not to move holding a win by fours costs 3, unclamped.
    if (solve_threats(uint8_t(1 - side), nullptr) >= RESULT_WIN) return int8_t(v - 3);
    return v;
}

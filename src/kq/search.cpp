// The main search: negamax alpha-beta over the engine board, one iteration
// per call of search_root with depth limit D and quiet-move depth P.
//
// Every node that neither completes nor must block a five asks the solver
// about both sides. The answer sets its mode: plain; answer (the opponent
// holds a win by fours: only marked answers and own fours are searched); or
// block (the opponent threatens five: only the block, at no cost in depth).
// Quiet moves are searched only while the depth is above D - P.
#include <cstring>

#include "../core/board/board.h"
#include "../core/timing.h"
#include "kq.h"

SearchEntry search_table[SEARCH_TABLE_SIZE];

namespace {

inline SearchEntry& current_entry() { return search_table[hash_index & (SEARCH_TABLE_SIZE - 1)]; }

inline uint32_t depth_weight(int depth) { return uint32_t(1) << (unsigned(depth) % 32u); }

inline int8_t negate(int8_t v) { return int8_t(-v); }

// The five point the opponent threatens; five_square is normally it, but is
// only "the last square given class 15", so make sure.
Square threatened_five(uint8_t colour) {
    const Square f = five_square[colour];
    if (square_class[colour][f] == CLASS_FIVE) return f;
    for (int s = 0; s < 240; ++s)
        if (square_class[colour][s] == CLASS_FIVE) return Square(s);
    return f;
}

} // namespace

int8_t table_probe(int8_t alpha, int8_t beta, int8_t depth) {
    const SearchEntry& e = current_entry();
    if (e.lock != hash_lock || e.depth < depth || e.plain_depth < plain_depth) return TABLE_MISS;
    switch (e.bound) {
    case 0:
        return e.value;
    case 1:
        return e.value <= alpha ? alpha : TABLE_MISS;
    case 2:
        return e.value >= beta ? beta : TABLE_MISS;
    default:
        return TABLE_MISS;
    }
}

void table_store(int8_t depth, int8_t value, uint8_t bound) {
    if (time_up) return;
    current_entry() = {hash_lock, depth, plain_depth, value, bound};
}

void credit_move(Square square, uint8_t colour, uint32_t weight) {
    MoveStat* n = stat_node[colour][square];
    n->total += weight;
    MoveStat* p = n->prev;
    if (!p) return;
    // Unlink, then re-insert behind the first node (towards the head) whose
    // total is at least ours: equal totals keep the earlier node in front.
    p->next = n->next;
    if (n->next) n->next->prev = p;
    while (p && p->total < n->total) p = p->prev;
    if (p) {
        n->prev = p;
        n->next = p->next;
        if (p->next) p->next->prev = n;
        p->next = n;
    } else {
        n->prev = nullptr;
        n->next = stat_head[colour];
        stat_head[colour]->prev = n;
        stat_head[colour] = n;
    }
}

int generate_moves(Square* list, uint8_t side, int mode, const AnswerBuffer* answers, bool narrow) {
    const uint8_t opp = uint8_t(1 - side);
    int n = 0;
    for (const MoveStat* node = stat_head[side]; node; node = node->next) {
        const Square s = node->square;
        if (cells[s] != EMPTY) continue;
        const uint8_t own = square_class[side][s], other = square_class[opp][s];
        bool keep;
        if (mode == MODE_ANSWER)
            keep = (*answers)[side][s] != 0 || own >= CLASS_FOUR;
        else if (narrow)
            keep = own >= CLASS_DOUBLE_TWO || other >= CLASS_DOUBLE_TWO ||
                   (own >= CLASS_TWO && other >= CLASS_TWO);
        else
            keep = own >= CLASS_TWO || other >= CLASS_TWO;
        // The forbidden test only matters for squares that would be kept; its
        // trial stones change nothing another node reads (they settle lines,
        // moving classes only between 0 and 1, and five_square is read only
        // right after the placement that set it).
        if (keep && side == BLACK && is_forbidden(s)) keep = false;
        if (keep) list[n++] = s;
    }
    return n;
}

int8_t search_root() {
    if (time_is_spent()) {
        time_up = 1;
        return RESULT_LOSS;
    }
    const uint8_t side = uint8_t(~ply & 1), opp = uint8_t(1 - side);
    const int8_t depth = depth_limit;

    AnswerBuffer answers;
    std::memset(answers, 0, sizeof answers);
    solver_budget = SOLVER_TRIES;
    const int mode = solve_threats(opp, &answers) >= RESULT_WIN ? MODE_ANSWER : MODE_PLAIN;

    Square list[MAX_MOVES];
    int n = generate_moves(list, side, mode, &answers, true);
    if (n == 0) n = generate_moves(list, side, mode, &answers, false);
    if (n == 0) return RESULT_LOSS;

    int8_t best = RESULT_LOSS;
    int best_index = 0;
    for (int i = 0; i < n; ++i) {
        const Square s = list[i];
        int8_t v;
        if (mode == MODE_ANSWER && answers[side][s] == 0) {
            v = four_step(s, side, best, RESULT_WIN, depth, &answers);
        } else {
            prefetch_child(s, side);
            place_stone(s, side);
            v = negate(search_node(opp, RESULT_LOSS, negate(best), int8_t(depth - 1)));
            remove_stone();
        }
        if (time_up) return best;
        if (v >= RESULT_WIN) {
            answer_square = s;
            credit_move(s, side, depth_weight(depth));
            return RESULT_WIN;
        }
        if (v > best) {
            best = v;
            best_index = i;
        }
    }
    answer_square = list[best_index];
    credit_move(list[best_index], side, depth_weight(depth));
    return best;
}

int8_t search_node(uint8_t side, int8_t alpha, int8_t beta, int8_t d0) {
    if (time_is_spent()) {
        time_up = 1;
        return alpha;
    }
    ++node_count;
    if (ply > deepest_ply) deepest_ply = ply;
    uint8_t bound = 1;
    const int8_t probed = table_probe(alpha, beta, d0);
    if (probed != TABLE_MISS) return probed;
    if (class_count[side][CLASS_FIVE] > 0) return RESULT_WIN;

    const uint8_t opp = uint8_t(1 - side);
    AnswerBuffer answers;
    Square list[MAX_MOVES];
    int n, mode;
    int8_t d;
    if (class_count[opp][CLASS_FIVE] > 0) {
        mode = MODE_BLOCK;
        list[0] = threatened_five(opp);
        n = 1;
        d = d0;
    } else {
        solver_budget = SOLVER_TRIES;
        if (solve_threats(side, nullptr) >= RESULT_WIN) {
            table_store(d0, RESULT_WIN, 0);
            return RESULT_WIN;
        }
        d = int8_t(d0 - 1);
        std::memset(answers, 0, sizeof answers);
        solver_budget = SOLVER_TRIES;
        mode = solve_threats(opp, &answers) >= RESULT_WIN ? MODE_ANSWER : MODE_PLAIN;
        n = generate_moves(list, side, mode, &answers, false);
        if (n == 0) {
            const int8_t v = mode == MODE_ANSWER ? RESULT_LOSS : position_value(side);
            table_store(d, v, 0);
            return v;
        }
    }

    const bool leaf = (mode == MODE_ANSWER && d <= 3) || (mode == MODE_BLOCK && d <= 0) ||
                      (mode == MODE_PLAIN && d <= depth_limit - plain_depth);
    if (leaf) {
        const int8_t v = position_value(side);
        table_store(d, v, 0);
        return v;
    }

    int best_index = 0;
    for (int i = 0; i < n; ++i) {
        const Square s = list[i];
        int8_t v;
        if (mode == MODE_ANSWER && answers[side][s] == 0) {
            v = four_step(s, side, alpha, beta, d, &answers);
        } else {
            prefetch_child(s, side);
            place_stone(s, side);
            v = negate(search_node(opp, negate(beta), negate(alpha), d));
            remove_stone();
        }
        if (v >= beta) {
            table_store(d, beta, 2);
            credit_move(s, side, depth_weight(d));
            return beta;
        }
        if (v > alpha) {
            alpha = v;
            best_index = i;
            bound = 0;
        }
    }
    table_store(d, alpha, bound);
    credit_move(list[best_index], side, depth_weight(d));
    return alpha;
}

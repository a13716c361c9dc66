// The exact engine's think driver, which turns a record into a move, and its
// move statistics.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "../core/board/board.h"
#include "../core/timing.h"
#include "kq.h"

int8_t depth_limit;
int8_t plain_depth;
Square answer_square;
uint32_t node_count;
uint32_t chain_count;
MoveStat* stat_head[2];
MoveStat* stat_node[2][256];
int32_t engine_busy;
int32_t max_iterations;

namespace {

// On every board reset: age the move statistics when the last think did any
// work, so old credit fades but the order of each list is kept; then zero the
// node counters.
void age_statistics() {
    if (node_count != 0 || solver_nodes != 0 || chain_count != 0) {
        for (MoveStat* head : stat_head) {
            if (!head) continue;
            const uint32_t divisor = head->total / 8;
            if (divisor == 0) continue;
            for (MoveStat* n = head; n; n = n->next) n->total /= divisor;
        }
    }
    node_count = 0;
    solver_nodes = 0;
    chain_count = 0;
    solver_move = NO_MOVE;
}

// Chains the nodes of each colour with zero totals; from the head: column 14
// rows 14 down to 0, then column 13, ..., column 0 rows 14 down to 0. The
// nodes are taken from stat_node when present, otherwise allocated.
bool link_statistics() {
    stat_head[0] = stat_head[1] = nullptr;
    for (int colour = 0; colour < 2; ++colour)
        for (int column = 0; column < BOARD_SIZE; ++column)
            for (int row = 0; row < BOARD_SIZE; ++row) {
                const Square s = Square(row * 16 + column);
                MoveStat* n = stat_node[colour][s];
                if (!n) n = static_cast<MoveStat*>(std::malloc(sizeof(MoveStat)));
                if (!n) return false;
                n->square = s;
                n->total = 0;
                n->prev = nullptr;
                n->next = stat_head[colour];
                if (stat_head[colour]) stat_head[colour]->prev = n;
                stat_head[colour] = n;
                stat_node[colour][s] = n;
            }
    return true;
}

Square first_square_of_class(uint8_t colour, uint8_t k) {
    for (int column = 0; column < BOARD_SIZE; ++column)
        for (int row = 0; row < BOARD_SIZE; ++row) {
            const int s = row * 16 + column;
            if (square_class[colour][s] == k) return Square(s);
        }
    return NO_MOVE;
}

// A legal move when no search produced a fresh one: the first candidate of a
// narrow, then a wide move generation, else the empty square nearest the
// stones that black may play, else any empty square.
Square fallback_move(uint8_t side) {
    AnswerBuffer none;
    std::memset(none, 0, sizeof none);
    Square list[MAX_MOVES];
    if (generate_moves(list, side, MODE_PLAIN, &none, true) > 0) return list[0];
    if (generate_moves(list, side, MODE_PLAIN, &none, false) > 0) return list[0];
    Square best = NO_MOVE, any = NO_MOVE;
    int best_distance = 1 << 30;
    for (int s = 0; s < 240; ++s) {
        if ((s & 15) == 15 || cells[s] != EMPTY) continue;
        if (any == NO_MOVE) any = Square(s);
        if (side == BLACK && is_forbidden(Square(s))) continue;
        int distance = 1 << 29;
        for (int k = 0; k < ply; ++k) {
            const int dr = (move_stack[k] >> 4) - (s >> 4), dc = (move_stack[k] & 15) - (s & 15);
            distance = std::min(distance, std::max(std::abs(dr), std::abs(dc)));
        }
        if (distance < best_distance) {
            best_distance = distance;
            best = Square(s);
        }
    }
    return best != NO_MOVE ? best : any;
}

inline bool fresh_legal(Square m) { return on_board(m) && cells[m] == EMPTY; }

Square finish(Square m) {
    engine_busy = 0;
    return m;
}

void free_statistics() {
    for (MoveStat*& head : stat_head) {
        while (head) {
            MoveStat* n = head;
            head = head->next;
            std::free(n);
        }
    }
    // Nothing may use the released storage: a later think links again.
    std::memset(stat_node, 0, sizeof stat_node);
}

// The statistics nodes are taken once, on the first think after set-up; from
// then on every board reset ages them.
bool ensure_statistics() {
    if (stat_head[0]) return true;
    if (!link_statistics()) {
        free_statistics();
        return false;
    }
    reset_hook = age_statistics;
    return true;
}

} // namespace

void reset_move_statistics() {
    if (!engine_initialised) return;
    if (stat_head[0]) {
        link_statistics();
    } else {
        ensure_statistics();
    }
}

Square think(GameRecord record) {
    time_up = 0;
    if (engine_busy) return NO_MOVE;
    engine_busy = 1;
    engine_init();
    if (!engine_initialised || !ensure_statistics()) return finish(NO_MOVE);
    if (!load_position(record)) return finish(NO_MOVE);
    if (record.count == 0) return finish(CENTRE);
    if (record.count == MAX_MOVES) return finish(NO_MOVE);

    const uint8_t n = ply;
    const uint8_t side = uint8_t(~n & 1), opp = uint8_t(n & 1);
    Square m = first_square_of_class(side, CLASS_FIVE);
    if (m != NO_MOVE) return finish(m);
    m = first_square_of_class(opp, CLASS_FIVE);
    if (m != NO_MOVE) return finish(m);

    answer_square = NO_MOVE; // nothing fresh yet
    deepest_ply = n;
    solver_budget = SOLVER_TRIES;
    int8_t r = solve_threats(side, nullptr);
    if (r >= RESULT_WIN) {
        if (fresh_legal(solver_move)) {
            answer_square = solver_move;
            return finish(answer_square);
        }
        // A win by the static value alone names no move: search for one.
        r = RESULT_WIN - 1;
    }

    depth_limit = 6;
    plain_depth = 2;
    for (int32_t iteration = 1; r < RESULT_WIN && depth_limit <= 100 && plain_depth <= 100;
         ++iteration) {
        const uint8_t deepest_before = deepest_ply;
        r = search_root();
        if (time_up) break;
        if (deepest_ply == deepest_before) {
            ++plain_depth;
            if (plain_depth + 3 > depth_limit) depth_limit = int8_t(plain_depth + 3);
        } else {
            ++depth_limit;
        }
        if (4 * int64_t(think_elapsed()) > think_budget) break;
        if (node_count >= 2147483647u) break;
        if (max_iterations > 0 && iteration >= max_iterations) break;
    }

    if (!fresh_legal(answer_square)) answer_square = fallback_move(side);
    return finish(answer_square);
}

// The counter-four chain: when the opponent holds a win by fours, a four of
// the side to move that is not a marked answer is valued by playing it, the
// opponent's forced block, and the side's further fours. The chain hands the
// position back to the main search as soon as it touches a marked square.
#include "../core/board/board.h"
#include "kq.h"

namespace {

inline int8_t clamp_window(int8_t v, int8_t alpha, int8_t beta) {
    if (v >= beta) return beta;
    return v > alpha ? v : alpha;
}

inline bool chain_candidate(uint8_t side, int s) {
    switch (square_class[side][s]) {
    case CLASS_FOUR:
    case CLASS_FOUR_MORE:
    case CLASS_FOUR_THREE:
    case CLASS_OPEN_FOUR:
    case CLASS_FIVE:
        return true;
    case CLASS_FOUR_THREE_THREE:
        return !(side == BLACK && is_forbidden(Square(s)));
    case CLASS_DOUBLE_FOUR:
        return side == WHITE;
    default:
        return false;
    }
}

} // namespace

int8_t four_step(Square s, uint8_t side, int8_t alpha, int8_t beta, int8_t depth,
                 AnswerBuffer* answers) {
    const uint8_t opp = uint8_t(1 - side);
    ++chain_count;
    switch (square_class[side][s]) {
    case CLASS_OPEN_FOUR:
    case CLASS_FIVE:
        return RESULT_WIN;
    case CLASS_DOUBLE_FOUR:
        return side == WHITE ? RESULT_WIN : alpha;
    case CLASS_FOUR_THREE_THREE:
        if (side == BLACK && is_forbidden(s)) return alpha;
        break;
    case CLASS_FOUR:
    case CLASS_FOUR_MORE:
    case CLASS_FOUR_THREE:
        break;
    default:
        return alpha;
    }

    place_stone(s, side);
    const Square block = five_square[side];
    bool counter = false;
    switch (square_class[opp][block]) {
    case CLASS_DOUBLE_THREE:
        if (opp == BLACK && is_forbidden(block)) {
            remove_stone();
            return RESULT_WIN;
        }
        break;
    case CLASS_FOUR_THREE_THREE:
        if (opp == BLACK && is_forbidden(block)) {
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
    case CLASS_DOUBLE_FOUR:
        remove_stone();
        return opp == BLACK ? RESULT_WIN : alpha;
    case CLASS_OPEN_FOUR:
    case CLASS_FIVE:
        remove_stone();
        return alpha;
    default:
        break;
    }

    prefetch_child(block, opp);
    place_stone(block, opp);
    int8_t v;
    if ((*answers)[side][s] != 0 || (*answers)[opp][block] != 0)
        v = search_node(side, alpha, beta, depth);
    else if (counter)
        v = four_step(five_square[opp], side, alpha, beta, depth, answers);
    else
        v = next_four(side, alpha, beta, depth, answers);
    remove_stone();
    remove_stone();
    return clamp_window(v, alpha, beta);
}

int8_t next_four(uint8_t side, int8_t alpha, int8_t beta, int8_t depth, AnswerBuffer* answers) {
    uint8_t bound = 1;
    const int8_t probed = table_probe(alpha, beta, depth);
    if (probed != TABLE_MISS) return probed;
    bool cut = false;
    for_each_four_square(side, [&](int s) {
        if (!chain_candidate(side, s)) return true;
        const int8_t v = four_step(Square(s), side, alpha, beta, depth, answers);
        if (v >= beta) {
            cut = true;
            return false;
        }
        if (v > alpha) {
            alpha = v;
            bound = 0;
        }
        return true;
    });
    if (cut) {
        table_store(depth, beta, 2);
        return beta;
    }
    table_store(depth, alpha, bound);
    return alpha;
}

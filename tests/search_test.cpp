// The main search's parts: the move statistics lists, the search table, and
// the behaviour of nodes in their three modes.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "test_support.h"
#include "core/timing.h"

namespace {

std::vector<Square> list_order(uint8_t colour) {
    std::vector<Square> out;
    for (const MoveStat* n = stat_head[colour]; n; n = n->next) {
        if (n->next) {
            EXPECT_EQ(n->next->prev, n);
        }
        out.push_back(n->square);
    }
    return out;
}

bool non_increasing(uint8_t colour) {
    for (const MoveStat* n = stat_head[colour]; n && n->next; n = n->next)
        if (n->total < n->next->total) return false;
    return true;
}

void unlimited_clock() {
    think_start = clock_ms();
    think_budget = INT32_MAX;
    time_up = 0;
}

} // namespace

TEST(MoveStatistics, CreditKeepsOrderAndTies) {
    engine_ready();
    reset_move_statistics();
    std::vector<Square> fresh = list_order(BLACK);
    ASSERT_EQ(fresh.size(), 225u);
    EXPECT_EQ(fresh.front(), sq(14, 14));
    EXPECT_EQ(fresh[1], sq(14, 13));
    EXPECT_EQ(fresh.back(), sq(0, 0));

    // Equal totals: the square that reached the total first stays in front.
    credit_move(sq(3, 3), BLACK, 4);
    credit_move(sq(9, 9), BLACK, 4);
    std::vector<Square> order = list_order(BLACK);
    EXPECT_EQ(order[0], sq(3, 3));
    EXPECT_EQ(order[1], sq(9, 9));
    credit_move(sq(9, 9), BLACK, 1);
    order = list_order(BLACK);
    EXPECT_EQ(order[0], sq(9, 9));
    EXPECT_EQ(order[1], sq(3, 3));
    // A node only overtakes strictly smaller totals.
    credit_move(sq(0, 0), BLACK, 4);
    order = list_order(BLACK);
    EXPECT_EQ(order[2], sq(0, 0));
    EXPECT_TRUE(non_increasing(BLACK));
    // The other colour's list is untouched.
    EXPECT_EQ(list_order(WHITE), fresh);
    // A 32-bit total wraps.
    credit_move(sq(5, 5), WHITE, 0x80000000u);
    credit_move(sq(5, 5), WHITE, 0x80000000u);
    EXPECT_EQ(stat_node[WHITE][sq(5, 5)]->total, 0u);
}

TEST(MoveStatistics, AgeingOnResetKeepsTheOrder) {
    engine_ready();
    reset_move_statistics();
    credit_move(sq(7, 7), BLACK, 100);
    credit_move(sq(8, 8), BLACK, 30);
    credit_move(sq(6, 6), WHITE, 7);
    const std::vector<Square> black_before = list_order(BLACK);
    const std::vector<Square> white_before = list_order(WHITE);

    // Nothing counted since the last reset: no ageing.
    reset_engine_board();
    node_count = solver_nodes = chain_count = 0;
    reset_engine_board();
    EXPECT_EQ(stat_node[BLACK][sq(7, 7)]->total, 100u);

    // After work: divisor 100 / 8 = 12 for black; white's head of 7 is kept.
    node_count = 1;
    reset_engine_board();
    EXPECT_EQ(stat_node[BLACK][sq(7, 7)]->total, 8u);
    EXPECT_EQ(stat_node[BLACK][sq(8, 8)]->total, 2u);
    EXPECT_EQ(stat_node[WHITE][sq(6, 6)]->total, 7u);
    EXPECT_EQ(list_order(BLACK), black_before);
    EXPECT_EQ(list_order(WHITE), white_before);
    EXPECT_EQ(node_count, 0u);
    EXPECT_EQ(solver_move, NO_MOVE);
    reset_move_statistics();
}

TEST(SearchTable, ProbeAndStoreBounds) {
    set_diagram("");
    place_stone(CENTRE, BLACK);
    time_up = 0;
    plain_depth = 3;
    table_store(5, 2, 1);
    plain_depth = 4;
    EXPECT_EQ(table_probe(5, 10, 5), TABLE_MISS); // written with a smaller P
    plain_depth = 3;
    EXPECT_EQ(table_probe(5, 10, 5), 5);          // upper bound 2 <= alpha 5
    EXPECT_EQ(table_probe(1, 10, 5), TABLE_MISS); // 2 > alpha 1
    EXPECT_EQ(table_probe(5, 10, 6), TABLE_MISS); // written too shallow
    table_store(5, 7, 2);
    EXPECT_EQ(table_probe(-10, 6, 4), 6);          // lower bound 7 >= beta 6
    EXPECT_EQ(table_probe(-10, 8, 4), TABLE_MISS);
    table_store(5, -3, 0);
    EXPECT_EQ(table_probe(-10, 10, 5), -3);
    time_up = 1;
    table_store(9, 9, 0); // no writes once the time is up
    time_up = 0;
    EXPECT_EQ(table_probe(-10, 10, 5), -3);
    remove_stone();
    EXPECT_EQ(table_probe(-10, 10, 0), TABLE_MISS) << "another position";
}

TEST(SearchNode, ModesAndLeaves) {
    engine_ready();
    std::memset(search_table, 0, sizeof search_table);
    reset_move_statistics();
    unlimited_clock();
    depth_limit = 6;
    plain_depth = 2;

    // The side to move can complete five: 10, nothing generated or credited.
    set_diagram("XXXX...........\n...............\nOOO.O..........");
    settle_all_lines();
    const BoardSnapshot before = BoardSnapshot::take();
    EXPECT_EQ(search_node(BLACK, -10, 10, 3), 10);
    EXPECT_TRUE(BoardSnapshot::take() == before);

    // White to move must block black's five: only the block is searched and
    // the depth is not reduced, so the block is credited with 2^d0.
    std::memset(search_table, 0, sizeof search_table);
    set_diagram("XXXX...........\n...............\n.O..O...O......");
    settle_all_lines();
    const BoardSnapshot block_before = BoardSnapshot::take();
    const uint32_t credit_before = stat_node[WHITE][sq(4, 0)]->total;
    search_node(WHITE, -10, 10, 1);
    EXPECT_EQ(stat_node[WHITE][sq(4, 0)]->total, credit_before + 2);
    EXPECT_TRUE(BoardSnapshot::take() == block_before);
    // With no depth left the block node is a leaf.
    std::memset(search_table, 0, sizeof search_table);
    const uint32_t nodes = node_count;
    search_node(WHITE, -10, 10, 0);
    EXPECT_EQ(node_count, nodes + 1);

    // Out of time: the node answers its alpha and sets time_up.
    think_budget = -1;
    EXPECT_EQ(search_node(WHITE, -4, 10, 5), -4);
    EXPECT_EQ(time_up, 1);
    EXPECT_EQ(search_root(), RESULT_LOSS);
    unlimited_clock();
}

TEST(SearchRoot, HopelessRootAnswersTheFirstCandidate) {
    // White to move against a black double open four threat it cannot stop:
    // every move loses, and the first candidate in statistics order is kept.
    engine_ready();
    std::memset(search_table, 0, sizeof search_table);
    reset_move_statistics();
    unlimited_clock();
    set_diagram(
        "...............\n"
        "...............\n"
        "...............\n"
        "...............\n"
        "....XXX........\n"
        "...............\n"
        "....X..........\n"
        "....X....O.O...\n"
        "....X....O.O...\n"
        "...............\n"
        "..........O....");
    ASSERT_EQ(ply % 2, 1) << "white to move";
    depth_limit = 6;
    plain_depth = 2;
    answer_square = NO_MOVE;
    settle_all_lines();
    const BoardSnapshot before = BoardSnapshot::take();
    AnswerBuffer answers = {};
    solver_budget = SOLVER_TRIES;
    ASSERT_EQ(solve_threats(BLACK, &answers), RESULT_WIN);
    Square candidates[MAX_MOVES];
    ASSERT_GT(generate_moves(candidates, WHITE, MODE_ANSWER, &answers, true), 1);
    const int8_t v = search_root();
    EXPECT_TRUE(BoardSnapshot::take() == before);
    EXPECT_EQ(v, RESULT_LOSS);
    EXPECT_EQ(answer_square, candidates[0]);
}

// The four-threat solver and the answer collectors: what is tried, what is
// stored, what counts as a win, and the marks left for the main search. Every
// call is checked to leave the board as found, on boards whose lines are all
// settled so that the comparison is exact.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <set>
#include <utility>
#include <vector>

#include "four_checker.h"
#include "test_support.h"
#include "core/timing.h"

namespace {

void clear_solver_table() { std::memset(solver_table, 0, sizeof solver_table); }

void fresh_clock() {
    think_start = clock_ms();
    think_budget = 1 << 30;
    time_up = 0;
}

SolverEntry& entry_of(uint8_t side) {
    return solver_table[(hash_index & (SOLVER_TABLE_SIZE - 1)) + side * SOLVER_TABLE_SIZE];
}

// Attacking-move tries made by the last solve() or attack() call.
uint32_t tries;

int8_t solve(uint8_t side, AnswerBuffer* answers = nullptr, int32_t budget = SOLVER_TRIES) {
    const BoardSnapshot before = BoardSnapshot::take();
    fresh_clock();
    solver_budget = budget;
    const uint32_t nodes = solver_nodes;
    const int8_t result = solve_threats(side, answers);
    tries = solver_nodes - nodes;
    EXPECT_EQ(uint32_t(budget - solver_budget), tries);
    EXPECT_TRUE(BoardSnapshot::take() == before) << "solve_threats changed the board";
    return result;
}

int8_t attack(Square m, uint8_t side) {
    const BoardSnapshot before = BoardSnapshot::take();
    fresh_clock();
    solver_budget = SOLVER_TRIES;
    const uint32_t nodes = solver_nodes;
    const int8_t result = try_four(m, side, nullptr);
    tries = solver_nodes - nodes;
    EXPECT_TRUE(BoardSnapshot::take() == before) << "try_four changed the board";
    return result;
}

// Static value of the position after `side` plays m and the other colour
// answers on `block`, when `side` has no four left there (so that the
// solver's deeper call can only return it).
int8_t static_value_after(uint8_t side, Square m, Square block) {
    place_stone(m, side);
    place_stone(block, uint8_t(1 - side));
    for (int s = 0; s < 240; ++s) {
        const uint8_t k = on_board(s) ? square_class[side][s] : 0;
        EXPECT_TRUE(k < CLASS_FOUR || k == CLASS_UNUSED || k == CLASS_OVERLINE ||
                    (side == BLACK && k == CLASS_DOUBLE_FOUR))
            << "a four is left at square " << s;
    }
    const int8_t v = static_value(side);
    remove_stone();
    remove_stone();
    return v;
}

using Marks = std::set<std::pair<int, int>>; // (colour, Square)

Marks marks_of(const AnswerBuffer& answers) {
    Marks out;
    for (int colour = 0; colour < 2; ++colour)
        for (int s = 0; s < 256; ++s)
            if (answers[colour][s]) out.insert({colour, s});
    return out;
}

template <typename Collector> Marks collect(Collector collector, Square m, uint8_t c) {
    AnswerBuffer answers;
    std::memset(answers, 0, sizeof answers);
    const BoardSnapshot before = BoardSnapshot::take();
    collector(m, c, &answers);
    EXPECT_TRUE(BoardSnapshot::take() == before) << "collector changed the board";
    return marks_of(answers);
}

// Black's four-three at the centre: the row 4..6 closed by white on 3, and
// the column 5..6 that the centre turns into an open three.
void four_three_position() { setup({{4, 7}, {5, 7}, {6, 7}, {7, 5}, {7, 6}}, {{3, 7}}); }

} // namespace

TEST(Solver, ImmediateWinsNeedNoTry) {
    clear_solver_table();
    // .XXX. on row 7: (3,7) is a four with extras, (4,7) the first open-four
    // point.
    setup({{5, 7}, {6, 7}, {7, 7}}, {{0, 0}});
    ASSERT_EQ(square_class[BLACK][sq(3, 7)], CLASS_FOUR_MORE);
    ASSERT_EQ(square_class[BLACK][sq(4, 7)], CLASS_OPEN_FOUR);
    solver_move = NO_MOVE;
    EXPECT_EQ(solve(BLACK), RESULT_WIN);
    EXPECT_EQ(tries, 0u);
    EXPECT_EQ(solver_move, sq(4, 7));
    EXPECT_EQ(entry_of(BLACK).lock, hash_lock);
    EXPECT_EQ(entry_of(BLACK).value, RESULT_WIN);
    EXPECT_EQ(entry_of(BLACK).move, sq(4, 7));

    // The first immediate win in Square order is taken, not the strongest:
    // white's open-four point (1,3) comes before its five point (9,9).
    setup({{4, 9}}, {{2, 3}, {3, 3}, {4, 3}, {5, 9}, {6, 9}, {7, 9}, {8, 9}});
    ASSERT_EQ(square_class[WHITE][sq(1, 3)], CLASS_OPEN_FOUR);
    ASSERT_EQ(square_class[WHITE][sq(9, 9)], CLASS_FIVE);
    EXPECT_EQ(solve(WHITE), RESULT_WIN);
    EXPECT_EQ(tries, 0u);
    EXPECT_EQ(solver_move, sq(1, 3));

    // Once time_up is raised nothing is recorded, though the answer stands.
    setup({{5, 7}, {6, 7}, {7, 7}}, {{0, 1}});
    solver_move = NO_MOVE;
    const BoardSnapshot before = BoardSnapshot::take();
    think_start = clock_ms();
    think_budget = 1 << 30;
    time_up = 1;
    solver_budget = SOLVER_TRIES;
    EXPECT_EQ(solve_threats(BLACK, nullptr), RESULT_WIN);
    EXPECT_TRUE(BoardSnapshot::take() == before);
    EXPECT_EQ(solver_move, NO_MOVE);
    EXPECT_NE(entry_of(BLACK).lock, hash_lock);
    time_up = 0;
}

TEST(Solver, TableEntriesAreTrustedPerSide) {
    clear_solver_table();
    // Black wins with the four-three at the centre: one try, then the column
    // three becomes an open four. White has a closed three far away (a four
    // to try, no win).
    setup({{4, 7}, {5, 7}, {6, 7}, {7, 5}, {7, 6}, {9, 2}}, {{3, 7}, {10, 2}, {11, 2}, {12, 2}});
    EXPECT_EQ(solve(BLACK), RESULT_WIN);
    EXPECT_EQ(tries, 1u);
    EXPECT_EQ(solver_move, CENTRE);
    const SolverEntry black_win = entry_of(BLACK);
    EXPECT_EQ(black_win.lock, hash_lock);
    EXPECT_EQ(black_win.value, RESULT_WIN);
    EXPECT_EQ(black_win.move, CENTRE);

    // The same question again is answered from the table.
    solver_move = NO_MOVE;
    EXPECT_EQ(solve(BLACK), RESULT_WIN);
    EXPECT_EQ(tries, 0u);
    EXPECT_EQ(solver_move, CENTRE);

    // White's question has its own entry and does not disturb black's.
    EXPECT_NE(entry_of(WHITE).lock, hash_lock);
    const int8_t white_value = solve(WHITE);
    EXPECT_LT(white_value, RESULT_WIN);
    EXPECT_GT(tries, 0u);
    EXPECT_EQ(entry_of(WHITE).lock, hash_lock);
    EXPECT_EQ(entry_of(WHITE).value, white_value);
    EXPECT_EQ(&entry_of(BLACK) - &entry_of(WHITE), std::ptrdiff_t(SOLVER_TABLE_SIZE));
    EXPECT_EQ(entry_of(BLACK).lock, black_win.lock);
    EXPECT_EQ(entry_of(BLACK).move, black_win.move);
    EXPECT_EQ(solve(WHITE), white_value);
    EXPECT_EQ(tries, 0u);

    // A matching entry is believed whatever it says.
    entry_of(BLACK) = {hash_lock, 4, 0};
    EXPECT_EQ(solve(BLACK), 4);
    EXPECT_EQ(tries, 0u);
    entry_of(BLACK) = {hash_lock, RESULT_WIN, sq(8, 7)};
    EXPECT_EQ(solve(BLACK), RESULT_WIN);
    EXPECT_EQ(tries, 0u);
    EXPECT_EQ(solver_move, sq(8, 7));
    // A lock that does not match is a different position.
    entry_of(BLACK) = {hash_lock ^ 1, 4, 0};
    EXPECT_EQ(solve(BLACK), RESULT_WIN);
    EXPECT_EQ(tries, 1u);
    EXPECT_EQ(solver_move, CENTRE);
}

TEST(Solver, BlackFoulsAreNotWins) {
    clear_solver_table();
    // Four closed threes on rows 7, 10 and columns 7, 10: each of black's
    // four-making points is a corner where two of them meet, a double four.
    const Stones threes = {{6, 7},  {8, 7}, {9, 7}, {6, 10}, {8, 10}, {9, 10},
                           {7, 6},  {7, 8}, {7, 9}, {10, 6}, {10, 8}, {10, 9}};
    const Stones blockers = {{5, 7}, {5, 10}, {7, 5}, {10, 5}, {8, 8}, {8, 9}, {9, 8}};
    setup(threes, blockers);
    for (int s = 0; s < 240; ++s) {
        if (!on_board(s)) continue;
        const bool corner = s == sq(7, 7) || s == sq(10, 7) || s == sq(7, 10) || s == sq(10, 10);
        if (corner) {
            EXPECT_EQ(square_class[BLACK][s], CLASS_DOUBLE_FOUR);
        } else {
            EXPECT_LT(square_class[BLACK][s], CLASS_FOUR) << "square " << s;
        }
    }
    solver_move = NO_MOVE;
    const int8_t expected = static_value(BLACK);
    EXPECT_EQ(solve(BLACK), expected);
    EXPECT_EQ(tries, 0u);
    EXPECT_EQ(solver_move, NO_MOVE);
    EXPECT_NE(entry_of(BLACK).lock, hash_lock) << "a node without candidates stores nothing";
    EXPECT_EQ(attack(CENTRE, BLACK), RESULT_LOSS);

    // The same shape in white wins at once with its first double four.
    setup(blockers, threes);
    ASSERT_EQ(square_class[WHITE][CENTRE], CLASS_DOUBLE_FOUR);
    EXPECT_EQ(solve(WHITE), RESULT_WIN);
    EXPECT_EQ(tries, 0u);
    EXPECT_EQ(solver_move, CENTRE);
    EXPECT_EQ(attack(sq(10, 10), WHITE), RESULT_WIN);

    // A four with two real open threes (class 12, forbidden) is never tried:
    // the only try is the row's other four point (8,7), after which the
    // solver can only report the static value.
    setup({{4, 7}, {5, 7}, {6, 7}, {7, 5}, {7, 6}, {8, 8}, {9, 9}},
          {{3, 7}, {1, 13}, {2, 13}, {3, 13}, {1, 12}});
    ASSERT_EQ(square_class[BLACK][CENTRE], CLASS_FOUR_THREE_THREE);
    ASSERT_TRUE(is_forbidden(CENTRE));
    const int8_t after_row_four = static_value_after(BLACK, sq(8, 7), CENTRE);
    ASSERT_LT(after_row_four, RESULT_WIN);
    EXPECT_EQ(solve(BLACK), after_row_four);
    EXPECT_EQ(tries, 1u);
    EXPECT_EQ(attack(CENTRE, BLACK), RESULT_LOSS);

    // A class-12 square whose row three is not real (its open-four point
    // (8,7) is a double four) is allowed, and as a four with threes it is
    // tried before the plain four at (8,4), which comes earlier in Square
    // order.
    setup({{5, 7},
           {6, 7},
           {7, 5},
           {7, 6},
           {8, 9},
           {8, 10},
           {8, 11},
           {9, 6},
           {10, 5},
           {11, 4},
           {4, 4},
           {5, 5},
           {6, 6}},
          {{3, 7}, {3, 3}, {8, 6}, {4, 8}, {8, 12}, {12, 3}});
    ASSERT_EQ(square_class[BLACK][CENTRE], CLASS_FOUR_THREE_THREE);
    ASSERT_FALSE(is_forbidden(CENTRE));
    ASSERT_EQ(square_class[BLACK][sq(8, 4)], CLASS_FOUR_MORE);
    EXPECT_EQ(solve(BLACK), RESULT_WIN);
    EXPECT_EQ(solver_move, CENTRE);
    FourChecker checker;
    EXPECT_TRUE(checker.move_wins(BLACK, CENTRE, 3));
}

TEST(Solver, BudgetAndClock) {
    clear_solver_table();
    // Candidates but no budget: aborted, nothing stored.
    four_three_position();
    EXPECT_EQ(solve(BLACK, nullptr, 0), RESULT_ABORTED);
    EXPECT_EQ(tries, 0u);
    EXPECT_NE(entry_of(BLACK).lock, hash_lock);
    // An immediate win needs no budget.
    setup({{5, 7}, {6, 7}, {7, 7}}, {{1, 1}});
    EXPECT_EQ(solve(BLACK, nullptr, 0), RESULT_WIN);
    // No candidates: the static value, budget or not.
    setup({{5, 7}, {6, 7}}, {{1, 1}});
    EXPECT_EQ(solve(BLACK, nullptr, 0), static_value(BLACK));
    EXPECT_EQ(solver_budget, 0);
    // A budget that runs out part-way: black's win takes two tries.
    ASSERT_TRUE(load_moves("HH IF IH GG GE GF HJ EJ EG LK LH JK"));
    settle_all_lines();
    EXPECT_EQ(solve(BLACK, nullptr, 1), RESULT_ABORTED);
    EXPECT_NE(entry_of(BLACK).lock, hash_lock);
    EXPECT_EQ(solve(BLACK), RESULT_WIN);
    EXPECT_EQ(tries, 2u);
    // White's win by four fours takes four tries. Every smaller budget
    // aborts, and whatever such a run stores was also stored by the full
    // run: a node that ran out of budget half-way stores nothing.
    ASSERT_TRUE(
        load_moves("HH FG IJ JH HI HF FD FI HG IG KI MH HK HJ KH JI LK FF FH JK JJ IF EF GL KJ"));
    settle_all_lines();
    clear_solver_table();
    EXPECT_EQ(solve(WHITE), RESULT_WIN);
    const uint32_t needed = tries;
    EXPECT_EQ(needed, 4u);
    const std::vector<SolverEntry> full(solver_table, solver_table + 2 * SOLVER_TABLE_SIZE);
    for (int32_t budget = 1; budget < int32_t(needed); ++budget) {
        clear_solver_table();
        EXPECT_EQ(solve(WHITE, nullptr, budget), RESULT_ABORTED) << budget;
        int unexpected = 0;
        for (uint32_t i = 0; i < 2 * SOLVER_TABLE_SIZE; ++i) {
            const SolverEntry& e = solver_table[i];
            if (e.lock == 0 && e.value == 0) continue;
            if (e.lock != full[i].lock || e.value != full[i].value ||
                (e.value == RESULT_WIN && e.move != full[i].move))
                ++unexpected;
        }
        EXPECT_EQ(unexpected, 0) << "budget " << budget;
    }

    // The clock: once the budget is spent, -10 from solve_threats (even for a
    // stored win or an open-four point) and -120 from try_four, with time_up.
    four_three_position();
    EXPECT_EQ(solve(BLACK), RESULT_WIN);
    EXPECT_EQ(entry_of(BLACK).value, RESULT_WIN);
    for (Stones black :
         {Stones{{4, 7}, {5, 7}, {6, 7}, {7, 5}, {7, 6}}, Stones{{5, 7}, {6, 7}, {7, 7}}}) {
        setup(black, {{3, 7}});
        const BoardSnapshot before = BoardSnapshot::take();
        think_start = clock_ms() - 50;
        think_budget = 20;
        time_up = 0;
        solver_budget = SOLVER_TRIES;
        EXPECT_EQ(solve_threats(BLACK, nullptr), RESULT_LOSS);
        EXPECT_EQ(time_up, 1);
        time_up = 0;
        EXPECT_EQ(try_four(CENTRE, BLACK, nullptr), RESULT_ABORTED);
        EXPECT_EQ(time_up, 1);
        EXPECT_EQ(solver_budget, SOLVER_TRIES);
        EXPECT_TRUE(BoardSnapshot::take() == before);
    }
    fresh_clock();
}

TEST(Solver, DefenderThreatsAndBlocks) {
    clear_solver_table();
    // White threatens five at (7,2): black's four-three elsewhere is refused
    // (one try spent), and black has no win. Without white's four it wins.
    setup({{4, 7}, {5, 7}, {6, 7}, {7, 5}, {7, 6}, {2, 2}},
          {{3, 7}, {3, 2}, {4, 2}, {5, 2}, {6, 2}});
    ASSERT_EQ(square_class[WHITE][sq(7, 2)], CLASS_FIVE);
    EXPECT_EQ(attack(CENTRE, BLACK), RESULT_LOSS);
    EXPECT_EQ(tries, 1u);
    EXPECT_EQ(solve(BLACK), RESULT_LOSS);
    four_three_position();
    EXPECT_EQ(attack(CENTRE, BLACK), RESULT_WIN);

    // White's four whose five point (7,7) is a real double three for black:
    // black may not block, so the four wins on the spot.
    setup({{5, 7}, {6, 7}, {7, 5}, {7, 6}, {11, 11}}, {{8, 8}, {9, 9}, {10, 10}});
    ASSERT_EQ(square_class[BLACK][CENTRE], CLASS_DOUBLE_THREE);
    ASSERT_TRUE(is_forbidden(CENTRE));
    EXPECT_EQ(attack(sq(6, 6), WHITE), RESULT_WIN);
    EXPECT_EQ(tries, 1u);
    // With the column three closed at both ends black blocks normally and
    // white has nothing more.
    setup({{5, 7}, {6, 7}, {7, 5}, {7, 6}, {11, 11}}, {{8, 8}, {9, 9}, {10, 10}, {7, 4}, {7, 8}});
    ASSERT_FALSE(is_forbidden(CENTRE));
    EXPECT_EQ(attack(sq(6, 6), WHITE),
              std::max<int8_t>(static_value_after(WHITE, sq(6, 6), CENTRE), RESULT_LOSS));
    EXPECT_EQ(tries, 1u);

    // A black block on an overline point is played like any other block.
    setup({{2, 7}, {3, 7}, {4, 7}, {6, 7}, {7, 7}, {5, 2}}, {{5, 3}, {5, 4}, {5, 5}});
    ASSERT_EQ(square_class[BLACK][sq(5, 7)], CLASS_OVERLINE);
    ASSERT_EQ(square_class[WHITE][sq(5, 6)], CLASS_FOUR_MORE);
    const int8_t after_overline_block = static_value_after(WHITE, sq(5, 6), sq(5, 7));
    EXPECT_EQ(attack(sq(5, 6), WHITE), std::max<int8_t>(after_overline_block, RESULT_LOSS));
    EXPECT_LT(attack(sq(5, 6), WHITE), RESULT_WIN);

    // A black block that would be a double four loses for black.
    setup({{4, 9}, {5, 9}, {6, 9}, {7, 10}, {7, 11}, {7, 12}, {12, 4}},
          {{3, 9}, {7, 13}, {10, 6}, {9, 7}, {8, 8}});
    ASSERT_EQ(square_class[BLACK][sq(7, 9)], CLASS_DOUBLE_FOUR);
    EXPECT_EQ(attack(sq(11, 5), WHITE), RESULT_WIN);
    EXPECT_EQ(tries, 1u);
    // A white block that would be a double four, or an open four, refutes the four.
    setup({{3, 9}, {7, 13}, {10, 6}, {9, 7}, {8, 8}},
          {{4, 9}, {5, 9}, {6, 9}, {7, 10}, {7, 11}, {7, 12}, {12, 4}});
    ASSERT_EQ(square_class[WHITE][sq(7, 9)], CLASS_DOUBLE_FOUR);
    EXPECT_EQ(attack(sq(11, 5), BLACK), RESULT_LOSS);
    setup({{9, 7}, {8, 8}, {11, 5}}, {{5, 9}, {6, 9}, {8, 9}, {12, 4}});
    ASSERT_EQ(square_class[WHITE][sq(7, 9)], CLASS_OPEN_FOUR);
    EXPECT_EQ(attack(sq(10, 6), BLACK), RESULT_LOSS);

    // White's block at (8,7) makes a four on column 8: black must answer on
    // its five point (8,3), and that answer has to be a four again. Here it
    // is a four-three (row 3 and the diagonal through (9,2), (10,1)), which
    // wins; without the row stones the forced answer is no four and the
    // centre fails.
    setup({{4, 7}, {5, 7}, {6, 7}, {9, 3}, {10, 3}, {11, 3}, {9, 2}, {10, 1}, {8, 8}},
          {{3, 7}, {12, 3}, {8, 4}, {8, 5}, {8, 6}});
    ASSERT_EQ(square_class[WHITE][sq(8, 7)], CLASS_FOUR);
    FourChecker checker;
    EXPECT_TRUE(checker.move_wins(BLACK, CENTRE, 3));
    EXPECT_EQ(attack(CENTRE, BLACK), RESULT_WIN);
    EXPECT_EQ(tries, 2u);
    setup({{4, 7}, {5, 7}, {6, 7}, {9, 2}, {10, 1}, {8, 8}}, {{3, 7}, {8, 4}, {8, 5}, {8, 6}});
    ASSERT_EQ(square_class[WHITE][sq(8, 7)], CLASS_FOUR);
    EXPECT_EQ(attack(CENTRE, BLACK), RESULT_LOSS);
    EXPECT_EQ(tries, 2u);
}

TEST(Solver, StaticAndPositionValue) {
    engine_ready();
    reset_engine_board();
    auto value_of = [](std::initializer_list<std::pair<int, int>> black,
                       std::initializer_list<std::pair<int, int>> white) {
        std::memset(class_count, 0, sizeof class_count);
        for (auto [k, n] : black) class_count[BLACK][k] = n;
        for (auto [k, n] : white) class_count[WHITE][k] = n;
        return static_value(BLACK);
    };
    // sum / 20 is truncated toward zero, then 2 is added and the result clamped.
    EXPECT_EQ(value_of({}, {}), 2);
    EXPECT_EQ(value_of({}, {{CLASS_OPEN_THREE, 5}}), 1);                          // -25
    EXPECT_EQ(value_of({}, {{CLASS_DOUBLE_TWO, 19}}), 2);                         // -19
    EXPECT_EQ(value_of({{CLASS_THREE_TWO, 10}, {CLASS_DOUBLE_TWO, 9}}, {}), 9);   // 159
    EXPECT_EQ(value_of({{CLASS_THREE_TWO, 10}, {CLASS_DOUBLE_TWO, 10}}, {}), 10); // 160
    EXPECT_EQ(value_of({{CLASS_FIVE, 30}}, {}), 10);                              // 600
    EXPECT_EQ(value_of({}, {{CLASS_FIVE, 30}}), -10);
    // Black's fouls count against black; for white the same classes are plain
    // threats (or nothing: white has no overline class).
    EXPECT_EQ(value_of({{CLASS_DOUBLE_FOUR, 4}, {CLASS_OVERLINE, 4}}, {}), -2); // -80
    EXPECT_EQ(value_of({}, {{CLASS_DOUBLE_FOUR, 4}, {CLASS_OVERLINE, 4}}), 0);  // -40
    // Classes below 4 are not weighed.
    EXPECT_EQ(value_of({{CLASS_CLOSED_THREE, 1000}, {CLASS_TWO, 1000}}, {}), 2);
    std::memset(class_count, 0, sizeof class_count);
    EXPECT_EQ(static_value(WHITE), 2);
    class_count[WHITE][CLASS_FOUR_THREE] = 5;   // white's 50
    class_count[BLACK][CLASS_DOUBLE_THREE] = 3; // black's -30
    EXPECT_EQ(static_value(WHITE), 6);
    EXPECT_EQ(static_value(BLACK), -2);
    reset_engine_board();

    // position_value: minus 3 when the side not to move wins by fours, without
    // clamping; the solver's budget is set by position_value itself.
    clear_solver_table();
    four_three_position();
    const int8_t white_static = static_value(WHITE);
    solver_budget = 0;
    fresh_clock();
    BoardSnapshot before = BoardSnapshot::take();
    EXPECT_EQ(position_value(WHITE), white_static - 3);
    EXPECT_TRUE(BoardSnapshot::take() == before);
    EXPECT_EQ(position_value(BLACK), static_value(BLACK));

    engine_ready();
    reset_engine_board();
    for (int row = 0; row < 15; row += 2)
        for (int column : {0, 1, 2, 3, 11, 12, 13, 14}) place_stone(sq(column, row), WHITE);
    settle_all_lines();
    ASSERT_EQ(static_value(BLACK), RESULT_LOSS);
    before = BoardSnapshot::take();
    fresh_clock();
    EXPECT_EQ(position_value(BLACK), -13);
    EXPECT_TRUE(BoardSnapshot::take() == before);
}

TEST(Collectors, FourOpenFourAndDoubleFour) {
    engine_ready();
    // A black four on row 7: the four and its five point for white, and the
    // square that would make six once the five is completed for black. The
    // squares behind the white stone on column 2 are not looked at.
    setup({{3, 7}, {4, 7}, {5, 7}, {1, 7}}, {{2, 7}});
    Marks expected = {{WHITE, 118}, {WHITE, 119}, {BLACK, 120}};
    EXPECT_EQ(collect(answer_four, 118, BLACK), expected);
    setup({{3, 7}, {4, 7}, {5, 7}}, {{2, 7}});
    EXPECT_EQ(collect(answer_four, 118, BLACK), expected);
    // The same four for white marks its square only.
    setup({{2, 7}}, {{3, 7}, {4, 7}, {5, 7}});
    EXPECT_EQ(collect(answer_four, 118, WHITE), (Marks{{BLACK, 118}}));

    // A black four that joins a closed three on the column: the four-making
    // points of that column are black's, up to the white stone.
    setup({{3, 7}, {4, 7}, {5, 7}, {6, 8}, {6, 9}}, {{2, 7}, {6, 11}});
    expected = {{WHITE, 118},       {WHITE, 119},      {BLACK, 120},
                {BLACK, sq(6, 10)}, {BLACK, sq(6, 6)}, {BLACK, sq(6, 5)}};
    Marks got = collect(answer_four, 118, BLACK);
    EXPECT_EQ(got, expected);

    // White's split three .O.OO. on row 4: the open-four point and the two
    // outer squares are the replies that take the open four away.
    setup({}, {{5, 4}, {7, 4}, {8, 4}});
    ASSERT_EQ(square_class[WHITE][sq(6, 4)], CLASS_OPEN_FOUR);
    EXPECT_EQ(collect(answer_open_four, sq(6, 4), WHITE),
              (Marks{{BLACK, sq(4, 4)}, {BLACK, sq(6, 4)}, {BLACK, sq(9, 4)}}));
    // A solid three .OOO. has two open-four points; only they kill both.
    setup({}, {{6, 4}, {7, 4}, {8, 4}});
    EXPECT_EQ(collect(answer_open_four, sq(5, 4), WHITE),
              (Marks{{BLACK, sq(5, 4)}, {BLACK, sq(9, 4)}}));
    EXPECT_EQ(collect(answer_open_four, sq(9, 4), WHITE),
              (Marks{{BLACK, sq(5, 4)}, {BLACK, sq(9, 4)}}));
    // Black's open four that also makes an open three on its column: white's
    // replies on the row, and black's four-making points on the column.
    setup({{6, 7}, {7, 7}, {8, 7}, {5, 5}, {5, 6}}, {});
    ASSERT_EQ(square_class[BLACK][sq(5, 7)], CLASS_OPEN_FOUR);
    EXPECT_EQ(collect(answer_open_four, sq(5, 7), BLACK), (Marks{{WHITE, sq(5, 7)},
                                                                 {WHITE, sq(9, 7)},
                                                                 {BLACK, sq(5, 3)},
                                                                 {BLACK, sq(5, 4)},
                                                                 {BLACK, sq(5, 8)},
                                                                 {BLACK, sq(5, 9)}}));

    // White's double four at the centre: the square and both five points.
    setup({{3, 7}, {7, 3}}, {{4, 7}, {5, 7}, {6, 7}, {7, 4}, {7, 5}, {7, 6}});
    ASSERT_EQ(square_class[WHITE][CENTRE], CLASS_DOUBLE_FOUR);
    expected = {{BLACK, CENTRE}, {BLACK, sq(8, 7)}, {BLACK, sq(7, 8)}};
    EXPECT_EQ(collect(answer_double_four, CENTRE, WHITE), expected);
    // The solver hands the same marks to its caller.
    clear_solver_table();
    AnswerBuffer answers;
    std::memset(answers, 0, sizeof answers);
    EXPECT_EQ(solve(WHITE, &answers), RESULT_WIN);
    EXPECT_EQ(marks_of(answers), expected);
}

TEST(Collectors, SolverMarksEveryLevelOfTheWin) {
    clear_solver_table();
    // Black's four-three: the centre, white's block on (8,7), then the
    // column's open four at (7,4). White's half: the centre and its five
    // point (answer_four), and the two squares that stop the open four
    // (answer_open_four). Black's half: the four-making points of the column
    // that the centre joined, and (9,7), which would make six once the row
    // is completed.
    four_three_position();
    AnswerBuffer answers;
    std::memset(answers, 0, sizeof answers);
    EXPECT_EQ(solve(BLACK, &answers), RESULT_WIN);
    const Marks found = marks_of(answers);
    EXPECT_EQ(found, (Marks{{WHITE, CENTRE},
                            {WHITE, sq(8, 7)},
                            {WHITE, sq(7, 4)},
                            {WHITE, sq(7, 8)},
                            {BLACK, sq(7, 3)},
                            {BLACK, sq(7, 4)},
                            {BLACK, sq(7, 8)},
                            {BLACK, sq(7, 9)},
                            {BLACK, sq(9, 7)}}));
    // The stored win replays the same marks.
    AnswerBuffer again;
    std::memset(again, 0, sizeof again);
    EXPECT_EQ(solve(BLACK, &again), RESULT_WIN);
    EXPECT_EQ(tries, 1u) << "the replay plays the forced line again";
    EXPECT_EQ(marks_of(again), found);
}

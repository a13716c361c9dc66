// The data files judged by FourChecker, which knows nothing of the solver and
// so vouches for the data, and by the solver, which must agree with it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "four_checker.h"
#include "fours_data.h"
#include "test_support.h"
#include "core/timing.h"

namespace {

int8_t solve_checked(uint8_t side) {
    const BoardSnapshot before = BoardSnapshot::take();
    think_start = clock_ms();
    think_budget = 1 << 30;
    time_up = 0;
    solver_budget = SOLVER_TRIES;
    const int8_t result = solve_threats(side, nullptr);
    EXPECT_TRUE(BoardSnapshot::take() == before) << "solve_threats changed the board";
    return result;
}

// Four-making moves `side` may play, and the first one whose forced block
// gives the other side a five point (NO_MOVE if none).
int legal_fours(uint8_t side, Square* counter) {
    const uint8_t other = uint8_t(1 - side);
    Square fives[225];
    int count = 0;
    *counter = NO_MOVE;
    for (int s = 0; s < 240; ++s) {
        if (!on_board(s) || cells[s] != EMPTY || (side == BLACK && is_forbidden(Square(s))))
            continue;
        place_stone(Square(s), side);
        const int made = FourChecker::five_points(side, fives);
        if (made > 0) ++count;
        if (made == 1 && *counter == NO_MOVE) {
            place_stone(fives[0], other);
            if (FourChecker::five_points(other, fives) > 0) *counter = Square(s);
            remove_stone();
        }
        remove_stone();
    }
    return count;
}

// Does a block in the checker's line (of n fours) make a four for the defender?
bool line_has_counter(FourChecker& checker, uint8_t side, int n) {
    const std::vector<Square> line = checker.line(side, n);
    Square fives[225];
    bool counter = false;
    size_t placed = 0;
    for (; placed < line.size() && cells[line[placed]] == EMPTY; ++placed) {
        const uint8_t colour = placed % 2 == 0 ? side : uint8_t(1 - side);
        place_stone(line[placed], colour);
        if (colour != side && FourChecker::five_points(colour, fives) > 0) counter = true;
    }
    for (; placed > 0; --placed) remove_stone();
    return counter;
}

} // namespace

TEST(FoursData, WinsAreFoundAndReal) {
    std::memset(solver_table, 0, sizeof solver_table);
    const std::vector<DataLine> lines = read_data("vcf_wins.txt");
    EXPECT_GE(lines.size(), 30u);
    FourChecker checker;
    FourChecker foul_allowed(true, true);
    int colours[2] = {0, 0}, deep = 0, fouls = 0, counters = 0;
    for (const DataLine& line : lines) {
        GameRecord record;
        if (!load_legal(line, record)) continue;
        const uint8_t side = uint8_t(~ply & 1);
        ++colours[side];
        const int needed = checker.fours_needed(side);
        ASSERT_FALSE(checker.aborted) << line.where;
        EXPECT_EQ(needed, number_before(line.comment, "fours")) << line.where;
        if (needed >= 7) ++deep;
        const Square foul = square_after(line.comment, "foul");
        if (foul != NO_MOVE) {
            ++fouls;
            EXPECT_EQ(side, BLACK) << line.where;
            EXPECT_TRUE(cells[foul] == EMPTY && is_forbidden(foul)) << line.where;
            EXPECT_TRUE(foul_allowed.move_wins(side, foul, needed - 1)) << line.where;
        }
        if (line.comment.find("counter") != std::string::npos) {
            ++counters;
            EXPECT_TRUE(line_has_counter(checker, side, needed)) << line.where;
        }

        solver_move = NO_MOVE;
        EXPECT_EQ(solve_checked(side), RESULT_WIN) << line.where;
        EXPECT_TRUE(checker.move_wins(side, solver_move, FourChecker::DEFAULT_DEPTH))
            << line.where << ": the solver's move " << name_of(solver_move) << " does not win";
    }
    EXPECT_GT(colours[BLACK], 0);
    EXPECT_GT(colours[WHITE], 0);
    EXPECT_GE(deep, 3);
    EXPECT_GE(fouls, 3);
    EXPECT_GE(counters, 3);
}

TEST(FoursData, NoWinIsClaimed) {
    std::memset(solver_table, 0, sizeof solver_table);
    const std::vector<DataLine> lines = read_data("vcf_none.txt");
    EXPECT_GE(lines.size(), 20u);
    FourChecker checker;
    FourChecker foul_allowed(true, true);
    for (const DataLine& line : lines) {
        GameRecord record;
        if (!load_legal(line, record)) continue;
        const uint8_t side = uint8_t(~ply & 1);
        EXPECT_EQ(checker.fours_needed(side), -1) << line.where;
        EXPECT_FALSE(checker.aborted) << line.where;
        EXPECT_LT(solve_checked(side), RESULT_WIN) << line.where;

        const Square foul = square_after(line.comment, "foul");
        if (foul != NO_MOVE) {
            EXPECT_EQ(side, BLACK) << line.where;
            EXPECT_TRUE(cells[foul] == EMPTY && is_forbidden(foul)) << line.where;
            EXPECT_TRUE(foul_allowed.move_wins(side, foul, FourChecker::DEFAULT_DEPTH))
                << line.where;
        }
        Square counter;
        const int fours = legal_fours(side, &counter);
        const int run_out = number_before(line.comment, "fours run out");
        if (run_out >= 0) {
            EXPECT_EQ(fours, run_out) << line.where;
        }
        const Square counter_after = square_after(line.comment, "counter after");
        if (counter_after != NO_MOVE) {
            EXPECT_EQ(counter, counter_after) << line.where;
        }
        const Square threat = square_after(line.comment, "must block");
        Square fives[225];
        if (threat != NO_MOVE) {
            EXPECT_EQ(FourChecker::five_points(uint8_t(1 - side), fives), 1) << line.where;
            EXPECT_EQ(fives[0], threat) << line.where;
        }
    }
}

TEST(FoursData, DefencePositionsAreSound) {
    const std::vector<DataLine> lines = read_data("defence.txt");
    EXPECT_GE(lines.size(), 20u);
    FourChecker checker;
    for (const DataLine& line : lines) {
        GameRecord record;
        if (!load_legal(line, record)) continue;
        const uint8_t side = uint8_t(~ply & 1), opp = uint8_t(1 - side);
        Square fives[225];
        EXPECT_EQ(FourChecker::five_points(side, fives), 0) << line.where;
        EXPECT_EQ(FourChecker::five_points(opp, fives), 0) << line.where;
        EXPECT_EQ(checker.fours_needed(side), -1) << line.where;
        const int opponent_needs = checker.fours_needed(opp);
        EXPECT_GE(opponent_needs, 1) << line.where << ": the opponent has no win";
        EXPECT_EQ(opponent_needs, number_before(line.comment, "fours")) << line.where;
        ASSERT_FALSE(checker.aborted) << line.where;
        const Square defence = square_after(line.comment, "defence");
        ASSERT_TRUE(on_board(defence) && cells[defence] == EMPTY) << line.where;
        if (side == BLACK) {
            EXPECT_FALSE(is_forbidden(defence)) << line.where;
        }
        place_stone(defence, side);
        EXPECT_EQ(checker.fours_needed(opp), -1)
            << line.where << ": " << name_of(defence) << " does not stop the opponent";
        remove_stone();
    }
}

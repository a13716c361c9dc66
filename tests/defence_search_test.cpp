// The main search against positions where the opponent holds a win by
// continuous fours (tests/data/defence.txt): the engine's move must stop it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "four_checker.h"
#include "fours_data.h"
#include "search/engine.h"
#include "test_support.h"
#include "timing.h"

// The engine's move, with a second to think, must leave the opponent without
// a win by fours. Each think starts from cleared tables and statistics, so a
// position's outcome does not depend on the ones before it. Disabled while
// the engine still lets the win through in some of the positions; run it with
// --gtest_also_run_disabled_tests.
TEST(DefenceSearch, DISABLED_EngineStopsTheThreat) {
    const std::vector<DataLine> lines = read_data("defence.txt");
    FourChecker checker;
    for (const DataLine& line : lines) {
        GameRecord record;
        if (!load_legal(line, record)) continue;
        const uint8_t side = uint8_t(~ply & 1), opp = uint8_t(1 - side);
        std::memset(search_table, 0, sizeof search_table);
        std::memset(solver_table, 0, sizeof solver_table);
        reset_move_statistics();
        think_start = clock_ms();
        think_budget = 1000;
        const Square m = think(record);
        ASSERT_TRUE(load_position(record));
        ASSERT_TRUE(on_board(m) && cells[m] == EMPTY) << line.where << ": move " << int(m);
        if (side == BLACK) {
            EXPECT_FALSE(is_forbidden(m)) << line.where << ": foul " << name_of(m);
        }
        place_stone(m, side);
        EXPECT_EQ(checker.fours_needed(opp), -1)
            << line.where << ": after the engine's " << name_of(m) << " the opponent still wins";
    }
}

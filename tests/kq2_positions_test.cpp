// The tournament engine on the threat positions of tests/data, judged by the
// independent checkers, never by the engine itself: it must start every win
// by fours, stop every opponent's win by fours, and start nearly every win
// by threes. Thinks run on a node limit with an unlimited clock, so the
// outcome does not depend on the machine's speed.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "four_checker.h"
#include "fours_data.h"
#include "kq2/kq2.h"
#include "test_support.h"
#include "three_checker.h"
#include "core/timing.h"

namespace {

constexpr int64_t NODE_LIMIT = 400000;

// kq2's move in the record's position, by a fixed amount of work; the
// position is on the engine board again afterwards.
Square kq2_move(const GameRecord& record, int64_t nodes = NODE_LIMIT) {
    kq2::settings.max_nodes = nodes;
    think_start = clock_ms();
    think_budget = INT32_MAX;
    const Square m = kq2::think(record);
    kq2::settings.max_nodes = 0;
    EXPECT_TRUE(load_position(record));
    settle_all_lines();
    return m;
}

} // namespace

TEST(Kq2Positions, StartsEveryWinByFours) {
    FourChecker checker;
    for (const DataLine& line : read_data("vcf_wins.txt")) {
        GameRecord record;
        if (!load_legal(line, record)) continue;
        const uint8_t side = uint8_t(~ply & 1);
        const Square m = kq2_move(record);
        ASSERT_TRUE(on_board(m) && cells[m] == EMPTY) << line.where;
        // Any win by fours counts, not only the shortest.
        EXPECT_TRUE(checker.move_wins(side, m, FourChecker::DEFAULT_DEPTH))
            << line.where << ": " << name_of(m) << " does not start a win by fours";
    }
}

TEST(Kq2Positions, StopsEveryWinByFours) {
    FourChecker checker;
    for (const DataLine& line : read_data("defence.txt")) {
        GameRecord record;
        if (!load_legal(line, record)) continue;
        const uint8_t side = uint8_t(~ply & 1), opp = uint8_t(1 - side);
        const Square m = kq2_move(record);
        ASSERT_TRUE(on_board(m) && cells[m] == EMPTY) << line.where;
        if (side == BLACK) {
            EXPECT_FALSE(is_forbidden(m)) << line.where << ": foul " << name_of(m);
        }
        place_stone(m, side);
        EXPECT_EQ(checker.fours_needed(opp), -1)
            << line.where << ": after " << name_of(m) << " the opponent still wins by fours";
        remove_stone();
    }
}

// Stop-and-go: searches cut short by a node limit (as STOP or a deadline
// cuts them) leave table entries that say "no win found so far"; a later
// think of the same position must still find the win. And a change of the
// memory limit re-sizes the tables: what the solver answers afterwards for
// either side must be a fresh answer, not the other side's old entry.
TEST(Kq2Positions, TableEntriesNeverHideOrInventWins) {
    ThreeChecker three(true);
    int checked = 0;
    for (const DataLine& line : read_data("vct_wins.txt")) {
        if (++checked > 12) break;
        GameRecord record;
        if (!load_legal(line, record)) continue;
        const uint8_t side = uint8_t(~ply & 1);
        const int threes = number_before(line.comment.substr(line.comment.find(',')), "threes");
        kq2_move(record, 4000);
        const Square m = kq2_move(record);
        EXPECT_TRUE(three.move_wins(side, m, threes + 1))
            << line.where << ": " << name_of(m) << " after a cut-short search";
    }

    FourChecker fours;
    const int64_t sizes[] = {120ll << 20, 350ll << 20, 40ll << 20};
    int size = 0;
    for (const DataLine& line : read_data("vcf_wins.txt")) {
        GameRecord record;
        if (!load_legal(line, record)) continue;
        const uint8_t defender = uint8_t(ply & 1);
        kq2_move(record); // the attacker's win goes into the solver's table
        kq2::settings.max_memory = sizes[size++ % 3];
        kq2::setup_tables();
        const kq2::SolverScope scope;
        ASSERT_TRUE(load_position(record));
        Square m;
        const bool claimed = kq2::vcf(defender, 20000, &m);
        ASSERT_TRUE(load_position(record));
        EXPECT_EQ(claimed, fours.fours_needed(defender) != -1) << line.where;
    }
    kq2::settings.max_memory = 350ll << 20;
    kq2::setup_tables();
}

// A win by threes counts when the first move keeps it: every reply of the
// defender still loses, within one attacking move more than the fewest.
TEST(Kq2Positions, StartsNearlyEveryWinByThrees) {
    ThreeChecker checker(true);
    int won = 0, total = 0;
    std::string missed;
    for (const DataLine& line : read_data("vct_wins.txt")) {
        GameRecord record;
        if (!load_legal(line, record)) continue;
        const uint8_t side = uint8_t(~ply & 1);
        const size_t comma = line.comment.find(',');
        const int threes = number_before(line.comment.substr(comma), "threes");
        ASSERT_GT(threes, 0) << line.where;
        const Square m = kq2_move(record);
        ASSERT_TRUE(on_board(m) && cells[m] == EMPTY) << line.where;
        ++total;
        if (checker.move_wins(side, m, threes + 1)) {
            ++won;
        } else {
            missed += " " + line.where + " (" + name_of(m) + ")";
        }
    }
    ASSERT_GE(total, 30);
    EXPECT_GE(won * 10, total * 9) << won << " of " << total << " won; missed:" << missed;
    std::printf("wins by threes started: %d of %d;%s\n", won, total, missed.c_str());
}

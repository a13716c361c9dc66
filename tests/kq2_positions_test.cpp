// The tournament engine on the threat positions of tests/data, judged by the
// independent checkers, never by the engine itself: it must start every win
// by fours, stop every opponent's win by fours, and start nearly every win
// by threes. Thinks run on a node limit with an unlimited clock, so the
// outcome does not depend on the machine's speed.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "core/timing.h"
#include "four_checker.h"
#include "fours_data.h"
#include "kq2/kq2.h"
#include "test_support.h"
#include "three_checker.h"

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

// The proof-number search alone: it proves every known win by threes with a
// first move the checker confirms (not always the shortest win), and it
// settles a quiet position for both sides as no win, rather than running out.
TEST(Kq2Positions, ProofSearchProvesWinsAndSettlesQuietPositions) {
    engine_init();
    ASSERT_TRUE(kq2::setup_tables());
    kq2::touch_tables(clock_ms() + 600000);
    ThreeChecker checker(true);
    think_start = clock_ms();
    think_budget = INT32_MAX;
    for (const DataLine& line : read_data("vct_wins.txt")) {
        GameRecord record;
        if (!load_legal(line, record)) continue;
        const kq2::SolverScope scope;
        ASSERT_TRUE(load_position(record));
        const uint8_t side = uint8_t(~ply & 1);
        const int threes = number_before(line.comment.substr(line.comment.find(',')), "threes");
        Square m = NO_MOVE;
        ASSERT_EQ(kq2::vct_proof(side, 2000000, &m), 1) << line.where;
        // Within three attacking moves more than the fewest (two first: cheaper).
        EXPECT_TRUE(checker.move_wins(side, m, threes + 2) ||
                    checker.move_wins(side, m, threes + 3))
            << line.where << ": " << name_of(m);
    }
    GameRecord quiet;
    ASSERT_TRUE(parse_moves("HH II GI IG JH FJ", quiet));
    const kq2::SolverScope scope;
    ASSERT_TRUE(load_position(quiet));
    for (const uint8_t side : {BLACK, WHITE}) {
        Square m = NO_MOVE;
        EXPECT_EQ(kq2::vct_proof(side, 100000, &m), 0) << int(side);
    }
}

// A position from an engine game where the search once claimed a win: white's
// LI threatens a double four at JI, and black's JK stops it on the line that
// LI is not on. White's LI is no win, at any depth, since after JK it has no
// win by fours.
TEST(Kq2Positions, ADoubleFourIsStoppedOnEitherLine) {
    engine_ready();
    FourChecker checker;
    const std::string before = "HH II FJ HG IH JH KG KI IG GI HI JG JF LH FG JJ IK NF MG";
    GameRecord record, refuted;
    ASSERT_TRUE(parse_moves(before, record));
    ASSERT_TRUE(parse_moves(before + " LI JK", refuted));
    ASSERT_TRUE(load_position(refuted));
    EXPECT_EQ(checker.fours_needed(WHITE), -1);
    for (const int depth : {3, 5}) {
        kq2::settings.max_depth = depth;
        think_start = clock_ms();
        think_budget = INT32_MAX;
        kq2::think(record);
        EXPECT_LT(kq2::report.value, kq2::MATE_BOUND) << "depth " << depth;
    }
    kq2::settings.max_depth = 0;
}

namespace {

// The evaluation the slow way: every empty square of the board, its class and
// weight looked up afresh.
int evaluate_every_square() {
    const uint8_t side = uint8_t(~ply & 1);
    int v = 0;
    for (int s = 0; s < 256; ++s) {
        if (!on_board(Square(s)) || cells[s] != EMPTY) continue;
        for (int theirs = 0; theirs < 2; ++theirs) {
            const uint8_t colour = theirs ? uint8_t(1 - side) : side;
            const int key = shape_key[colour][s];
            const uint8_t k = class_by_key[colour][key];
            if (k < CLASS_TWO || k > CLASS_OPEN_FOUR) continue;
            const int w = kq2::restricted_value(
                kq2::combo_weight(side, theirs != 0, kq2::shape_combos.of_key[key], k), colour, k);
            v += theirs ? -w : w;
        }
    }
    return v;
}

} // namespace

// The value sums what each square's four line shapes make, whatever their
// order, over every square that can hold a shape: a board seen in a mirror
// or turned has the same value, and so has the sum over every square.
TEST(Kq2Positions, EvaluationIsTheSameUnderEverySymmetry) {
    for (int key = 0; key < SHAPE_KEYS; ++key) {
        const uint8_t* c = kq2::shape_combos.shapes[kq2::shape_combos.of_key[key]];
        int digits[4] = {key % 11, key / 11 % 11, key / 121 % 11, key / 1331}, count[11] = {};
        for (int d = 0; d < 4; ++d) ++count[digits[d]], --count[c[d]];
        for (int v : count) ASSERT_EQ(v, 0) << "key " << key;
    }
    engine_ready();
    kq2::refresh_evaluation();
    uint32_t seed = 12345;
    auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    for (int game = 0; game < 40; ++game) {
        GameRecord record{};
        const int stones = 6 + int(next() % 40);
        while (record.count < stones) {
            // Stones anywhere, edges and corners too.
            const Square s = sq(int(next() % 15), int(next() % 15));
            bool taken = false;
            for (int i = 0; i < record.count; ++i) taken |= record.moves[i] == s;
            if (!taken) record.moves[record.count++] = s;
        }
        if (!load_position(record)) continue;
        const int value = kq2::evaluate();
        EXPECT_EQ(value, evaluate_every_square()) << "game " << game;
        for (int t = 1; t < 8; ++t) {
            GameRecord turned = record;
            for (int i = 0; i < record.count; ++i) {
                int c = record.moves[i] & 15, r = record.moves[i] >> 4;
                if (t & 1) c = 14 - c;
                if (t & 2) r = 14 - r;
                if (t & 4) std::swap(c, r);
                turned.moves[i] = sq(c, r);
            }
            ASSERT_TRUE(load_position(turned));
            EXPECT_EQ(kq2::evaluate(), value) << "game " << game << ", symmetry " << t;
        }
    }
}

TEST(Kq2Positions, ThreatRepliesKeepExactlyTheStonesThatStopAnOpenFour) {
    // Over random positions where one side has a square that wins next move:
    // an empty square is kept exactly when a stone there leaves no such square
    // (a white double four is stopped on either of its lines).
    engine_ready();
    uint32_t seed = 99;
    auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    int judged = 0, kept = 0;
    for (int game = 0; game < 400; ++game) {
        reset_engine_board();
        const int stones = 10 + int(next() % 40);
        while (ply < stones) {
            const Square s = sq(3 + int(next() % 9), 3 + int(next() % 9));
            if (cells[s] == EMPTY) place_stone(s, uint8_t(next() % 2));
        }
        for (uint8_t attacker = 0; attacker < 2; ++attacker) {
            const uint8_t defender = uint8_t(1 - attacker);
            if (!kq2::has_open_four_point(attacker) || class_count[0][CLASS_FIVE] > 0 ||
                class_count[1][CLASS_FIVE] > 0)
                continue;
            uint64_t set[4];
            kq2::threat_replies(set, attacker);
            for (int s = 0; s < 240; ++s) {
                if (!on_board(s) || cells[s] != EMPTY) continue;
                const bool in_set = set[s >> 6] >> (s & 63) & 1;
                place_stone(Square(s), defender);
                const bool stops = !kq2::has_open_four_point(attacker);
                undo_stone();
                EXPECT_EQ(in_set, stops) << "game " << game << " square " << s;
                ++judged;
                kept += in_set;
            }
        }
    }
    EXPECT_GT(judged, 200);
    EXPECT_GT(kept, 50);
}

TEST(Kq2Positions, QuietMovesAreTheBestScoredPlayableSquares) {
    // Over random positions, stones at the edges too: the list is the first
    // `limit` of every empty square where either side has a two or more and
    // the mover may play, by score and then by square, looked for over the
    // whole board.
    engine_ready();
    kq2::refresh_evaluation();
    uint32_t seed = 7;
    auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    int compared = 0;
    for (int game = 0; game < 300; ++game) {
        reset_engine_board();
        const int stones = 1 + int(next() % 50);
        while (ply < stones) {
            const Square s = sq(int(next() % 15), int(next() % 15));
            if (cells[s] == EMPTY) place_stone(s, uint8_t(next() % 2));
        }
        const uint8_t side = uint8_t(~ply & 1), other = uint8_t(1 - side);
        std::vector<std::pair<int, int>> expected; // (-score, square)
        for (int s = 0; s < 240; ++s)
            if (on_board(s) && cells[s] == EMPTY &&
                (square_class[side][s] >= CLASS_TWO || square_class[other][s] >= CLASS_TWO) &&
                kq2::legal_for(side, Square(s)))
                expected.push_back({-kq2::move_score(side, Square(s)), s});
        std::sort(expected.begin(), expected.end());
        for (const int limit : {1, 9, 40}) {
            Square moves[MAX_MOVES];
            const int n = kq2::generate_moves(moves, limit);
            ASSERT_EQ(n, std::min<int>(limit, int(expected.size()))) << "game " << game;
            for (int i = 0; i < n; ++i) EXPECT_EQ(moves[i], expected[size_t(i)].second);
            ++compared;
        }
    }
    EXPECT_GT(compared, 800);
}

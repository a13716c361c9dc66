// is_forbidden against the plain rules model of renju_model.h on every empty
// square of many positions: random clusters of stones, and every position of
// recorded games (tests/data/renju_games.txt). Positions where either colour
// already has five or more are left out: a game ends there.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "renju_model.h"
#include "test_support.h"

namespace {

using renju_model::Board;
using renju_model::Verdict;

std::string point_name(int r, int c) { return {char('A' + c), char('A' + r)}; }

struct Tally {
    long positions = 0, squares = 0, by_verdict[5] = {};
    long mismatches = 0;
    std::string report; // the first few mismatches
    long forbidden() const {
        return by_verdict[renju_model::OVERLINE] + by_verdict[renju_model::DOUBLE_FOUR] +
               by_verdict[renju_model::DOUBLE_THREE];
    }
};

// Every empty square: the engine board and `model` hold the same position.
void compare_all(Board& model, Tally& tally, const std::string& position) {
    ++tally.positions;
    for (int r = 0; r < renju_model::SIZE; ++r)
        for (int c = 0; c < renju_model::SIZE; ++c) {
            if (model.at[r][c] != renju_model::EMPTY_POINT) continue;
            const Verdict v = model.verdict(r, c);
            const bool expected = v == renju_model::OVERLINE || v == renju_model::DOUBLE_FOUR ||
                                  v == renju_model::DOUBLE_THREE;
            ++tally.squares;
            ++tally.by_verdict[v];
            if (is_forbidden(sq(c, r)) != expected && ++tally.mismatches <= 5)
                tally.report += position + " at " + point_name(r, c) + ": the rules say " +
                                (expected ? "forbidden" : "allowed") + "\n";
        }
}

struct Rng {
    uint64_t state;
    int below(int n) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return int((state >> 33) % uint64_t(n));
    }
};

// A position around one point, built on the engine board and the model at
// once: 10 to 60 stones (variant 2: 50 to 100) drawn from a square of side
// 5 to 11, or in variant 1 mostly from the four lines through the point.
// The point is near the centre, or anywhere so that the edges get their
// share. Colours alternate or are drawn at 50, 65 or 80% black. A stone that
// would give its colour five or more is drawn again.
std::string random_position(uint64_t seed, Board& model) {
    Rng g{seed * 7919 + 17};
    const int variant = int(seed % 3);
    const int stones = 10 + g.below(51) + (variant == 2 ? 40 : 0);
    const bool central = g.below(10) < (variant == 2 ? 2 : 7);
    const int cr = central ? 5 + g.below(5) : g.below(15),
              cc = central ? 5 + g.below(5) : g.below(15);
    int spread = 2 + g.below(4);
    const int colours = g.below(4), black_percent[4] = {0, 50, 65, 80};
    reset_engine_board();
    std::string black = "black", white = " white";
    for (int i = 0; i < stones; ++i) {
        const uint8_t colour = (colours == 0 ? i % 2 == 0 : g.below(100) < black_percent[colours])
                                   ? renju_model::BLACK_STONE
                                   : renju_model::WHITE_STONE;
        bool placed = false;
        for (int attempt = 0; attempt < 60 && !placed; ++attempt) {
            int r = cr + g.below(2 * spread + 1) - spread,
                c = cc + g.below(2 * spread + 1) - spread;
            if (variant == 1 && g.below(4) != 0) {
                const int d = g.below(4), k = g.below(13) - 6;
                r = cr + k * renju_model::DR[d];
                c = cc + k * renju_model::DC[d];
            }
            if (!Board::inside(r, c) || model.at[r][c] != renju_model::EMPTY_POINT) continue;
            bool five = false;
            for (int d = 0; d < 4; ++d) five |= model.run(r, c, d, colour) >= 5;
            if (five) continue;
            model.at[r][c] = colour;
            place_stone(sq(c, r), colour == renju_model::BLACK_STONE ? BLACK : WHITE);
            (colour == renju_model::BLACK_STONE ? black : white) += " " + point_name(r, c);
            placed = true;
        }
        if (!placed) ++spread; // the cluster is full
    }
    return black + white;
}

} // namespace

TEST(RenjuModel, RandomClustersAgreeOnEverySquare) {
    engine_ready();
    ASSERT_EQ(game_rule, RULE_RENJU);
    Tally tally;
    long cap_hits = 0, saved = 0, refused = 0;
    for (uint64_t seed = 0; seed < 3000; ++seed) {
        Board model;
        const std::string position = random_position(seed, model);
        ASSERT_FALSE(model.has_five_or_more()) << position;
        compare_all(model, tally, "seed " + std::to_string(seed) + ": " + position);
        cap_hits += model.depth_cap_hits;
        saved += model.saved_by_false_three;
        refused += model.refused_as_double_three;
    }
    EXPECT_EQ(tally.mismatches, 0) << tally.report;
    EXPECT_EQ(cap_hits, 0); // the depth cap never decided a verdict
    // Every kind of foul, and threes decided by the recursion, occur often.
    EXPECT_GT(tally.by_verdict[renju_model::OVERLINE], 500);
    EXPECT_GT(tally.by_verdict[renju_model::DOUBLE_FOUR], 500);
    EXPECT_GT(tally.by_verdict[renju_model::DOUBLE_THREE], 500);
    EXPECT_GT(saved, 20);
    EXPECT_GT(refused, 20);
    std::printf(
        "random: %ld positions, %ld squares, %ld forbidden (%ld overlines, %ld double fours, "
        "%ld double threes); %ld verdicts, nested ones included, turned on a false three\n",
        tally.positions, tally.squares, tally.forbidden(), tally.by_verdict[renju_model::OVERLINE],
        tally.by_verdict[renju_model::DOUBLE_FOUR], tally.by_verdict[renju_model::DOUBLE_THREE],
        saved);
}

TEST(RenjuModel, RecordedGamesAgreeOnEverySquare) {
    engine_ready();
    ASSERT_EQ(game_rule, RULE_RENJU);
    std::ifstream in(std::string(KQ_TEST_DATA) + "/renju_games.txt");
    ASSERT_TRUE(in) << "missing tests/data/renju_games.txt";
    Tally tally;
    long games = 0, fouls = 0;
    std::string line;
    while (std::getline(in, line)) {
        const size_t hash = line.find('#');
        GameRecord record{};
        ASSERT_TRUE(hash != std::string::npos && parse_moves(line.substr(0, hash), record)) << line;
        ++games;
        Board model;
        reset_engine_board();
        std::string moves;
        for (int i = 0; i <= record.count && !model.has_five_or_more(); ++i) {
            compare_all(model, tally, "after \"" + moves + "\"");
            if (i == record.count) break;
            const int r = record.moves[i] >> 4, c = record.moves[i] & 15;
            // A game lost by a foul: black's last move is one.
            if (i == record.count - 1 && line.find("foul", hash) != std::string::npos) {
                EXPECT_TRUE(model.forbidden(r, c)) << line;
                ++fouls;
            }
            model.at[r][c] = i % 2 == 0 ? renju_model::BLACK_STONE : renju_model::WHITE_STONE;
            place_stone(record.moves[i], i % 2 == 0 ? BLACK : WHITE);
            moves += (moves.empty() ? "" : " ") + point_name(r, c);
        }
    }
    EXPECT_GE(games, 20);
    EXPECT_GE(fouls, 5);
    EXPECT_EQ(tally.mismatches, 0) << tally.report;
    std::printf("games: %ld games, %ld positions, %ld squares, %ld forbidden\n", games,
                tally.positions, tally.squares, tally.forbidden());
}

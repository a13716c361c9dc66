// ThreeChecker on positions drawn by hand, then tests/data/vct_wins.txt judged
// by it: the side to move wins by threes, in the stated number of attacking
// moves and not fewer, and has no win by fours.
//
// vct_wins.txt comments: "black wins by threes, 3 threes" gives the fewest
// attacking moves (threes and fours alike) before the five, and may add
// "counter XY" (the defender has the four XY to play) and "foul after AB CD
// ..." (white plays AB, black CD, ..., white keeping its win throughout,
// and then black must block white's four on a foul).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "four_checker.h"
#include "fours_data.h"
#include "test_support.h"
#include "three_checker.h"

namespace {

// "white wins by threes, 3 threes": the number after the comma, or -1.
int stated_threes(const std::string& comment) {
    const size_t comma = comment.find(',');
    return comma == std::string::npos ? -1 : number_before(comment.substr(comma), "threes");
}

// The squares written after `word` up to the next ';' or the end.
std::vector<Square> squares_after(const std::string& comment, const std::string& word) {
    std::vector<Square> out;
    const size_t at = comment.find(word + " ");
    if (at == std::string::npos) return out;
    const std::string rest =
        comment.substr(at + word.size(), comment.find(';', at) - at - word.size());
    GameRecord record;
    if (parse_moves(rest, record)) out.assign(record.moves, record.moves + record.count);
    return out;
}

// Does `colour` have exactly one five point? Stores it in *at.
bool single_five(uint8_t colour, Square* at) {
    Square fives[225];
    if (FourChecker::five_points(colour, fives) != 1) return false;
    *at = fives[0];
    return true;
}

} // namespace

TEST(ThreeChecker, ThreesAndTheirAnswers) {
    engine_ready();
    ThreeChecker checker, quiet(true);
    FourChecker fours;
    const Square centre = sq(7, 7);

    // White's double three at the centre wins with the open four after it.
    setup({{2, 12}, {12, 2}}, {{5, 7}, {6, 7}, {7, 5}, {7, 6}});
    const BoardSnapshot before = BoardSnapshot::take();
    EXPECT_EQ(fours.fours_needed(WHITE), -1);
    EXPECT_EQ(checker.threes_needed(WHITE, 4), 2);
    EXPECT_TRUE(checker.move_wins(WHITE, centre, 2));
    EXPECT_FALSE(checker.move_wins(WHITE, centre, 1));
    EXPECT_FALSE(checker.move_wins(WHITE, sq(8, 7), 2)); // a single three
    EXPECT_TRUE(BoardSnapshot::take() == before) << "the checker changed the board";

    // A black four through (8,7) takes an open-four point with tempo: after
    // white's forced block black stops the other three.
    setup({{8, 8}, {8, 9}, {8, 10}}, {{5, 7}, {6, 7}, {7, 5}, {7, 6}, {8, 11}});
    EXPECT_FALSE(checker.move_wins(WHITE, centre, 3));
    EXPECT_FALSE(quiet.move_wins(WHITE, centre, 3));

    // A black four far away: white's block makes no threat, so the double
    // three fails, unless quiet blocks are allowed (three, block, open four).
    setup({{1, 12}, {2, 12}, {3, 12}}, {{5, 7}, {6, 7}, {7, 5}, {7, 6}, {0, 12}});
    EXPECT_EQ(checker.threes_needed(WHITE, 3), -1);
    EXPECT_EQ(quiet.threes_needed(WHITE, 3), 3);
    EXPECT_TRUE(quiet.move_wins(WHITE, centre, 3));
    EXPECT_FALSE(checker.aborted || quiet.aborted);
}

TEST(ThreeChecker, RenjuFouls) {
    engine_ready();
    ThreeChecker checker;
    FourChecker fours;

    // Black's (5,7) (6,7) (7,7) with white on (3,7) can become an open four
    // only at (8,7), a double four for black: no three. Without the stones
    // that make (8,7) a foul it is one.
    setup({{5, 7}, {6, 7}, {8, 9}, {8, 10}, {8, 11}, {9, 6}, {10, 5}, {11, 4}},
          {{3, 7}, {8, 12}, {12, 3}});
    EXPECT_TRUE(is_forbidden(sq(8, 7)));
    EXPECT_FALSE(ThreeChecker::makes_three(BLACK, sq(7, 7)));
    setup({{5, 7}, {6, 7}}, {{3, 7}});
    EXPECT_TRUE(ThreeChecker::makes_three(BLACK, sq(7, 7)));

    // (10,4) is an overline point for black. White's open three on row 4
    // wins: black may block it at (6,4), but then the four (11,4) leaves
    // only (10,4) to block.
    setup({{10, 2}, {10, 3}, {10, 5}, {10, 6}, {10, 7}}, {{10, 1}, {10, 8}, {7, 4}, {8, 4}});
    EXPECT_TRUE(is_forbidden(sq(10, 4)));
    EXPECT_EQ(fours.fours_needed(WHITE), -1);
    EXPECT_EQ(checker.threes_needed(WHITE, 3), 2);
    EXPECT_TRUE(checker.move_wins(WHITE, sq(9, 4), 2));
    // The same three without the black stones is stopped.
    setup({}, {{7, 4}, {8, 4}});
    EXPECT_FALSE(checker.move_wins(WHITE, sq(9, 4), 3));
    EXPECT_FALSE(checker.aborted);
}

TEST(ThreesData, WinsByThreesOnly) {
    const std::vector<DataLine> lines = read_data("vct_wins.txt");
    EXPECT_GE(lines.size(), 36u);
    FourChecker fours;
    ThreeChecker checker, quiet(true);
    int colours[2] = {0, 0}, depths[8] = {}, counters = 0, fouls = 0;
    for (const DataLine& line : lines) {
        GameRecord record;
        if (!load_legal(line, record)) continue;
        const uint8_t side = uint8_t(~ply & 1), def = uint8_t(1 - side);
        ++colours[side];
        EXPECT_EQ(fours.fours_needed(side), -1) << line.where;
        ASSERT_FALSE(fours.aborted) << line.where;

        const int stated = stated_threes(line.comment);
        ASSERT_TRUE(stated >= 2 && stated < 8) << line.where;
        ++depths[stated];
        EXPECT_EQ(checker.threes_needed(side, stated), stated) << line.where;
        // Nor is there a shorter win when blocks of counter-fours need not
        // threaten.
        EXPECT_FALSE(quiet.wins(side, stated - 1)) << line.where;
        ASSERT_FALSE(checker.aborted || quiet.aborted) << line.where;

        const Square counter = square_after(line.comment, "counter");
        if (counter != NO_MOVE) {
            ++counters;
            Square five;
            ASSERT_EQ(cells[counter], EMPTY) << line.where;
            EXPECT_FALSE(def == BLACK && is_forbidden(counter)) << line.where;
            place_stone(counter, def);
            EXPECT_TRUE(single_five(def, &five))
                << line.where << ": no four at " << name_of(counter);
            remove_stone();
        }

        const std::vector<Square> foul_line = squares_after(line.comment, "foul after");
        if (!foul_line.empty()) {
            ++fouls;
            EXPECT_EQ(side, WHITE) << line.where;
            EXPECT_EQ(foul_line.size() % 2, 1u) << line.where;
            size_t played = 0;
            for (; played < foul_line.size(); ++played) {
                const Square m = foul_line[played];
                const uint8_t colour = played % 2 ? BLACK : WHITE;
                if (colour == WHITE) {
                    EXPECT_TRUE(checker.move_wins(WHITE, m, stated - int(played / 2)))
                        << line.where << ": " << name_of(m) << " loses the win";
                } else {
                    EXPECT_FALSE(is_forbidden(m)) << line.where;
                }
                if (cells[m] != EMPTY) break;
                place_stone(m, colour);
            }
            Square five = NO_MOVE;
            EXPECT_TRUE(played == foul_line.size() && single_five(WHITE, &five) &&
                        is_forbidden(five))
                << line.where << ": the line ends without a forced foul";
            for (; played > 0; --played) remove_stone();
        }
    }
    EXPECT_GE(colours[WHITE] * 3, int(lines.size()));
    EXPECT_GT(colours[BLACK], 0);
    for (int n = 2; n <= 4; ++n) EXPECT_GT(depths[n], 0) << n << " threes";
    EXPECT_GE(counters, 3);
    EXPECT_GE(fouls, 3);
}

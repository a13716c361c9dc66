// Renju fouls for black, each checked together with "the board is left as
// found" (on a board whose lines are all settled, so the comparison is exact).
#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

#include "test_support.h"

namespace {

// is_forbidden at (c, r), asserting the board comes back byte for byte.
bool forbidden_at(int c, int r) {
    const BoardSnapshot before = BoardSnapshot::take();
    const bool result = is_forbidden(sq(c, r));
    EXPECT_TRUE(BoardSnapshot::take() == before) << "board changed by is_forbidden";
    return result;
}

} // namespace

TEST(Forbidden, DoubleThreeNeedsTwoRealThrees) {
    // Two open threes crossing at the centre, both real.
    setup({{5, 7}, {6, 7}, {7, 5}, {7, 6}}, {});
    EXPECT_EQ(square_class[BLACK][CENTRE], CLASS_DOUBLE_THREE);
    EXPECT_TRUE(forbidden_at(7, 7));

    // The row three's only open-four point (8,7) is itself a double four for
    // black, so that three is not real: the move is allowed.
    setup({{5, 7}, {6, 7}, {7, 5}, {7, 6}, {8, 9}, {8, 10}, {8, 11}, {9, 6}, {10, 5}, {11, 4}},
          {{3, 7}});
    EXPECT_EQ(square_class[BLACK][CENTRE], CLASS_DOUBLE_THREE);
    EXPECT_EQ(square_class[BLACK][sq(8, 7)], CLASS_DOUBLE_FOUR);
    EXPECT_TRUE(is_real_three(CENTRE, 1));
    EXPECT_FALSE(is_real_three(CENTRE, 0));
    EXPECT_FALSE(forbidden_at(7, 7));

    // Without the white stone (4,7) is a second, allowed open-four point.
    setup({{5, 7}, {6, 7}, {7, 5}, {7, 6}, {8, 9}, {8, 10}, {8, 11}, {9, 6}, {10, 5}, {11, 4}}, {});
    EXPECT_TRUE(forbidden_at(7, 7));

    // A three blocked on one side with no room to open is not an open three.
    setup({{5, 7}, {6, 7}, {7, 5}, {7, 6}}, {{4, 7}, {8, 7}});
    EXPECT_FALSE(forbidden_at(7, 7));
}

TEST(Forbidden, ThreeThreesOfWhichTwoAreReal) {
    setup({{5, 7}, {6, 7}, {7, 5}, {7, 6}, {8, 8}, {9, 9}}, {});
    EXPECT_TRUE(forbidden_at(7, 7));
    // Spoil the diagonal's room and the column's: one real three remains.
    setup({{5, 7}, {6, 7}, {7, 5}, {7, 6}, {8, 8}, {9, 9}}, {{10, 10}, {6, 6}, {7, 4}, {7, 8}});
    EXPECT_FALSE(forbidden_at(7, 7));
    // Only the column spoiled: row and diagonal still make two real threes.
    setup({{5, 7}, {6, 7}, {7, 5}, {7, 6}, {8, 8}, {9, 9}}, {{7, 4}, {7, 8}});
    EXPECT_TRUE(forbidden_at(7, 7));
}

TEST(Forbidden, FoursAndThrees) {
    // Four-three: allowed.
    setup({{4, 7}, {5, 7}, {6, 7}, {7, 5}, {7, 6}}, {{3, 7}});
    EXPECT_EQ(square_class[BLACK][CENTRE], CLASS_FOUR_THREE);
    EXPECT_FALSE(forbidden_at(7, 7));
    // Four-three-three with two real threes: forbidden.
    setup({{4, 7}, {5, 7}, {6, 7}, {7, 5}, {7, 6}, {8, 8}, {9, 9}}, {{3, 7}});
    EXPECT_EQ(square_class[BLACK][CENTRE], CLASS_FOUR_THREE_THREE);
    EXPECT_TRUE(forbidden_at(7, 7));
    // Open four with one open three: allowed without any trial.
    setup({{4, 7}, {5, 7}, {6, 7}, {7, 5}, {7, 6}}, {});
    EXPECT_EQ(square_class[BLACK][CENTRE], CLASS_OPEN_FOUR);
    EXPECT_FALSE(forbidden_at(7, 7));
    // Two fours on one line (the middle of X.X.X.X): forbidden.
    setup({{4, 7}, {6, 7}, {8, 7}, {10, 7}}, {});
    EXPECT_EQ(line_shape[BLACK][0][CENTRE], SHAPE_TWO_FOURS);
    EXPECT_TRUE(forbidden_at(7, 7));
    // Two fours on two lines: forbidden.
    setup({{4, 7}, {5, 7}, {6, 7}, {7, 4}, {7, 5}, {7, 6}}, {{3, 7}, {7, 3}});
    EXPECT_EQ(square_class[BLACK][CENTRE], CLASS_DOUBLE_FOUR);
    EXPECT_TRUE(forbidden_at(7, 7));
}

TEST(Forbidden, OverlineAndFive) {
    // XXX.XX: the gap makes six.
    setup({{3, 7}, {4, 7}, {5, 7}, {7, 7}, {8, 7}}, {});
    EXPECT_EQ(square_class[BLACK][sq(6, 7)], CLASS_OVERLINE);
    EXPECT_TRUE(forbidden_at(6, 7));
    // An exact five is never forbidden, even when it also makes a double four
    // on other lines or an overline elsewhere.
    setup({{3, 7}, {4, 7}, {5, 7}, {6, 7}, {7, 8}, {7, 9}, {7, 10}, {8, 8}, {9, 9}, {10, 10}}, {});
    EXPECT_EQ(square_class[BLACK][CENTRE], CLASS_FIVE);
    EXPECT_FALSE(forbidden_at(7, 7));
    setup({{3, 7}, {4, 7}, {5, 7}, {6, 7}, {7, 2}, {7, 3}, {7, 4}, {7, 5}, {7, 6}}, {});
    EXPECT_EQ(square_class[BLACK][CENTRE], CLASS_FIVE);
    EXPECT_FALSE(forbidden_at(7, 7));
    // Next to a black run already six long the tables give nothing at all.
    setup({{1, 3}, {2, 3}, {3, 3}, {4, 3}, {5, 3}, {6, 3}}, {});
    EXPECT_EQ(line_shape[BLACK][0][sq(7, 3)], 0);
    EXPECT_FALSE(forbidden_at(7, 3));
    // Occupied squares are never forbidden.
    EXPECT_FALSE(forbidden_at(1, 3));
}

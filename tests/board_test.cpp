// The line tables, the class table and the incremental update: table facts,
// examples worked by hand, and the incremental state checked against a
// from-scratch recomputation over random games.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

namespace {

// Shapes of a segment given as a string of 'X' (own) and '.' (empty); shape
// 10 prints as 'A'.
std::string classify(const std::string& segment, uint8_t colour) {
    engine_ready();
    unsigned mask = 0;
    for (size_t k = 0; k < segment.size(); ++k)
        if (segment[k] == 'X') mask |= 1u << k;
    const int len = int(segment.size());
    std::string out;
    const uint8_t* row = line_table[colour][len] + mask * unsigned(len);
    for (int k = 0; k < len; ++k) out += row[k] == 10 ? 'A' : char('0' + row[k]);
    return out;
}

int class_of(uint8_t colour, int s0, int s1, int s2, int s3) {
    engine_ready();
    return class_table[colour][s3 << 12 | s2 << 8 | s1 << 4 | s0];
}

std::string row_shapes(uint8_t colour, int row) {
    std::string out;
    for (int c = 0; c < 15; ++c) out += char('0' + line_shape[colour][0][row * 16 + c]);
    return out;
}

} // namespace

TEST(LineTables, WindowTableIsMirrorSymmetric) {
    for (int index = 0; index < 128; ++index) {
        const int left = index >> 6 & 1, right = index >> 5 & 1, stones = index & 31;
        int reversed = 0;
        for (int i = 0; i < 5; ++i)
            if (stones >> i & 1) reversed |= 1 << (4 - i);
        const int mirror = right * 64 + left * 32 + reversed;
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(window_table[index][i], window_table[mirror][4 - i]) << "row " << index;
            EXPECT_LE(window_table[index][i], SHAPE_FIVE);
            if (stones >> (4 - i) & 1) {
                EXPECT_EQ(window_table[index][i], 0) << "row " << index;
            }
        }
    }
}

TEST(LineTables, ClassifierExamples) {
    for (uint8_t colour : {WHITE, BLACK}) {
        EXPECT_EQ(classify(".....", colour), "00000");
        EXPECT_EQ(classify("...............", colour), "011111111111110");
        EXPECT_EQ(classify("X.....", colour), "011110");
        EXPECT_EQ(classify(".XXXX.", colour), "800008");
        EXPECT_EQ(classify("..XXX..", colour), "6700076");
        EXPECT_EQ(classify("...XX...", colour), "34400443");
        EXPECT_EQ(classify("X.X.X.X", colour), "050A050");
    }
    EXPECT_EQ(classify("XXX.XX", WHITE), "000800");
    EXPECT_EQ(classify("XXX.XX", BLACK), "000900");
    EXPECT_EQ(classify(".XXXXX.", WHITE), "8000008");
    EXPECT_EQ(classify(".XXXXX.", BLACK), "9000009");
    EXPECT_EQ(classify("X.XX.X", WHITE), "050050");
    EXPECT_EQ(classify("X.XX.X", BLACK), "000000");
    EXPECT_EQ(classify(".X.XX.X.", WHITE), "50700705");
    EXPECT_EQ(classify(".X.XX.X.", BLACK), "50500505");
    EXPECT_EQ(classify(".X...X.", WHITE), "1033301");
    EXPECT_EQ(classify(".X...X.", BLACK), "0033300");
    // Segments shorter than five have no table and never get a shape.
    EXPECT_EQ(line_table[WHITE][4], nullptr);
    EXPECT_EQ(line_table[BLACK][0], nullptr);
}

TEST(ClassTable, Examples) {
    struct Case {
        int s0, s1, s2, s3, black, white;
    };
    const Case cases[] = {
        {8, 9, 0, 0, 15, 15}, {9, 7, 0, 0, 16, 15}, {9, 10, 0, 0, 16, 15}, {10, 0, 0, 0, 13, 13},
        {5, 5, 0, 0, 13, 13}, {7, 5, 0, 0, 13, 13}, {7, 4, 4, 0, 12, 14},  {5, 4, 4, 0, 12, 11},
        {7, 4, 0, 0, 14, 14}, {6, 4, 0, 0, 11, 11}, {4, 4, 0, 0, 7, 7},    {5, 2, 0, 0, 9, 9},
        {6, 0, 0, 0, 9, 9},   {6, 3, 3, 3, 9, 9},   {5, 1, 1, 1, 8, 8},    {4, 3, 1, 0, 6, 6},
        {4, 1, 1, 1, 5, 5},   {3, 2, 0, 0, 4, 4},   {3, 0, 0, 0, 3, 3},    {2, 1, 0, 0, 2, 2},
        {1, 0, 0, 0, 1, 1},   {0, 0, 0, 0, 0, 0},   {8, 0, 10, 9, 15, 15}, {0, 0, 0, 9, 16, 15},
    };
    for (const Case& c : cases) {
        // The class does not depend on which direction holds which shape.
        EXPECT_EQ(class_of(BLACK, c.s0, c.s1, c.s2, c.s3), c.black) << c.s0 << c.s1 << c.s2 << c.s3;
        EXPECT_EQ(class_of(BLACK, c.s3, c.s2, c.s1, c.s0), c.black) << c.s0 << c.s1 << c.s2 << c.s3;
        EXPECT_EQ(class_of(WHITE, c.s0, c.s1, c.s2, c.s3), c.white) << c.s0 << c.s1 << c.s2 << c.s3;
    }
    for (int colour = 0; colour < 2; ++colour)
        for (int index = 0; index < 65536; ++index) {
            ASSERT_NE(class_table[colour][index], CLASS_UNUSED);
            if (colour == WHITE) {
                ASSERT_NE(class_table[colour][index], CLASS_FOUR_THREE_THREE);
                ASSERT_NE(class_table[colour][index], CLASS_OVERLINE);
            }
        }
}

TEST(EngineBoard, GeometryAndReset) {
    engine_ready();
    for (int d = 0; d < 4; ++d) EXPECT_EQ(edge_back[d][0], 0);
    EXPECT_EQ(edge_fwd[2][0], 0);
    const uint8_t centre_expected[4] = {7, 112, 105, 119};
    for (int d = 0; d < 4; ++d) {
        EXPECT_EQ(edge_back[d][CENTRE], centre_expected[d]);
        EXPECT_EQ(edge_fwd[d][CENTRE], centre_expected[d]);
    }
    // Every line walk stays on the board and stays on its line.
    for (int s = 0; s < 240; ++s) {
        if ((s & 15) == 15) continue;
        for (int d = 0; d < 4; ++d) {
            const int lo = s - edge_back[d][s], hi = s + edge_fwd[d][s];
            ASSERT_TRUE(on_board(unsigned(lo)) && on_board(unsigned(hi)));
            ASSERT_EQ((hi - lo) % dir_step[d], 0);
        }
    }

    set_diagram("");
    place_stone(CENTRE, BLACK);
    remove_stone();
    EXPECT_EQ(ply, 0);
    EXPECT_EQ(hash_index, 0u);
    EXPECT_EQ(hash_lock, 0u);
    // The centre's row is settled now: its end squares computed to 0, the
    // other lines keep the reset value 1.
    EXPECT_EQ(row_shapes(BLACK, 7), "011111111111110");
    EXPECT_EQ(row_shapes(WHITE, 7), "011111111111110");
    EXPECT_EQ(row_shapes(BLACK, 6), "111111111111111");

    reset_engine_board();
    for (int s = 0; s < 256; ++s) {
        ASSERT_EQ(cells[s], EMPTY);
        for (int c = 0; c < 2; ++c) {
            ASSERT_EQ(square_class[c][s], 1);
            for (int d = 0; d < 4; ++d) ASSERT_EQ(line_shape[c][d][s], 1);
        }
    }
}

TEST(EngineBoard, LineUpdateExamples) {
    set_diagram("");
    place_stone(sq(2, 0), BLACK);
    EXPECT_EQ(row_shapes(BLACK, 0), "120222111111110");
    EXPECT_EQ(row_shapes(WHITE, 0), "000011111111110");

    set_diagram("");
    place_stone(CENTRE, BLACK);
    EXPECT_EQ(row_shapes(BLACK, 7), "011122202221110");

    // Four black stones against a white one: the five point is recorded.
    set_diagram("XXXX.O");
    EXPECT_EQ(line_shape[BLACK][0][sq(4, 0)], SHAPE_FIVE);
    EXPECT_EQ(square_class[BLACK][sq(4, 0)], CLASS_FIVE);
    EXPECT_EQ(five_square[BLACK], sq(4, 0));
    EXPECT_EQ(class_count[BLACK][CLASS_FIVE], 1);
    // A stretch of four between a stone and the edge has no shapes for white.
    for (int c = 0; c < 4; ++c) EXPECT_EQ(line_shape[WHITE][0][sq(c, 0)], 0);
}

TEST(EngineBoard, IncrementalStateMatchesRecomputation) {
    engine_ready();
    std::mt19937 rng(12345);
    for (int game = 0; game < 60; ++game) {
        reset_engine_board();
        std::set<std::pair<int, int>> settled; // (direction, first square of the line)
        std::vector<Square> placed;
        auto settle = [&](Square m) {
            for (int d = 0; d < 4; ++d) settled.insert({d, m - edge_back[d][m]});
        };
        auto check = [&]() {
            int counts[2][CLASS_SLOTS] = {};
            for (int s = 0; s < 240; ++s) {
                if ((s & 15) == 15) continue;
                for (int c = 0; c < 2; ++c) {
                    uint8_t expected[4];
                    for (int d = 0; d < 4; ++d) {
                        const int lo = s - edge_back[d][s], hi = s + edge_fwd[d][s];
                        const int step = dir_step[d];
                        if (cells[s] != EMPTY) {
                            expected[d] = 0;
                        } else if (!settled.count({d, lo})) {
                            expected[d] = 1;
                        } else {
                            int a = s, z = s;
                            while (a != lo && cells[a - step] != 1 - c) a -= step;
                            while (z != hi && cells[z + step] != 1 - c) z += step;
                            const int len = (z - a) / step + 1;
                            if (len < 5) {
                                expected[d] = 0;
                            } else {
                                unsigned mask = 0;
                                for (int k = 0; k < len; ++k)
                                    if (cells[a + k * step] == c) mask |= 1u << k;
                                expected[d] = line_table[c][len][mask * unsigned(len) + unsigned((s - a) / step)];
                            }
                        }
                        ASSERT_EQ(line_shape[c][d][s], expected[d])
                            << "game " << game << " square " << s << " colour " << c << " dir " << d;
                    }
                    const uint8_t k = class_table[c][expected[3] << 12 | expected[2] << 8 |
                                                     expected[1] << 4 | expected[0]];
                    ASSERT_EQ(square_class[c][s], k) << "square " << s;
                    ++counts[c][k];
                }
            }
            for (int c = 0; c < 2; ++c)
                for (int k = 2; k <= 16; ++k) ASSERT_EQ(class_count[c][k], counts[c][k]) << c << " " << k;
            uint32_t index = 0, lock = 0;
            for (int s = 0; s < 240; ++s)
                if (cells[s] != EMPTY) {
                    index ^= zobrist_index[cells[s]][s];
                    lock ^= zobrist_lock[cells[s]][s];
                }
            ASSERT_EQ(hash_index, index);
            ASSERT_EQ(hash_lock, lock);
        };
        auto random_empty = [&]() {
            for (;;) {
                const int s = int(rng() % 240);
                if ((s & 15) != 15 && cells[s] == EMPTY) return Square(s);
            }
        };
        // A settled board, so that every unwind must restore it byte for byte.
        const bool settle_first = game % 2 == 0;
        if (settle_first) {
            settle_all_lines();
            for (int s = 0; s < 240; ++s)
                if ((s & 15) != 15) settle(Square(s));
        }
        const int moves = 20 + int(rng() % 100);
        for (int i = 0; i < moves && ply < 200; ++i) {
            const BoardSnapshot before = BoardSnapshot::take();
            const int nested = 1 + int(rng() % 4);
            for (int k = 0; k < nested; ++k) {
                const Square m = random_empty();
                place_stone(m, uint8_t(rng() % 2));
                settle(m);
                if (i % 5 == 0) check();
            }
            for (int k = 0; k < nested; ++k) remove_stone();
            if (settle_first) {
                ASSERT_TRUE(BoardSnapshot::take() == before) << "game " << game;
            }
            const Square m = random_empty();
            place_stone(m, uint8_t(ply & 1 ? WHITE : BLACK));
            settle(m);
            placed.push_back(m);
        }
        check();
    }
}

TEST(EngineBoard, SameStonesInAnyOrderGiveTheSameState) {
    engine_ready();
    std::mt19937 rng(99);
    for (int trial = 0; trial < 20; ++trial) {
        std::vector<std::pair<Square, uint8_t>> stones;
        std::set<int> used;
        while (stones.size() < 40) {
            const int s = int(rng() % 240);
            if ((s & 15) == 15 || used.count(s)) continue;
            used.insert(s);
            stones.push_back({Square(s), uint8_t(stones.size() & 1)});
        }
        reset_engine_board();
        for (auto& st : stones) place_stone(st.first, st.second);
        const BoardSnapshot first = BoardSnapshot::take();
        std::shuffle(stones.begin(), stones.end(), rng);
        reset_engine_board();
        for (auto& st : stones) place_stone(st.first, st.second);
        ASSERT_TRUE(BoardSnapshot::take() == first) << "trial " << trial;
    }
}

// undo_stone takes a trial stone back without a trace: the board is then what
// a fresh replay of the stones still on it gives, unsettled lines included
// (remove_stone leaves the lines it settled), and remove_stone does the same
// while restore_on_remove is set.
TEST(EngineBoard, UndoLeavesNoTraceOfATrialStone) {
    engine_ready();
    std::mt19937 rng(4242);
    // The snapshot, and the shape keys and four sets behind it.
    auto extras = [] {
        const uint8_t* k = reinterpret_cast<const uint8_t*>(shape_key);
        std::vector<uint8_t> s(k, k + sizeof shape_key);
        const uint8_t* f = reinterpret_cast<const uint8_t*>(four_squares);
        s.insert(s.end(), f, f + sizeof four_squares);
        return s;
    };
    for (int game = 0; game < 40; ++game) {
        restore_on_remove = game % 4 == 3;
        reset_engine_board();
        for (int i = 0; i < 60 && ply < 200; ++i) {
            const int nested = 1 + int(rng() % 4);
            for (int k = 0; k < nested; ++k) {
                Square m;
                do m = Square(rng() % 240);
                while ((m & 15) == 15 || cells[m] != EMPTY);
                place_stone(m, uint8_t(rng() % 2));
            }
            for (int k = 0; k < nested; ++k) {
                if (restore_on_remove) {
                    remove_stone();
                } else {
                    undo_stone();
                }
            }
            Square m;
            do m = Square(rng() % 240);
            while ((m & 15) == 15 || cells[m] != EMPTY);
            place_stone(m, uint8_t(ply & 1));
            if (i % 10 != 9) continue;
            const BoardSnapshot now = BoardSnapshot::take();
            const std::vector<uint8_t> now_extras = extras();
            const std::vector<Square> stones(move_stack, move_stack + ply);
            reset_engine_board();
            for (size_t k = 0; k < stones.size(); ++k) place_stone(stones[k], uint8_t(k & 1));
            ASSERT_TRUE(BoardSnapshot::take() == now) << "game " << game << " move " << i;
            ASSERT_TRUE(extras() == now_extras) << "game " << game << " move " << i;
        }
    }
    restore_on_remove = false;
}

TEST(EngineBoard, ShapeWithBlockerReadsWhatAPlacementWouldLeave) {
    engine_ready();
    std::mt19937 rng(777);
    int compared = 0;
    for (int game = 0; game < 30; ++game) {
        reset_engine_board();
        const int stones = 8 + int(rng() % 50);
        while (ply < stones) {
            const Square m = Square(rng() % 240);
            if ((m & 15) != 15 && cells[m] == EMPTY) place_stone(m, uint8_t(rng() % 2));
        }
        for (int trial = 0; trial < 40; ++trial) {
            const Square p = Square(rng() % 240);
            const int d = int(rng() % 4), colour = int(rng() % 2);
            if ((p & 15) == 15 || cells[p] != EMPTY) continue;
            // q anywhere on the line of direction d through p.
            const int first = p - edge_back[d][p];
            const int count = (edge_back[d][p] + edge_fwd[d][p]) / dir_step[d] + 1;
            const Square q = Square(first + int(rng() % unsigned(count)) * dir_step[d]);
            if (q == p || cells[q] != EMPTY) continue;
            const uint8_t expected = shape_with_blocker(colour, d, p, q);
            place_stone(q, uint8_t(1 - colour));
            EXPECT_EQ(line_shape[colour][d][p], expected) << "game " << game;
            undo_stone();
            ++compared;
        }
    }
    EXPECT_GT(compared, 100);
}

// The think driver: set-up, the fixed answers before any search, the hash
// keys, and the guarantee that a think always names a legal square.
#include <gtest/gtest.h>

#include <climits>
#include <initializer_list>
#include <utility>

#include "test_support.h"
#include "core/timing.h"

namespace {

GameRecord record_of(std::initializer_list<std::pair<int, int>> moves) {
    GameRecord r{};
    for (auto [c, row] : moves) r.moves[r.count++] = sq(c, row);
    return r;
}

GameRecord record_of_letters(const char* text) {
    GameRecord r{};
    for (const char* p = text; p[0] && p[1]; p += 2) {
        if (*p == ' ') {
            --p;
            continue;
        }
        r.moves[r.count++] = Square((p[1] - 'A') * 16 + (p[0] - 'A'));
    }
    return r;
}

void give_budget(int32_t ms) {
    think_start = clock_ms();
    think_budget = ms;
}

} // namespace

TEST(Engine, GeneratorAndHashKeys) {
    // The generator from its default state, and keys rebuilt from it byte by
    // byte: the keys are the same in every run.
    engine_ready();
    uint32_t state = 1;
    auto next = [&state]() {
        state = state * 214013u + 2531011u;
        return int((state >> 16) & 0x7FFF);
    };
    const int first[5] = {41, 18467, 6334, 26500, 19169};
    for (int v : first) EXPECT_EQ(next(), v);
    EXPECT_EQ(zobrist_index[0][0], 0x84BE2329u);
    state = 1;
    uint32_t index_keys[2][256], lock_keys[2][256];
    for (auto* keys : {index_keys, lock_keys})
        for (int c = 0; c < 2; ++c)
            for (int s = 0; s < 256; ++s) {
                uint32_t key = 0;
                for (int b = 0; b < 4; ++b) key |= uint32_t(next() & 0xFF) << (8 * b);
                keys[c][s] = key;
            }
    EXPECT_EQ(std::memcmp(index_keys, zobrist_index, sizeof index_keys), 0);
    EXPECT_EQ(std::memcmp(lock_keys, zobrist_lock, sizeof lock_keys), 0);
}

TEST(Engine, AnswersBeforeAnySearch) {
    give_budget(1000);
    GameRecord empty{};
    EXPECT_EQ(think(empty), CENTRE);

    // A full board has no move; neither has a record with an off-board square.
    GameRecord full{};
    for (int s = 0; s < 240; ++s)
        if ((s & 15) != 15) full.moves[full.count++] = Square(s);
    ASSERT_EQ(full.count, 225);
    EXPECT_EQ(think(full), NO_MOVE);
    for (Square bad : {Square(15), Square(240)}) {
        GameRecord r = record_of({{7, 7}, {8, 8}});
        r.moves[r.count++] = bad;
        EXPECT_EQ(think(r), NO_MOVE);
        EXPECT_EQ(engine_busy, 0);
    }

    // Black to move, both sides with a four: black completes its own five.
    GameRecord both = record_of({{0, 0}, {0, 2}, {1, 0}, {1, 2}, {2, 0}, {2, 2}, {3, 0}, {3, 2}});
    EXPECT_EQ(think(both), sq(4, 0));
    // White to move without a five of its own blocks black's.
    GameRecord block = record_of({{0, 0}, {0, 2}, {1, 0}, {1, 2}, {2, 0}, {9, 9}, {3, 0}});
    EXPECT_EQ(think(block), sq(4, 0));

    // Two five squares: the column-major scan takes (3,9) before (4,2),
    // although (4,2) comes first in Square order.
    GameRecord two = record_of({{3, 10}, {13, 13}, {3, 11}, {11, 13}, {3, 12}, {13, 11}, {3, 13},
                                {0, 0},  {5, 2},   {14, 0}, {6, 2},   {0, 14}, {7, 2},   {14, 14},
                                {8, 2},  {9, 13}});
    EXPECT_EQ(think(two), sq(3, 9));

    // A second think while one runs gets no move at once.
    engine_busy = 1;
    EXPECT_EQ(think(empty), NO_MOVE);
    engine_busy = 0;
}

TEST(Engine, SolverWinIsPlayedWithoutSearch) {
    // Black: an open three on row 7 plus a four-three ahead; white scattered.
    GameRecord r = record_of_letters("HH AA IH AO JH OA");
    give_budget(5000);
    const Square m = think(r);
    EXPECT_TRUE(m == sq(6, 7) || m == sq(10, 7)) << int(m);
    EXPECT_EQ(node_count, 0u);
    EXPECT_EQ(answer_square, m);
}

TEST(Engine, ThinkAlwaysNamesALegalSquare) {
    // With no time at all, on positions where the search cannot finish its
    // first iteration, the answer is still an empty square (and not a
    // forbidden one for black).
    const char* games[] = {
        "HHHIIHGHIJIGJIHGJHKHJGJJIIKG",
        "HHIIGJJHHJIJIKGIHIHKIHJGJIHGFK",
        "HHGIJGKHIHKFJIKGKIJFHGGFHIHJJH",
        "HHJHHJJJHIHKJGJIIGHGGIFJIHGJIEJK",
        "HHIGGI",
    };
    for (int32_t budget : {-50, 0, 1}) {
        for (const char* text : games) {
            GameRecord r = record_of_letters(text);
            give_budget(budget);
            const Square m = think(r);
            ASSERT_TRUE(on_board(m)) << text << " budget " << budget;
            load_position(r);
            EXPECT_EQ(cells[m], EMPTY) << text;
            if ((r.count & 1) == 0) {
                EXPECT_FALSE(is_forbidden(m)) << text;
            }
        }
    }
    // A think leaves no trace on a record replayed afterwards.
    GameRecord r = record_of_letters(games[0]);
    load_position(r);
    settle_all_lines();
    const BoardSnapshot before = BoardSnapshot::take();
    give_budget(200);
    think(r);
    load_position(r);
    settle_all_lines();
    EXPECT_TRUE(BoardSnapshot::take() == before);
}

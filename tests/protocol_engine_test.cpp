// The engine through the protocol on real positions: a position with a win by
// continuous fours, sent as a BOARD block, is answered with the first move of
// a winning line (checked by playing it out against every forced reply).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_process.h"
#include "four_checker.h"
#include "fours_data.h"

TEST(ProtocolEngine, BoardWithAWinByFoursIsAnsweredWithAWinningMove) {
    const std::vector<DataLine> lines = read_data("vcf_wins.txt");
    ASSERT_GE(lines.size(), 8u);
    FourChecker checker(false);
    int black_to_move = 0, white_to_move = 0;
    for (size_t i = 0; i < lines.size(); i += 5) {
        const DataLine& line = lines[i];
        GameRecord record;
        ASSERT_TRUE(load_legal(line, record)) << line.where;
        const uint8_t side = uint8_t(~record.count & 1);
        (side == BLACK ? black_to_move : white_to_move)++;

        EngineProcess engine;
        engine.send("START 15");
        ASSERT_EQ(engine.line(), "MESSAGE kq");
        ASSERT_EQ(engine.line(), "OK");
        engine.send("INFO timeout_turn 5000");
        std::string block = "BOARD\n";
        for (int k = 0; k < record.count; ++k) {
            const Square m = record.moves[k];
            const bool own = uint8_t(~k & 1) == side;
            block += std::to_string(m & 15) + "," + std::to_string(m >> 4) + (own ? ",1\n" : ",2\n");
        }
        engine.write_raw(block + "DONE\n");
        const std::vector<std::string> reply = engine.reply();
        int x = -1, y = -1;
        ASSERT_EQ(std::sscanf(reply.back().c_str(), "%d,%d", &x, &y), 2) << line.where;
        const Square m = Square(y * 16 + x);

        ASSERT_TRUE(load_position(record));
        ASSERT_TRUE(on_board(m) && cells[m] == EMPTY) << line.where;
        EXPECT_TRUE(checker.move_wins(side, m, FourChecker::DEFAULT_DEPTH))
            << line.where << ": " << name_of(m) << " does not start a win by fours";
        engine.send("END");
        int status = -1;
        engine.finish(status);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(engine.error_output(), "");
    }
    EXPECT_GT(black_to_move, 0);
    EXPECT_GT(white_to_move, 0);
}

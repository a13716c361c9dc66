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

TEST(ProtocolEngine, TinyBudgetsStillAnswerALegalMove) {
    // Budgets that are spent before the first iteration can finish: the reply
    // is still an empty square of the manager's board, never a pass or an
    // occupied cell, game after game (stale answers from earlier thinks must
    // not leak into later ones).
    const char* const games[] = {
        "HH HI IH GH IJ IG JI HG JH KH JG JJ II KG",
        "HH GI JG KH IH KF JI KG KI JF HG GF HI HJ JH",
        "HH IG GI JH HF II HG HE HJ",
    };
    for (const char* setting : {"INFO timeout_turn 50", "INFO time_left 19", "INFO timeout_turn 101"}) {
        EngineProcess engine;
        engine.send("START 15");
        ASSERT_EQ(engine.line(), "MESSAGE kq");
        ASSERT_EQ(engine.line(), "OK");
        engine.send(setting);
        for (const char* game : games) {
            engine.send("RESTART");
            ASSERT_EQ(engine.line(), "MESSAGE kq");
            ASSERT_EQ(engine.line(), "OK");
            GameRecord record{};
            ASSERT_TRUE(parse_moves(game, record));
            std::string block = "BOARD\n";
            for (int k = 0; k < record.count; ++k) {
                const Square m = record.moves[k];
                block += std::to_string(m & 15) + "," + std::to_string(m >> 4) +
                         ((record.count - k) % 2 == 1 ? ",1\n" : ",2\n");
            }
            engine.write_raw(block + "DONE\n");
            for (int turn = 0; turn < 3; ++turn) {
                const std::vector<std::string> reply = engine.reply();
                for (const std::string& l : reply) EXPECT_EQ(l.find("ERROR"), std::string::npos) << l;
                int x = -1, y = -1;
                ASSERT_EQ(std::sscanf(reply.back().c_str(), "%d,%d", &x, &y), 2) << setting;
                const Square m = Square(y * 16 + x);
                ASSERT_TRUE(on_board(m));
                for (int k = 0; k < record.count; ++k) ASSERT_NE(record.moves[k], m) << setting << " " << game;
                record.moves[record.count++] = m;
                // The opponent answers on the first empty square.
                Square reply_square = 0;
                for (Square s = 0;; ++s) {
                    bool used = false;
                    for (int k = 0; k < record.count; ++k) used |= record.moves[k] == s;
                    if (on_board(s) && !used) {
                        reply_square = s;
                        break;
                    }
                }
                record.moves[record.count++] = reply_square;
                engine.send("TURN " + std::to_string(reply_square & 15) + "," +
                            std::to_string(reply_square >> 4));
            }
            engine.reply();
        }
        engine.send("END");
        int status = -1;
        engine.finish(status);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(engine.error_output(), "");
    }
}

TEST(ProtocolEngine, VerdictLinesComeInReplyOrder) {
    // The opponent's TURN completes five: the verdict comes before the
    // engine's answer. Then a fresh game where the engine completes its own
    // five: the verdict follows the move letters and precedes the reply.
    EngineProcess engine;
    engine.send("START 15");
    ASSERT_EQ(engine.line(), "MESSAGE kq");
    ASSERT_EQ(engine.line(), "OK");
    engine.send("INFO timeout_turn 1000");
    // Black (the manager) has an open four on row 0; the engine blocks one end.
    engine.write_raw("BOARD\n1,0,2\n14,14,1\n2,0,2\n14,12,1\n3,0,2\n14,10,1\n4,0,2\nDONE\n");
    std::vector<std::string> reply = engine.reply();
    ASSERT_EQ(reply.back(), "0,0");
    engine.send("TURN 5,0");
    reply = engine.reply();
    ASSERT_GE(reply.size(), 2u);
    EXPECT_EQ(reply[0], "MESSAGE Five in a row.");

    engine.send("RESTART");
    ASSERT_EQ(engine.line(), "MESSAGE kq");
    ASSERT_EQ(engine.line(), "OK");
    engine.write_raw("BOARD\n0,0,1\n0,5,2\n1,0,1\n1,5,2\n2,0,1\n2,5,2\n3,0,1\n14,14,2\nDONE\n");
    reply = engine.reply();
    const std::vector<std::string> expected = {"MESSAGE computer: #EA", "MESSAGE Five in a row.", "4,0"};
    EXPECT_EQ(reply, expected);
    engine.send("END");
    int status = -1;
    EXPECT_EQ(engine.finish(status), "MESSAGE #\n");
    EXPECT_EQ(status, 0);
}

// Bad input end to end, the cases the front-end transcripts leave out: raw
// bytes of every value, a game played on past a five, and take-backs with
// nothing to take. Each line gets its answer and the program goes on.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>

#include "engine_process.h"

TEST(BadInput, BinaryGarbage) {
    EngineProcess e;
    run(e, {{"START 15", OK}, {"INFO timeout_turn 300", ""}});
    // 300 lines of random bytes (every value but the line end, NUL included):
    // none begins with a keyword, so each is one "UNKNOWN command".
    std::mt19937 random(20161207);
    std::string blob, expected;
    for (int i = 0; i < 300; ++i) {
        const int length = int(random() % 300);
        for (int k = 0; k < length; ++k) {
            const char c = char(random() % 256);
            blob += c == '\n' ? '\x7f' : c;
        }
        blob += '\n';
        expected += UNKNOWN;
    }
    e.write_raw(blob);
    EXPECT_TRUE(e.expect_text(expected));
    run(e, {
        // A NUL ends the command where it stands.
        {std::string("ABOUT\0garbage", 13), ABOUT},
        {std::string("TURN 7\0,7", 9), BAD},
        {std::string("\0START 15", 9), UNKNOWN},
        {"\xEF\xBB\xBFSTART 15", UNKNOWN}, // a byte-order mark
        {"\x80\xff\xfe", UNKNOWN},
        // Bytes after a complete pair of coordinates are not read.
        {"PLAY 3,3\xff\x01", "3,3\n"},
        {"TURN \xff", BAD},
        // A block line of garbage ends the block; the think still comes.
        {"BOARD", ""}, {"4,4,1", ""}, {"\x01\x02\xff", BLOCK + "*"},
        {"ABOUT", ABOUT},
    });
    expect_exit(e, "MESSAGE #\n");
}

TEST(BadInput, PlayGoesOnAfterAFiveAndTakebacksWithNothingToTake) {
    EngineProcess e;
    run(e, {
        {"START 15", OK}, {"INFO timeout_turn 300", ""},
        // Nothing recorded yet: no cell to clear, no move to take back.
        {"TAKEBACK 7,7", BAD}, {"TAKEBACK", BAD}, {"TAKEBACK 0,0", BAD},
    });
    std::set<std::string> taken;
    std::vector<Step> steps;
    for (const std::string m : {"0,0", "0,5", "1,0", "1,5", "2,0", "2,5", "3,0", "3,5"}) {
        steps.push_back({"PLAY " + m, m + "\n"});
        taken.insert(m);
    }
    steps.push_back({"PLAY 4,0", "MESSAGE Five in a row.\n4,0\n"});
    taken.insert("4,0");
    run(e, steps);
    // The game is decided but the record stays open: a move of the manager
    // is recorded and answered, and the answers are empty squares.
    for (const std::string request : {"TURN 9,9", "BEGIN", "TURN 11,2", "BEGIN"}) {
        if (request[0] == 'T') taken.insert(request.substr(5));
        e.send(request);
        const std::vector<std::string> reply = e.reply();
        expect_reply(reply);
        EXPECT_TRUE(taken.insert(reply.back()).second) << reply.back() << " was taken";
    }
    run(e, {{"PLAY 12,12", "12,12\n"}, {"PLAY 0,0", "ERROR my move [0,0]\n0,0\n"}});
    expect_exit(e, "MESSAGE #\n");
}

// Found by fuzzing the front end: the engine's move can be one the manager's
// board cannot take. It is recorded all the same, reported, and still sent.
TEST(BadInput, EngineMoveTheManagersBoardCannotTake) {
    EngineProcess e;
    // A declared height of 1 leaves the centre off the manager's board.
    run(e, {{"START 15", OK}, {"RECTSTART 15,1", "ERROR board size must be 15x15\n"},
            {"BEGIN", "MESSAGE computer: #HH\nERROR my move [7,7]\n7,7\n"},
            {"START 15", OK}, {"INFO timeout_turn 300", ""}, {"BOARD", ""}});
    // Every square but the last taken, that one marked as a winning move: the
    // engine has only the marked square to play.
    for (int i = 0; i < 224; ++i)
        e.send(std::to_string(i % 15) + "," + std::to_string(i / 15) + "," +
               std::to_string(1 + i % 2));
    e.send("14,14,3");
    e.send("DONE");
    // Verdicts on the stones of the block may come before and after the move.
    const std::vector<std::string> reply = e.reply();
    ASSERT_GE(reply.size(), 3u);
    EXPECT_NE(std::find(reply.begin(), reply.end(), "MESSAGE computer: #OO"), reply.end());
    EXPECT_EQ(std::vector<std::string>(reply.end() - 2, reply.end()),
              (std::vector<std::string>{"ERROR my move [14,14]", "14,14"}));
    // The move is the record's last: taking it back clears the mark too.
    e.send("TAKEBACK 14,14");
    EXPECT_NE(e.read_until("OK\n").find("OK\n"), std::string::npos);
    run(e, {{"TAKEBACK 14,14", BAD}});
    expect_exit(e, "MESSAGE #\n");
}

// Once black has six in a row, which the record allows after a foul, the
// line tables give the square next to the run nothing at all (not an
// overline): a black stone that lengthens the run draws no verdict. Kept so;
// the game was decided by the earlier foul anyway.
TEST(BadInput, LengtheningAnOverlineAfterTheFoulDrawsNoVerdict) {
    EngineProcess e;
    std::vector<Step> steps = {{"START 15", OK}};
    for (const std::string m : {"0,0", "0,5", "1,0", "2,5", "2,0", "4,5", "3,0", "6,5"})
        steps.push_back({"PLAY " + m, m + "\n"});
    steps.insert(steps.end(), {
        {"PLAY 4,0", "MESSAGE Five in a row.\n4,0\n"}, {"PLAY 8,5", "8,5\n"},
        {"PLAY 5,0", "MESSAGE Forbidden move.\n5,0\n"}, {"PLAY 10,5", "10,5\n"},
        {"PLAY 6,0", "6,0\n"},
    });
    run(e, steps);
    expect_exit(e, "MESSAGE #\n");
}

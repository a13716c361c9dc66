// The protocol front end, end to end: the built engine on pipes, exact reply
// texts, error lines, ordering against the think worker, and the exit path.
// Where a think answers, only what the front end guarantees is checked (the
// reply's shape and its place in the output), not which move was chosen.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine_process.h"
#include "protocol/protocol.h"
#include "timing.h"

namespace {

const std::string ABOUT_LINE =
    "name=\"kq\", author=\"Tavin Orle\", version=\"2016\", country=\"China\", www=\"None\"";

void start_game(EngineProcess& e, int timeout_turn = 300) {
    e.send("START 15");
    ASSERT_EQ(e.line(), "MESSAGE kq");
    ASSERT_EQ(e.line(), "OK");
    e.send("INFO timeout_turn " + std::to_string(timeout_turn));
}

// A think reply: "MESSAGE computer: #XY", any referee lines, then "x,y"
// naming the same square as the letters.
void expect_reply(const std::vector<std::string>& lines) {
    ASSERT_GE(lines.size(), 2u);
    const std::string& first = lines.front();
    ASSERT_EQ(first.rfind("MESSAGE computer: #", 0), 0u) << first;
    ASSERT_EQ(first.size(), 21u) << first;
    const std::string& move = lines.back();
    ASSERT_TRUE(EngineProcess::is_move(move)) << move;
    const int x = std::stoi(move);
    const int y = std::stoi(move.substr(move.find(',') + 1));
    EXPECT_EQ(first[19], char('A' + x));
    EXPECT_EQ(first[20], char('A' + y));
    for (size_t i = 1; i + 1 < lines.size(); ++i) {
        EXPECT_EQ(lines[i].rfind("MESSAGE ", 0), 0u) << lines[i];
    }
}

void expect_clean_exit(EngineProcess& e, const std::string& remaining) {
    e.close_input();
    EXPECT_EQ(e.rest(), remaining);
    EXPECT_EQ(e.exit_status(), 0);
    EXPECT_EQ(e.error_output(), "");
}

std::string row(int r, const std::string& points) {
    return std::string("\t") + char('a' + r) + " " + points;
}

} // namespace

TEST(Protocol, StartAndRectstartSizes) {
    EngineProcess e;
    for (const char* ok : {"start 15", "START 15 15", "START 15,15", "RECTSTART 15,15",
                           "RECTSTART 15 , 15", "rectstart 15, 15", "START 015"}) {
        e.send(ok);
        EXPECT_EQ(e.line(), "MESSAGE kq") << ok;
        EXPECT_EQ(e.line(), "OK") << ok;
    }
    for (const char* bad :
         {"START 20", "RECTSTART 15,20", "START -15", "START 99999999999999999999"}) {
        e.send(bad);
        EXPECT_EQ(e.line(), "ERROR board size must be 15x15") << bad;
    }
    for (const char* bad : {"RECTSTART 15,", "RECTSTART x", "RECTSTART 15 15"}) {
        e.send(bad);
        EXPECT_EQ(e.line(), "ERROR bad RECTSTART parameters") << bad;
    }
    // A failed RECTSTART keeps the number it read; a START without numbers
    // keeps both.
    e.send("START 20");
    EXPECT_EQ(e.line(), "ERROR board size must be 15x15");
    e.send("RECTSTART 15");
    EXPECT_EQ(e.line(), "ERROR bad RECTSTART parameters");
    e.send("START x");
    EXPECT_EQ(e.line(), "ERROR board size must be 15x15");
    e.send("RECTSTART 20,15");
    EXPECT_EQ(e.line(), "ERROR board size must be 15x15");
    e.send("RECTSTART 15 ,x");
    EXPECT_EQ(e.line(), "ERROR bad RECTSTART parameters");
    e.send("START x");
    EXPECT_EQ(e.line(), "MESSAGE kq");
    EXPECT_EQ(e.line(), "OK");
    // One registration however many size commands: one 'MESSAGE #' at exit.
    expect_clean_exit(e, "MESSAGE #\n");
}

TEST(Protocol, CommandsBeforeAnySize) {
    {
        EngineProcess e;
        e.send("START 0");
        EXPECT_EQ(e.line(), "ERROR board size must be 15x15");
        EXPECT_EQ(e.line(), "ERROR board size must be 15x15");
        e.send("START 15");
        EXPECT_EQ(e.line(), "MESSAGE kq");
        EXPECT_EQ(e.line(), "OK");
        expect_clean_exit(e, "MESSAGE #\n");
    }
    {
        // The fallback size lets the move through, but no game was opened, so
        // the record takes nothing: the engine answers the empty board and
        // finds the manager's cell taken.
        EngineProcess e;
        e.send("TURN 7,7");
        EXPECT_EQ(e.line(), "ERROR board size must be 15x15");
        const std::vector<std::string> expected = {"MESSAGE computer: #HH",
                                                   "ERROR my move [7,7]", "7,7"};
        EXPECT_EQ(e.lines_through_move(), expected);
        e.send("END");
        EXPECT_EQ(e.rest(), "MESSAGE #\n");
        EXPECT_EQ(e.exit_status(), 0);
    }
    for (const char* end : {"END", "endgame"}) {
        EngineProcess e;
        e.send(end);
        e.send("ABOUT");
        EXPECT_EQ(e.rest(), "") << end;
        EXPECT_EQ(e.exit_status(), 0);
    }
    {
        EngineProcess e;
        expect_clean_exit(e, "");
    }
}

TEST(Protocol, LineReadingAndUnknownCommands) {
    EngineProcess e;
    start_game(e);
    e.send("ABOUT");
    EXPECT_EQ(e.line(), ABOUT_LINE);
    e.write_raw("about\r\n");
    EXPECT_EQ(e.line(), ABOUT_LINE);
    for (const char* unknown : {"", "STAR", " ABOUT", "\r", "hello"}) {
        e.send(unknown);
        EXPECT_EQ(e.line(), "UNKNOWN command") << unknown;
    }
    // A line keeps 65535 characters: the 2 at index 65534 survives, the one
    // at index 65535 is cut, and the rest of that line is not a new command.
    const std::string head = "PLAY 1,";
    e.send(head + std::string(65534 - head.size(), ' ') + "2");
    EXPECT_EQ(e.line(), "1,2");
    e.send(head + std::string(65535 - head.size(), ' ') + "3" + std::string(9000, ' ') + "ABOUT");
    EXPECT_EQ(e.line(), "ERROR bad coordinates");
    e.write_raw("PLAY 4,4\r\n");
    EXPECT_EQ(e.line(), "4,4");
    e.send("ENDGAME");
    EXPECT_EQ(e.rest(), "MESSAGE #\n");
    EXPECT_EQ(e.exit_status(), 0);
}

TEST(Protocol, MovesAndCoordinateErrors) {
    EngineProcess e;
    start_game(e);
    for (const char* bad : {"TURN 15,0", "TURN -1,3", "TURN 7", "TURN 7 ,7", "TURN 4294967303,7",
                            "TURN x,1", "PLAY 0,15", "PLAY", "TAKEBACK 99999999999999,0"}) {
        e.send(bad);
        EXPECT_EQ(e.line(), "ERROR bad coordinates") << bad;
    }
    // No think was started by the refused TURNs: PLAY's echo comes next.
    e.send("PLAY 7,7");
    EXPECT_EQ(e.line(), "7,7");
    e.send("PLAY 7,7");
    EXPECT_EQ(e.line(), "ERROR my move [7,7]");
    EXPECT_EQ(e.line(), "7,7");
    e.send("PLAY +1, 2");
    EXPECT_EQ(e.line(), "1,2");
    e.send("TURN 7,7");
    EXPECT_EQ(e.line(), "ERROR opponents's move [7,7]");
    expect_reply(e.lines_through_move());
    e.send("turn 14,0");
    expect_reply(e.lines_through_move());
    e.send("BEGIN");
    expect_reply(e.lines_through_move());
    expect_clean_exit(e, "MESSAGE #\n");
}

TEST(Protocol, WaitingCommandsFollowTheReply) {
    {
        EngineProcess e;
        start_game(e, 1000);
        e.send("TURN 7,7");
        for (int i = 0; i < 40; ++i) e.send("ABOUT");
        e.send("INFO timeout_turn 300");
        e.send("RESTART");
        // ABOUT does not wait and may come on either side of the reply, but
        // only as whole lines; RESTART waits and comes after it.
        std::vector<std::string> reply;
        int abouts = 0;
        for (std::string l = e.line(); l != "MESSAGE kq"; l = e.line()) {
            ASSERT_NE(l[0], '<') << l;
            if (l == ABOUT_LINE) {
                ++abouts;
            } else {
                reply.push_back(l);
            }
        }
        EXPECT_EQ(abouts, 40);
        expect_reply(reply);
        EXPECT_EQ(e.line(), "OK");
        // END during a think: the reply first, then the exit hook.
        e.send("TURN 7,7");
        e.send("END");
        expect_reply(e.lines_through_move());
        EXPECT_EQ(e.rest(), "MESSAGE #\n");
        EXPECT_EQ(e.exit_status(), 0);
        EXPECT_EQ(e.error_output(), "");
    }
    {
        // End of input during a think ends the same way.
        EngineProcess e;
        start_game(e, 500);
        e.send("BOARD");
        e.send("7,7,1");
        e.send("8,7,2");
        e.send("DONE");
        e.close_input();
        expect_reply(e.lines_through_move());
        EXPECT_EQ(e.rest(), "MESSAGE #\n");
        EXPECT_EQ(e.exit_status(), 0);
        EXPECT_EQ(e.error_output(), "");
    }
}

TEST(Protocol, BoardBlocks) {
    EngineProcess e;
    start_game(e);
    e.send("BOARD");
    e.send("7,7,1");
    e.send("8,8,2");
    e.send("DONE");
    std::vector<std::string> reply = e.lines_through_move();
    expect_reply(reply);
    // Taking the engine's stone back shows the two block stones in order.
    e.send("TAKEBACK " + reply.back());
    std::vector<std::string> rows = empty_board_rows();
    rows[7] = row(7, " . . . . . . . X . . . . . . .");
    rows[8] = row(8, " . . . . . . . .[O]. . . . . .");
    EXPECT_TRUE(e.expect_text(board_text(rows) + "OK\n"));

    // Colours follow the order of the block, not `who`.
    e.send("RESTART");
    EXPECT_EQ(e.line(), "MESSAGE kq");
    EXPECT_EQ(e.line(), "OK");
    for (const char* l : {"BOARD", "8,8,2", "7,7,1", "7,7,2", "7,7,1", "7,7,3", "14,14,3", "9,9,4"})
        e.send(l);
    EXPECT_EQ(e.line(), "ERROR opponents's move [7,7]");
    EXPECT_EQ(e.line(), "ERROR my move [7,7]");
    EXPECT_EQ(e.line(), "ERROR winning move [7,7]");
    EXPECT_EQ(e.line(), "ERROR x,y,who or DONE expected after BOARD");
    reply = e.lines_through_move();
    expect_reply(reply);
    e.send("TAKEBACK " + reply.back());
    rows = empty_board_rows();
    rows[7] = row(7, " . . . . . . .[O]. . . . . . .");
    rows[8] = row(8, " . . . . . . . . X . . . . . .");
    EXPECT_TRUE(e.expect_text(board_text(rows) + "OK\n"));
    // The mark is no stone of the record: clearing it takes nothing back.
    e.send("TAKEBACK 14,14");
    EXPECT_EQ(e.line(), "OK");

    for (const char* end : {"done", "DONE ", "7,7", "15,0,1"}) {
        e.send("RESTART");
        EXPECT_EQ(e.line(), "MESSAGE kq");
        EXPECT_EQ(e.line(), "OK");
        e.send("BOARD");
        e.send(end);
        if (std::strcmp(end, "done") != 0) {
            EXPECT_EQ(e.line(), "ERROR x,y,who or DONE expected after BOARD") << end;
        }
        expect_reply(e.lines_through_move());
    }
    // End of input inside a block ends the program.
    e.send("RESTART");
    EXPECT_EQ(e.line(), "MESSAGE kq");
    EXPECT_EQ(e.line(), "OK");
    e.send("BOARD");
    e.send("7,7,1");
    expect_clean_exit(e, "MESSAGE #\n");
}

TEST(Protocol, TakebackAndNewGames) {
    EngineProcess e;
    start_game(e);
    e.send("PLAY 7,7");
    EXPECT_EQ(e.line(), "7,7");
    e.send("TAKEBACK 7,7");
    EXPECT_TRUE(e.expect_text(board_text(empty_board_rows()) + "OK\n"));
    e.send("TAKEBACK 7,7");
    EXPECT_EQ(e.line(), "ERROR bad coordinates");

    // Brackets at the row edges: the last move in column a, then in column o.
    for (const char* play : {"PLAY 0,3", "PLAY 14,3", "PLAY 5,5"}) {
        e.send(play);
        e.line();
    }
    e.send("TAKEBACK 5,5");
    std::vector<std::string> rows = empty_board_rows();
    rows[3] = row(3, " X . . + . . . . . . . + . .[O]");
    EXPECT_TRUE(e.expect_text(board_text(rows) + "OK\n"));
    // Only the record's last move can be taken back.
    e.send("TAKEBACK 0,3");
    EXPECT_EQ(e.line(), "ERROR bad coordinates");
    e.send("TAKEBACK 14,3");
    rows[3] = row(3, "[X]. . + . . . . . . . + . . .");
    EXPECT_TRUE(e.expect_text(board_text(rows) + "OK\n"));

    // A new game, by START or RESTART, starts from an empty manager's board.
    e.send("START 15");
    EXPECT_EQ(e.line(), "MESSAGE kq");
    EXPECT_EQ(e.line(), "OK");
    e.send("PLAY 0,3");
    EXPECT_EQ(e.line(), "0,3");
    for (const char* l : {"BOARD", "2,2,3", "DONE"}) e.send(l);
    expect_reply(e.lines_through_move());
    e.send("RESTART");
    EXPECT_EQ(e.line(), "MESSAGE kq");
    EXPECT_EQ(e.line(), "OK");
    e.send("PLAY 2,2");
    EXPECT_EQ(e.line(), "2,2");
    e.send("PLAY 0,3");
    EXPECT_EQ(e.line(), "0,3");
    expect_clean_exit(e, "MESSAGE #\n");
}

TEST(Protocol, RefereeVerdicts) {
    struct Case {
        std::vector<const char*> moves; // played in order, black first
        const char* verdict;
    };
    const Case cases[] = {
        // black's exact five
        {{"0,0", "0,5", "1,0", "1,5", "2,0", "2,5", "3,0", "3,5", "4,0"}, "MESSAGE Five in a row."},
        // black's six closes a gap: forbidden
        {{"0,0", "0,5", "1,0", "1,5", "2,0", "2,7", "4,0", "3,7", "5,0", "5,9", "3,0"},
         "MESSAGE Forbidden move."},
        // white's six wins
        {{"0,0", "0,5", "2,0", "1,5", "4,0", "2,5", "6,0", "4,5", "8,0", "5,5", "10,0", "3,5"},
         "MESSAGE Five in a row."},
        // black's double four
        {{"1,7", "10,0", "2,7", "12,0", "3,7", "10,2", "4,4", "12,2", "4,5", "14,14", "4,6",
          "10,14", "4,7"},
         "MESSAGE Forbidden move."},
    };
    EngineProcess e;
    start_game(e);
    for (const Case& c : cases) {
        for (size_t i = 0; i < c.moves.size(); ++i) {
            e.send(std::string("PLAY ") + c.moves[i]);
            if (i + 1 == c.moves.size()) {
                EXPECT_EQ(e.line(), c.verdict);
            }
            EXPECT_EQ(e.line(), c.moves[i]);
        }
        // The judged move stays in the record as its last move.
        e.send(std::string("TAKEBACK ") + c.moves.back());
        const std::string shown = e.read_until("\nOK\n");
        EXPECT_EQ(shown.rfind("\n\t   a b c", 0), 0u) << shown;
        e.send("RESTART");
        EXPECT_EQ(e.line(), "MESSAGE kq");
        EXPECT_EQ(e.line(), "OK");
    }
    expect_clean_exit(e, "MESSAGE #\n");
}

TEST(Protocol, PassOnAFullBoard) {
    EngineProcess e;
    start_game(e);
    e.send("BOARD");
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 15; ++x) e.send(std::to_string(x) + "," + std::to_string(y) + ",1");
    e.send("DONE");
    const std::vector<std::string> lines = e.lines_through_move();
    ASSERT_GE(lines.size(), 3u);
    for (size_t i = 0; i + 3 < lines.size(); ++i) {
        EXPECT_EQ(lines[i].rfind("MESSAGE ", 0), 0u) << lines[i];
    }
    EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
              (std::vector<std::string>{"MESSAGE computer: Pass.", "ERROR my move [0,0]", "0,0"}));
    expect_clean_exit(e, "MESSAGE #\n");
}

// Malformed and out-of-order input of every kind, from a fixed seed: the
// program must keep answering and end cleanly (under the sanitizers, without
// a report).
TEST(Protocol, RandomLinesNeverCrash) {
    const std::vector<std::string> keywords = {
        "START", "RECTSTART", "RESTART", "TURN", "PLAY", "BEGIN", "ABOUT", "BOARD", "TAKEBACK",
        "INFO folder", "INFO max_memory", "DONE", "kqmain", "q", "", "T", "M", "B"};
    const std::vector<std::string> arguments = {
        "7,7",   "-1,3",  "99999999999999999999,1", "15",          "15 15", "15,15",
        "a,b",   "+3,-0", ",",                      "3,4,1",       "3,4,2", "3,4,3",
        "HH HI", "HHHH",  "1 ,2",                   "-2147483649", "0,0,1", "\t7,\t8"};
    std::mt19937 random(20160101);
    auto pick = [&](const std::vector<std::string>& from) { return from[random() % from.size()]; };
    auto number = [&] { return std::to_string(random() % 16); };
    EngineProcess e;
    e.send("INFO timeout_turn 100");
    for (int i = 0; i < 400; ++i) {
        std::string l = pick(keywords);
        if (random() % 3 != 0) l += " " + pick(arguments);
        if (random() % 10 == 0) l = number() + "," + number() + "," + std::to_string(random() % 5);
        if (random() % 50 == 0) l += std::string(70000, '9');
        e.send(l);
        e.drain();
    }
    e.send("q");
    e.send("END");
    e.close_input();
    const std::string out = e.rest(60000);
    EXPECT_EQ(e.exit_status(), 0);
    EXPECT_EQ(e.error_output(), "");
    EXPECT_NE(out.find("MESSAGE computer: "), std::string::npos);
}

// In-process: the settings and the budget they give.
TEST(Protocol, InfoSettingsAndThinkBudget) {
    auto info = [](const std::string& text) {
        std::snprintf(line_buffer, sizeof line_buffer, "%s", text.c_str());
        do_command();
    };
    auto budget = [] {
        fix_think_budget();
        EXPECT_LE(clock_ms() - think_start, 1000);
        return think_budget;
    };
    EXPECT_EQ(budget(), 29900);
    info("INFO timeout_turn 5000");
    EXPECT_EQ(budget(), 4900);
    info("INFO timeout_turn 30000");
    info("info TIME_LEFT 100000");
    EXPECT_EQ(budget(), 5000);
    info("INFO time_left 0");
    EXPECT_EQ(budget(), 29900);
    info("INFO time_left -7");
    EXPECT_EQ(budget(), 29900);
    info("INFO time_left 39");
    EXPECT_EQ(budget(), 1);
    info("INFO time_left 19");
    EXPECT_EQ(budget(), 0);
    info("INFO time_left abc");
    EXPECT_EQ(time_left, 0);
    info("INFO timeout_turn 50");
    EXPECT_EQ(budget(), -50);
    // Out-of-range values clamp, and the budget arithmetic cannot overflow.
    info("INFO timeout_turn 99999999999999999999");
    EXPECT_EQ(timeout_turn, INT32_MAX);
    EXPECT_EQ(budget(), INT32_MAX - 100);
    info("INFO timeout_turn -99999999999");
    EXPECT_EQ(timeout_turn, INT32_MIN);
    EXPECT_EQ(budget(), INT32_MIN);
    info("INFO time_left 2147483647");
    EXPECT_EQ(budget(), INT32_MIN);
    // Ignored keys and near misses change nothing.
    info("INFO max_memory 83886080");
    info("INFO rule 1");
    info("INFORMATION timeout_turn 7");
    info("INFO timeout 7");
    EXPECT_EQ(timeout_turn, INT32_MIN);

    info("INFO folder " + std::string(300, 'f'));
    EXPECT_EQ(std::string(folder), std::string(255, 'f'));
    info("INFO folder /tmp/kq");
    EXPECT_STREQ(folder, "/tmp/kq");
}

// The protocol front end end to end: the built engine on pipes, exact replies
// and error lines, ordering against the think worker, and the exit path.
#include <gtest/gtest.h>

#include <climits>
#include <random>

#include "engine_process.h"
#include "core/protocol/protocol.h"
#include "core/timing.h"
#include "kq/kq.h"
#include "kq2/kq2.h"

namespace {

const std::string SIZE = "ERROR board size must be 15x15\n";
const std::string RECT = "ERROR bad RECTSTART parameters\n";

} // namespace

TEST(Protocol, SizesLinesAndUnknownCommands) {
    EngineProcess e;
    const std::string play = "PLAY 1,";
    run(e, {
        {"start 15", OK}, {"START 15 15", OK}, {"START 15,15", OK}, {"RECTSTART 15,15", OK},
        {"RECTSTART 15 , 15", OK}, {"rectstart 15, 15", OK}, {"START 015", OK},
        {"START 20", SIZE}, {"RECTSTART 15,20", SIZE}, {"START -15", SIZE},
        {"START 99999999999999999999", SIZE}, {"RECTSTART 15,", RECT}, {"RECTSTART x", RECT},
        // A failed RECTSTART keeps the number it read; START without one keeps both.
        {"START 20", SIZE}, {"RECTSTART 15", RECT}, {"START x", SIZE}, {"RECTSTART 20,15", SIZE},
        {"RECTSTART 15 ,x", RECT}, {"START x", OK},
        {"ABOUT", ABOUT}, {"about\r", ABOUT}, {"", UNKNOWN}, {"\r", UNKNOWN}, {"STAR", UNKNOWN},
        {" ABOUT", UNKNOWN},
        // 65535 characters are kept: the 2 at index 65534 survives, the 3 at
        // 65535 is cut, and the rest of that line is not a command of its own.
        {play + std::string(65534 - play.size(), ' ') + "2", "1,2\n"},
        {play + std::string(65535 - play.size(), ' ') + "3" + std::string(9000, ' ') + "ABOUT",
         BAD},
        {"PLAY 4,4\r", "4,4\n"}, {"ENDGAME", ""},
    });
    expect_exit(e, "MESSAGE #\n"); // registered once however many STARTs
}

TEST(Protocol, CommandsBeforeAnySize) {
    {
        EngineProcess e;
        run(e, {{"START 0", SIZE + SIZE}, {"START 15", OK}});
        expect_exit(e, "MESSAGE #\n");
    }
    {
        // The fallback size lets the move through, but no game is open, so the
        // record takes nothing: the engine answers the empty board and finds
        // the manager's cell taken.
        EngineProcess e;
        run(e, {{"TURN 7,7", SIZE + "MESSAGE computer: #HH\nERROR my move [7,7]\n7,7\n"}});
        expect_exit(e, "MESSAGE #\n");
    }
    for (const char* end : {"END", "endgame", "ABOUT"}) {
        EngineProcess e;
        e.send(end);
        if (end[0] == 'A') {
            EXPECT_EQ(e.line() + "\n", ABOUT);
        }
        expect_exit(e, "");
    }
}

TEST(Protocol, MovesAndCoordinateErrors) {
    EngineProcess e;
    std::vector<Step> steps = {{"START 15", OK}, {"INFO timeout_turn 300", ""}};
    for (const char* bad : {"TURN 15,0", "TURN -1,3", "TURN 7", "TURN 7 ,7", "TURN 4294967303,7",
                            "TURN x,1", "PLAY 0,15", "PLAY", "TAKEBACK 99999999999999,0"})
        steps.push_back({bad, BAD});
    // The refused TURNs started no think: PLAY's echo comes next.
    steps.insert(steps.end(), {{"PLAY 7,7", "7,7\n"},
                               {"PLAY 7,7", "ERROR my move [7,7]\n7,7\n"},
                               {"PLAY +1, 2", "1,2\n"},
                               {"TURN 7,7", "ERROR opponents's move [7,7]\n*"},
                               {"turn 14,0", "*"},
                               {"BEGIN", "*"}});
    run(e, steps);
    expect_exit(e, "MESSAGE #\n");
}

TEST(Protocol, BoardBlocksAndTakeback) {
    EngineProcess e;
    // Taking the engine's answer back shows what the record held before it.
    auto take_back_reply = [&](const std::string& shown) {
        const std::vector<std::string> reply = e.reply();
        expect_reply(reply);
        run(e, {{"TAKEBACK " + reply.back(), shown + "OK\n"}});
    };
    run(e, {{"START 15", OK}, {"INFO timeout_turn 300", ""}, {"BOARD", ""}, {"7,7,1", ""},
            {"8,8,2", ""}, {"DONE", ""}});
    take_back_reply(board_text({{7, " . . . . . . . X . . . . . . ."},
                                {8, " . . . . . . . .[O]. . . . . ."}}));
    // Colours follow the order of the block, not `who`.
    run(e, {{"RESTART", OK}, {"BOARD", ""}, {"8,8,2", ""}, {"7,7,1", ""},
            {"7,7,2", "ERROR opponents's move [7,7]\n"}, {"7,7,1", "ERROR my move [7,7]\n"},
            {"7,7,3", "ERROR winning move [7,7]\n"}, {"14,14,3", ""}, {"9,9,4", BLOCK}});
    take_back_reply(board_text({{7, " . . . . . . .[O]. . . . . . ."},
                                {8, " . . . . . . . . X . . . . . ."}}));
    // A mark is no stone of the record: clearing it takes nothing back.
    run(e, {{"TAKEBACK 14,14", "OK\n"}});
    for (const std::string end : {"done", "DONE ", "7,7", "15,0,1"})
        run(e, {{"RESTART", OK}, {"BOARD", ""}, {end, (end == "done" ? "" : BLOCK) + "*"}});

    run(e, {
        {"RESTART", OK}, {"PLAY 7,7", "7,7\n"}, {"TAKEBACK 7,7", board_text() + "OK\n"},
        {"TAKEBACK 7,7", BAD}, {"PLAY 0,3", "0,3\n"}, {"PLAY 14,3", "14,3\n"},
        {"PLAY 5,5", "5,5\n"},
        {"TAKEBACK 5,5", board_text({{3, " X . . + . . . . . . . + . .[O]"}}) + "OK\n"},
        // Only the record's last move can be taken back.
        {"TAKEBACK 0,3", BAD},
        {"TAKEBACK 14,3", board_text({{3, "[X]. . + . . . . . . . + . . ."}}) + "OK\n"},
        // A new game, by START or RESTART, starts from an empty manager's board.
        {"START 15", OK}, {"PLAY 0,3", "0,3\n"}, {"BOARD", ""}, {"2,2,3", ""}, {"DONE", "*"},
        {"RESTART", OK}, {"PLAY 2,2", "2,2\n"}, {"PLAY 0,3", "0,3\n"},
        // End of input inside a block ends the program.
        {"BOARD", ""}, {"7,7,1", ""},
    });
    expect_exit(e, "MESSAGE #\n");
}

TEST(Protocol, RefereeVerdictsAndPass) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> games = {
        {{"0,0", "0,5", "1,0", "1,5", "2,0", "2,5", "3,0", "3,5", "4,0"}, "Five in a row."},
        // black's six, made by closing a gap
        {{"0,0", "0,5", "1,0", "1,5", "2,0", "2,7", "4,0", "3,7", "5,0", "5,9", "3,0"},
         "Forbidden move."},
        // white's six wins
        {{"0,0", "0,5", "2,0", "1,5", "4,0", "2,5", "6,0", "4,5", "8,0", "5,5", "10,0", "3,5"},
         "Five in a row."},
        // black's double four
        {{"1,7", "10,0", "2,7", "12,0", "3,7", "10,2", "4,4", "12,2", "4,5", "14,14", "4,6",
          "10,14", "4,7"},
         "Forbidden move."},
    };
    EngineProcess e;
    run(e, {{"START 15", OK}, {"INFO timeout_turn 300", ""}});
    for (const auto& [moves, verdict] : games) {
        std::vector<Step> steps;
        for (const std::string& m : moves) {
            const std::string said = m == moves.back() ? "MESSAGE " + verdict + "\n" : "";
            steps.push_back({"PLAY " + m, said + m + "\n"});
        }
        run(e, steps);
        // The judged move stays in the record, as its last move.
        e.send("TAKEBACK " + moves.back());
        EXPECT_EQ(e.read_until("\nOK\n").rfind("\n\t   a b c", 0), 0u);
        run(e, {{"RESTART", OK}});
    }
    // On a full board the engine passes and answers the taken corner.
    e.send("BOARD");
    for (int i = 0; i < 225; ++i)
        e.send(std::to_string(i % 15) + "," + std::to_string(i / 15) + ",1");
    e.send("DONE");
    const std::vector<std::string> lines = e.reply();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
              (std::vector<std::string>{"MESSAGE computer: Pass.", "ERROR my move [0,0]", "0,0"}));
    expect_exit(e, "MESSAGE #\n");
}

TEST(Protocol, WaitingCommandsFollowTheReply) {
    EngineProcess e;
    run(e, {{"START 15", OK}, {"INFO timeout_turn 1000", ""}});
    e.send("TURN 7,7");
    for (int i = 0; i < 40; ++i) e.send("ABOUT");
    e.send("RESTART");
    // ABOUT does not wait and may come on either side of the reply, but only
    // as whole lines; RESTART waits for the reply.
    std::vector<std::string> reply;
    int abouts = 0;
    for (std::string l = e.line(); l != "MESSAGE kq" && l != "<eof>"; l = e.line()) {
        if (l + "\n" == ABOUT) {
            ++abouts;
        } else {
            reply.push_back(l);
        }
    }
    EXPECT_EQ(abouts, 40);
    expect_reply(reply);
    EXPECT_EQ(e.line(), "OK");
    // END, and end of input, during a think: the reply first, then the exit hook.
    e.send("TURN 7,7");
    e.send("END");
    expect_reply(e.reply());
    expect_exit(e, "MESSAGE #\n");
    EngineProcess f;
    run(f, {{"START 15", OK}, {"INFO timeout_turn 500", ""}});
    f.send("TURN 7,7");
    f.close_input();
    expect_reply(f.reply());
    expect_exit(f, "MESSAGE #\n");
}

// Every command with bad, huge and signed numbers, BOARD lines, console
// commands and overlong lines, from a fixed seed: nothing may crash or leave
// a sanitizer report.
TEST(Protocol, RandomLinesNeverCrash) {
    const std::vector<std::string> words = {
        "START", "RECTSTART", "RESTART", "TURN", "PLAY", "BEGIN", "ABOUT", "BOARD", "TAKEBACK",
        "INFO folder", "INFO max_memory", "DONE", "kqmain", "q", "", "T", "M", "B"};
    const std::vector<std::string> arguments = {
        "7,7", "-1,3", "99999999999999999999,1", "15", "15 15", "15,15", "a,b", "+3,-0", ",",
        "3,4,1", "3,4,2", "3,4,3", "HH HI", "HHHH", "1 ,2", "-2147483649", "0,0,1", "\t7,\t8"};
    std::mt19937 random(20160101);
    auto pick = [&](const std::vector<std::string>& from) { return from[random() % from.size()]; };
    auto number = [&] { return std::to_string(random() % 16); };
    EngineProcess e;
    e.send("INFO timeout_turn 100");
    for (int i = 0; i < 400; ++i) {
        std::string l = pick(words);
        if (random() % 3 != 0) l += " " + pick(arguments);
        if (random() % 10 == 0) l = number() + "," + number() + "," + std::to_string(random() % 5);
        if (random() % 50 == 0) l += std::string(70000, '9');
        e.send(l);
        e.drain();
    }
    e.send("q");
    e.send("END");
    int status = -1;
    EXPECT_NE(e.finish(status).find("MESSAGE computer: "), std::string::npos);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(e.error_output(), "");
}

namespace {

// In-process: one INFO line, then the budget a move request would get.
int32_t budget_after(const std::string& info) {
    std::snprintf(line_buffer, sizeof line_buffer, "%s", info.c_str());
    do_command();
    fix_think_budget();
    EXPECT_LE(clock_ms() - think_start, 1000);
    return think_budget;
}

} // namespace

// In-process: the INFO settings and the think budget they give.
TEST(Protocol, InfoSettingsAndThinkBudget) {
    engine_face = &exact_face;
    EXPECT_EQ(budget_after("INFO"), 29900); // the defaults
    EXPECT_EQ(budget_after("INFO timeout_turn 5000"), 4900);
    budget_after("INFO timeout_turn 30000");
    EXPECT_EQ(budget_after("info TIME_LEFT 100000"), 5000);
    EXPECT_EQ(budget_after("INFO time_left 0"), 29900);
    EXPECT_EQ(budget_after("INFO time_left -7"), 29900);
    EXPECT_EQ(budget_after("INFO time_left 39"), 1);
    EXPECT_EQ(budget_after("INFO time_left 19"), 0);
    EXPECT_EQ(budget_after("INFO time_left abc"), 29900);
    EXPECT_EQ(budget_after("INFO timeout_turn 50"), -50);
    // Out-of-range values clamp, and the budget arithmetic cannot overflow.
    EXPECT_EQ(budget_after("INFO timeout_turn 99999999999999999999"), INT32_MAX - 100);
    EXPECT_EQ(budget_after("INFO timeout_turn -99999999999"), INT32_MIN);
    EXPECT_EQ(budget_after("INFO time_left 2147483647"), INT32_MIN);
    // Ignored keys and near misses change nothing.
    for (const char* ignored : {"INFO max_memory 8", "INFO rule 1", "INFORMATION timeout_turn 7",
                                "INFO timeout 7"})
        EXPECT_EQ(budget_after(ignored), INT32_MIN);
    budget_after("INFO folder " + std::string(300, 'f'));
    EXPECT_EQ(std::string(folder), std::string(255, 'f'));
    budget_after("INFO folder /tmp/kq");
    EXPECT_STREQ(folder, "/tmp/kq");
}

// In-process: the tournament engine's own budget, nearly the whole turn and
// a twentieth of a match clock at most.
TEST(Protocol, TournamentBudget) {
    engine_face = &kq2::tournament_face;
    budget_after("INFO time_left 0");
    EXPECT_EQ(budget_after("INFO timeout_turn 300"), 282);
    EXPECT_EQ(budget_after("INFO timeout_turn 50"), 38);
    EXPECT_EQ(budget_after("INFO timeout_turn 5000"), 4850);
    EXPECT_EQ(budget_after("INFO timeout_turn 30000"), 29850);
    EXPECT_EQ(budget_after("INFO time_left 100000"), 5000);
    EXPECT_EQ(budget_after("INFO time_left 1000000000"), 29850);
    EXPECT_LT(budget_after("INFO timeout_turn 0"), 0); // answered at once
    budget_after("INFO timeout_turn 30000");
    engine_face = &exact_face;
}

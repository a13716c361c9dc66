// Console play mode end to end through kqmain: prompts, the command table and
// its error texts, moves and take-backs, the referee, T analysis, and leaving.
#include <gtest/gtest.h>

#include "engine_process.h"

namespace {

const std::string BANNER = "kq 0.01\n"
                           "Renju engine with a four-threat solver and an alpha-beta search.\n"
                           "Written by the kq developers.\n\n";
const std::string HELP = "\t----------------------------------------\n"
                         "\tB [num]  - go Back.\n"
                         "\tN        - New game.\n"
                         "\tH        - show Help.\n"
                         "\tI        - show application Info.\n"
                         "\tD        - Display board.\n"
                         "\tQ        - Quit.\n"
                         "\t{XY}     - put stone on special pos.\n"
                         "\t{Enter}  - computer play.\n"
                         "\t----------------------------------------\n";
const std::string INVALID = "Invalid command.\n";
const std::string EMPTY = board_text();
const std::string CENTRE = board_text({{7, " . . . . . . .[X]. . . . . . ."}});

void enter_console(EngineProcess& e) { run(e, {{"kqmain", BANNER + EMPTY + "B[1]>"}}); }

// A point of a displayed board named by letters (column first) with the
// separators on either side: "[X]" for a bracketed black stone.
std::string point_at(const std::string& board, const std::string& letters) {
    const size_t row = board.find(std::string("\n\t") + char(letters[1] - 'A' + 'a') + " ");
    return row == std::string::npos ? "" : board.substr(row + 4 + 2 * size_t(letters[0] - 'A'), 3);
}

// The computer's answer: its letters, then the board with that square
// bracketed and white, then `prompt`.
void expect_answer(EngineProcess& e, const std::string& prompt) {
    ASSERT_TRUE(e.expect_text("MESSAGE computer: #"));
    const std::string letters = e.read_until("\n");
    EXPECT_EQ(point_at(e.read_until(prompt), letters), "[O]") << letters;
}

} // namespace

TEST(Console, CommandTableAndErrors) {
    EngineProcess e;
    enter_console(e);
    std::vector<Step> steps;
    for (const char* in : {"PP", "H8", "HHH", "HH ", "X", "O", "S", "M", "AP", "HH8"})
        steps.push_back({in, INVALID + "B[1]>"});
    for (const char* in : {"L", "L 3", "O 1", "S 1", "l"}) steps.push_back({in, "B[1]>"});
    steps.insert(steps.end(), {
        {"T", "Usage: T {pos_string}\nB[1]>"}, {"t ", "Usage: T {pos_string}\nB[1]>"},
        {"M 5", "Mode = 1\nB[1]>"}, {"M -3", "Mode = 0\nB[1]>"},
        {"m 99999999999", "Mode = 1\nB[1]>"}, {"M x", "Mode = 1\nB[1]>"},
        {"h", HELP + "B[1]>"}, {"H anything", HELP + "B[1]>"}, {"I", BANNER + "B[1]>"},
        {"D", EMPTY + "B[1]>"}, {"d\r", EMPTY + "B[1]>"}, {"T HH HH", "MESSAGE B[1]>"},
        // One overlong line is one command; its tail is not read as another.
        {std::string(1500, 'Z'), INVALID + "B[1]>"}, {"D", EMPTY + "B[1]>"},
        // Q returns to the protocol, which answers the next line.
        {"q", ""}, {"ABOUT", "name=\"kq\", author=\"Tavin Orle\", version=\"2016\", "
                             "country=\"China\", www=\"None\"\n"},
    });
    run(e, steps);
    expect_exit(e, "MESSAGE #\n");
}

TEST(Console, MovesTakeBacksAndComputerPlay) {
    EngineProcess e;
    e.send("INFO timeout_turn 300");
    enter_console(e);
    run(e, {{"hh", CENTRE}});
    expect_answer(e, "B[3]>");
    run(e, {
        {"HH", "B[3]>"}, // a taken square is ignored without a word
        // B shows the board from the take-back and once more; on an empty record once.
        {"B", CENTRE + CENTRE + "W[2]>"}, {"b", EMPTY + EMPTY + "B[1]>"}, {"B", EMPTY + "B[1]>"},
        // After a take-back the computer waits for Enter.
        {"HH", CENTRE + "W[2]>"}, {"", ""},
    });
    expect_answer(e, "B[3]>");
    // N opens a new game, in which the computer answers at once.
    run(e, {{"N", EMPTY + "B[1]>"}, {"hh\r", CENTRE}});
    expect_answer(e, "B[3]>");
    run(e, {{"Q", ""}, {"END", ""}});
    expect_exit(e, "MESSAGE #\n");
}

TEST(Console, RefereeAndAnalysis) {
    EngineProcess e;
    e.send("INFO timeout_turn 300");
    enter_console(e);
    // Two take-backs leave the game open without the computer's answers, so
    // the person plays both colours.
    for (const char* in : {"HH", "B", "B"}) {
        e.send(in);
        e.read_until(">");
    }
    for (const char* m : {"AA", "AF", "BA", "BF", "CA", "CF", "DA", "DF"}) {
        e.send(m);
        EXPECT_EQ(e.read_until(">").find("MESSAGE"), std::string::npos);
    }
    const std::string five = board_text({{0, " X X X X[X]. . . . . . . . . ."},
                                         {5, " O O O O . . . . . . . . . . ."}});
    run(e, {{"EA", "MESSAGE Five in a row.\n" + five + "W[10]>"}});

    // T analyses a position of its own and leaves the game alone.
    for (const char* position : {"T HH HI", "T HHHI", "t  hh   hi"}) {
        run(e, {{position, "MESSAGE \n"}});
        const std::string board = "\n" + e.read_until("\n\n");
        const std::string letters = e.read_until("\n");
        ASSERT_EQ(letters.size(), 4u);
        EXPECT_EQ(point_at(board, letters.substr(1, 2)), "[X]");
        EXPECT_EQ(point_at(board, "HH")[1], 'X');
        EXPECT_EQ(point_at(board, "HI")[1], 'O');
        EXPECT_TRUE(e.expect_text("W[10]>"));
    }
    std::string full = "T ";
    for (int s = 0; s < 225; ++s) full += {char('A' + s % 15), char('A' + s / 15)};
    run(e, {{full, "MESSAGE Pass.\nW[10]>"}, {full + "AA", "MESSAGE W[10]>"},
            {"D", five + "W[10]>"}});
    expect_exit(e, "MESSAGE #\n");
}

TEST(Console, EnteringAndLeaving) {
    // kqmain waits for a think under way; every entry registers the exit hook.
    EngineProcess e;
    run(e, {{"START 15", "MESSAGE kq\nOK\n"}, {"INFO timeout_turn 500", ""}, {"TURN 7,7", ""}});
    e.send("kqmain");
    expect_reply(e.reply());
    EXPECT_TRUE(e.expect_text(BANNER + EMPTY + "B[1]>"));
    run(e, {{"q", ""}, {"kqmain", BANNER + EMPTY + "B[1]>"}});
    // End of input at the prompt leaves console mode, then the program.
    expect_exit(e, "MESSAGE #\nMESSAGE #\nMESSAGE #\n");
}

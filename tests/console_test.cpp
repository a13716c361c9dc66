// Console play mode, end to end through kqmain: prompts, the command table and
// its error texts, moves, take-backs, the referee at the console, the T
// analysis, the board display, and leaving console mode.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_process.h"

namespace {

const std::string BANNER =
    "kq 0.01\n"
    "Renju engine with a four-threat solver and an alpha-beta search.\n"
    "Written by the kq developers.\n"
    "\n";

const std::string HELP =
    "\t----------------------------------------\n"
    "\tB [num]  - go Back.\n"
    "\tN        - New game.\n"
    "\tH        - show Help.\n"
    "\tI        - show application Info.\n"
    "\tD        - Display board.\n"
    "\tQ        - Quit.\n"
    "\t{XY}     - put stone on special pos.\n"
    "\t{Enter}  - computer play.\n"
    "\t----------------------------------------\n";

const std::string EMPTY_BOARD = board_text(empty_board_rows());

std::string centre_board() {
    std::vector<std::string> rows = empty_board_rows();
    rows[7] = "\th  . . . . . . .[X]. . . . . . .";
    return board_text(rows);
}

void enter_console(EngineProcess& e) {
    e.send("kqmain");
    ASSERT_TRUE(e.expect_text(BANNER + EMPTY_BOARD + "B[1]>"));
}

// The square between brackets in a displayed board, as letters "XY" (column
// first), and the stone shown there.
std::string bracketed(const std::string& board, char* stone = nullptr) {
    size_t line_start = 0;
    for (int r = -2; line_start < board.size(); ++r) {
        const size_t end = board.find('\n', line_start);
        const std::string l = board.substr(line_start, end - line_start);
        const size_t open = l.find('[');
        if (r >= 0 && r < 15 && open != std::string::npos) {
            if (stone) *stone = l[open + 1];
            return std::string{char('A' + (open - 3) / 2), char('A' + r)};
        }
        line_start = end + 1;
    }
    return "";
}

// The point at column c, row r of a displayed board.
char point(const std::string& board, int c, int r) {
    size_t at = 0;
    for (int i = 0; i < r + 2; ++i) at = board.find('\n', at) + 1;
    return board[at + 4 + 2 * c];
}

} // namespace

TEST(Console, CommandTableAndErrors) {
    EngineProcess e;
    enter_console(e);
    auto answer = [&](const std::string& in, const std::string& out) {
        e.send(in);
        EXPECT_TRUE(e.expect_text(out + "B[1]>"))
            << "after '" << in << "': " << e.read_until(">", 500);
    };
    for (const char* invalid : {"PP", "H8", "HHH", "HH ", "X", "O", "S", "M", "AP", "HH8"})
        answer(invalid, "Invalid command.\n");
    for (const char* silent : {"L", "L 3", "O 1", "S 1", "l"}) answer(silent, "");
    answer("T", "Usage: T {pos_string}\n");
    answer("t ", "Usage: T {pos_string}\n");
    answer("M 5", "Mode = 1\n");
    answer("M -3", "Mode = 0\n");
    answer("m 99999999999", "Mode = 1\n");
    answer("M x", "Mode = 1\n");
    answer("h", HELP);
    answer("H anything", HELP);
    answer("I", BANNER);
    answer("D", EMPTY_BOARD);
    e.write_raw("d\r\n");
    EXPECT_TRUE(e.expect_text(EMPTY_BOARD + "B[1]>"));
    answer("T HH HH", "MESSAGE ");
    // One overlong line is one command; its tail is not read as another.
    answer(std::string(1500, 'Z'), "Invalid command.\n");
    answer("D", EMPTY_BOARD);
    // Q returns to the protocol, which answers the next line.
    e.send("q");
    e.send("ABOUT");
    EXPECT_EQ(e.line(), "name=\"kq\", author=\"Tavin Orle\", version=\"2016\", country=\"China\", "
                        "www=\"None\"");
    e.close_input();
    EXPECT_EQ(e.rest(), "MESSAGE #\n");
    EXPECT_EQ(e.exit_status(), 0);
    EXPECT_EQ(e.error_output(), "");
}

TEST(Console, MovesTakeBacksAndComputerPlay) {
    EngineProcess e;
    e.send("INFO timeout_turn 300");
    enter_console(e);
    e.send("hh");
    ASSERT_TRUE(e.expect_text(centre_board() + "MESSAGE computer: #"));
    std::string answer = e.read_until("\n");
    std::string board = e.read_until("B[3]>");
    char stone = 0;
    EXPECT_EQ(bracketed(board, &stone) + "\n", answer);
    EXPECT_EQ(stone, 'O');
    EXPECT_EQ(point(board, 7, 7), 'X');

    // A taken square is ignored without a word.
    e.send("HH");
    EXPECT_TRUE(e.expect_text("B[3]>"));
    // B shows the board from the take-back and once more; on an empty record once.
    e.send("B");
    EXPECT_TRUE(e.expect_text(centre_board() + centre_board() + "W[2]>"));
    e.send("b");
    EXPECT_TRUE(e.expect_text(EMPTY_BOARD + EMPTY_BOARD + "B[1]>"));
    e.send("B");
    EXPECT_TRUE(e.expect_text(EMPTY_BOARD + "B[1]>"));
    // After a take-back the computer waits for Enter.
    e.send("HH");
    EXPECT_TRUE(e.expect_text(centre_board() + "W[2]>"));
    e.send("");
    EXPECT_TRUE(e.expect_text("MESSAGE computer: #"));
    answer = e.read_until("\n");
    board = e.read_until("B[3]>");
    EXPECT_EQ(bracketed(board, &stone) + "\n", answer);
    EXPECT_EQ(stone, 'O');
    // N opens a new game, and the computer answers again.
    e.send("N");
    EXPECT_TRUE(e.expect_text(EMPTY_BOARD + "B[1]>"));
    e.write_raw("hh\r\n");
    EXPECT_TRUE(e.expect_text(centre_board() + "MESSAGE computer: #"));
    EXPECT_NE(e.read_until("B[3]>").find("[O]"), std::string::npos);
    e.send("Q");
    e.send("END");
    EXPECT_EQ(e.rest(), "MESSAGE #\n");
    EXPECT_EQ(e.exit_status(), 0);
}

TEST(Console, RefereeAndAnalysis) {
    EngineProcess e;
    e.send("INFO timeout_turn 300");
    enter_console(e);
    // Two take-backs leave the game open without the computer's answers, so
    // the person plays both colours.
    e.send("HH");
    e.read_until("B[3]>");
    e.send("B");
    e.read_until("W[2]>");
    e.send("B");
    e.read_until("B[1]>");
    const char* moves[] = {"AA", "AF", "BA", "BF", "CA", "CF", "DA", "DF"};
    for (int i = 0; i < 8; ++i) {
        e.send(moves[i]);
        const std::string shown = e.read_until(">");
        EXPECT_EQ(shown.find("MESSAGE"), std::string::npos) << shown;
    }
    e.send("EA");
    std::vector<std::string> rows = empty_board_rows();
    rows[0] = "\ta  X X X X[X]. . . . . . . . . .";
    rows[5] = "\tf  O O O O . . . . . . . . . . .";
    const std::string five = board_text(rows);
    EXPECT_TRUE(e.expect_text("MESSAGE Five in a row.\n" + five + "W[10]>"));

    // T analyses a position of its own and leaves the game alone.
    for (const char* position : {"T HH HI", "T HHHI", "t  hh   hi"}) {
        e.send(position);
        EXPECT_TRUE(e.expect_text("MESSAGE \n")) << position;
        const std::string board = "\n" + e.read_until("\n\n");
        char stone = 0;
        EXPECT_EQ("#" + bracketed(board, &stone) + "\n", e.read_until("\n")) << position;
        EXPECT_EQ(stone, 'X');
        EXPECT_EQ(point(board, 7, 7), 'X');
        EXPECT_EQ(point(board, 7, 8), 'O');
        EXPECT_TRUE(e.expect_text("W[10]>"));
    }
    std::string full = "T ";
    for (char r = 'A'; r <= 'O'; ++r)
        for (char c = 'A'; c <= 'O'; ++c) full += std::string{c, r};
    e.send(full);
    EXPECT_TRUE(e.expect_text("MESSAGE Pass.\nW[10]>"));
    e.send(full + "AA");
    EXPECT_TRUE(e.expect_text("MESSAGE W[10]>"));
    e.send("D");
    EXPECT_TRUE(e.expect_text(five + "W[10]>"));
    e.close_input();
    EXPECT_EQ(e.rest(), "MESSAGE #\n");
    EXPECT_EQ(e.exit_status(), 0);
    EXPECT_EQ(e.error_output(), "");
}

TEST(Console, EnteringAndLeaving) {
    // kqmain waits for a think under way; every entry registers the exit hook.
    EngineProcess e;
    e.send("START 15");
    e.send("INFO timeout_turn 500");
    e.send("TURN 7,7");
    e.send("kqmain");
    EXPECT_EQ(e.line(), "MESSAGE kq");
    EXPECT_EQ(e.line(), "OK");
    const std::vector<std::string> reply = e.lines_through_move();
    EXPECT_TRUE(EngineProcess::is_move(reply.back())) << reply.back();
    EXPECT_TRUE(e.expect_text(BANNER + EMPTY_BOARD + "B[1]>"));
    e.send("q");
    e.send("kqmain");
    EXPECT_TRUE(e.expect_text(BANNER + EMPTY_BOARD + "B[1]>"));
    // End of input at the prompt leaves console mode, then the program.
    e.close_input();
    EXPECT_EQ(e.rest(), "MESSAGE #\nMESSAGE #\nMESSAGE #\n");
    EXPECT_EQ(e.exit_status(), 0);
    EXPECT_EQ(e.error_output(), "");
}

// The command loop: one line from the manager, one command, in the order the
// keywords are tested below. Replies go out through send_line, which flushes;
// everything else written on the way (referee verdicts, the board display)
// leaves with the next reply or at exit.
#include <cctype>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "../console/console.h"
#include "../engine/engine.h"
#include "../platform/platform.h"
#include "protocol.h"

char line_buffer[65536];
int32_t board_width = 0;
int32_t board_height = 0;
int32_t timeout_turn = 30000;
int32_t time_left = 1000000000;
char folder[256];
int32_t exit_hook_registered = 0;
FILE* command_input = stdin;
void (*program_exit)(int status) = exit;

const EngineFace* engine_face = nullptr;

namespace {

constexpr int LINE_CAPACITY = sizeof line_buffer; // keeps at most 65535 characters

bool is_space(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Digits accumulate in 64 bits and saturate just past the int32 range, so a
// number of any length clamps instead of overflowing.
int32_t read_digits(const char*& p, bool negative) {
    constexpr int64_t LIMIT = int64_t(INT32_MAX) + 1;
    int64_t v = 0;
    while (is_digit(*p)) {
        v = v * 10 + (*p - '0');
        if (v > LIMIT) v = LIMIT;
        ++p;
    }
    if (negative) v = -v;
    if (v > INT32_MAX) v = INT32_MAX;
    return int32_t(v);
}

// Inside both the declared size and the protocol board.
bool valid_coordinates(int32_t x, int32_t y) {
    return x >= 0 && x < board_width && y >= 0 && y < board_height && x < BOARD_SIZE &&
           y < BOARD_SIZE;
}

// "%d,%d" naming a valid cell.
bool scan_coordinates(const char* p, int32_t& x, int32_t& y) {
    if (!scan_number(p, x) || *p++ != ',' || !scan_number(p, y)) return false;
    return valid_coordinates(x, y);
}

int32_t& protocol_cell(int32_t x, int32_t y) { return protocol_board[x * BOARD_SIZE + y]; }

Square square_at(int32_t x, int32_t y) { return Square(y * 16 + x); }

void command_info(const char* arg) {
    // The time settings and the folder are the front end's; every other key
    // goes to the engine face (the exact engine ignores them all). No key is
    // a prefix of another, so at most one matches.
    const char* value;
    if ((value = match_keyword("timeout_turn", arg))) {
        timeout_turn = parse_long(value);
    } else if ((value = match_keyword("time_left", arg))) {
        time_left = parse_long(value);
    } else if ((value = match_keyword("folder", arg))) {
        snprintf(folder, sizeof folder, "%s", value);
    } else if (engine_face->info) {
        engine_face->info(arg);
    }
}

// Shared by START and RECTSTART once the size is stored. A 15x15 game starts
// from an empty manager's board too: a second START in one process must not
// leave the previous game's cells marked, or the new game's moves would be
// refused as occupied and never reach the record.
void size_tail() {
    wait_idle();
    register_exit_hook();
    if (board_width == BOARD_SIZE && board_height == BOARD_SIZE) {
        new_game();
    } else {
        send_line("ERROR board size must be 15x15");
    }
}

void command_start(const char* p) {
    int32_t v;
    if (scan_number(p, v)) {
        size_store(board_width, v);
        skip_space(p);
        size_store(board_height, scan_number(p, v) ? v : board_width);
    }
    size_tail();
}

void command_rectstart(const char* p) {
    int32_t v;
    bool two = false;
    if (scan_number(p, v)) {
        size_store(board_width, v);
        skip_space(p);
        if (*p++ == ',' && scan_number(p, v)) {
            size_store(board_height, v);
            two = true;
        }
    }
    if (!two) {
        send_line("ERROR bad RECTSTART parameters");
        return;
    }
    size_tail();
}

void command_restart(const char*) {
    wait_idle();
    new_game();
}

// A stone the manager names for the opponent (2) or for the engine (1): the
// cell is marked and the move recorded, unless the cell is taken, which is
// reported.
void take_cell(int32_t x, int32_t y, int32_t owner) {
    int32_t& cell = protocol_cell(x, y);
    if (cell == 0) {
        cell = owner;
        record_move(square_at(x, y));
    } else if (owner == 2) {
        send_line("ERROR opponents's move [%d,%d]", x, y);
    } else {
        send_line("ERROR my move [%d,%d]", x, y);
    }
}

// The stone of a TURN or a PLAY. False on bad coordinates.
bool named_stone(const char* arg, int32_t owner, int32_t& x, int32_t& y) {
    if (!scan_coordinates(arg, x, y)) {
        send_line("ERROR bad coordinates");
        return false;
    }
    take_cell(x, y, owner);
    return true;
}

void command_turn(const char* arg) {
    wait_idle();
    int32_t x, y;
    if (named_stone(arg, 2, x, y)) start_think();
}

void command_play(const char* arg) {
    wait_idle();
    int32_t x, y;
    if (named_stone(arg, 1, x, y)) send_line("%d,%d", x, y);
}

void command_begin(const char*) {
    wait_idle();
    start_think();
}

void command_about(const char*) { send_line("%s", engine_face->about); }

void command_end(const char*) { end_program(); }

// One "x,y,who" line of a BOARD block; false when the line ends the block.
bool board_line() {
    const char* p = line_buffer;
    int32_t x, y, who;
    if (!scan_number(p, x) || *p++ != ',' || !scan_number(p, y) || *p++ != ',' ||
        !scan_number(p, who) || !valid_coordinates(x, y))
        return false;
    int32_t& cell = protocol_cell(x, y);
    switch (who) {
    case 1:
    case 2:
        take_cell(x, y, who);
        return true;
    case 3:
        // A winning-line mark: shown as occupied, never part of the game.
        if (cell) {
            send_line("ERROR winning move [%d,%d]", x, y);
        } else {
            cell = 3;
        }
        return true;
    default:
        return false;
    }
}

void command_board(const char*) {
    wait_idle();
    do {
        if (!read_line()) end_program();
    } while (board_line());
    if (strcasecmp(line_buffer, "done") != 0) {
        send_line("ERROR x,y,who or DONE expected after BOARD");
    }
    start_think();
}

// The record only ever loses its last move. A cell that names an earlier move
// of the record is refused: taking back a different stone than the one named
// would leave the manager's board and the record disagreeing. A marked cell
// that is not in the record (a winning mark) is simply cleared.
void command_takeback(const char* arg) {
    wait_idle();
    int32_t x, y;
    if (!scan_coordinates(arg, x, y) || protocol_cell(x, y) == 0) {
        send_line("ERROR bad coordinates");
        return;
    }
    const Square s = square_at(x, y);
    const int count = game_record.count;
    const bool is_last = count > 0 && game_record.moves[count - 1] == s;
    if (!is_last) {
        for (int i = 0; i < count; ++i) {
            if (game_record.moves[i] == s) {
                send_line("ERROR bad coordinates");
                return;
            }
        }
    }
    protocol_cell(x, y) = 0;
    if (is_last) take_back();
    send_line("OK");
}

// Console play runs its thinks on this thread, so a think of the worker must
// be over before it starts.
void command_console(const char*) {
    wait_done();
    console_main();
}

struct Command {
    const char* keyword;
    void (*run)(const char* argument);
};

// Tested in this order; the first keyword that prefixes the line wins.
constexpr Command commands[] = {
    {"info", command_info},       {"start", command_start},       {"rectstart", command_rectstart},
    {"restart", command_restart}, {"turn", command_turn},         {"play", command_play},
    {"begin", command_begin},     {"about", command_about},       {"end", command_end},
    {"board", command_board},     {"takeback", command_takeback}, {"kqmain", command_console},
};

} // namespace

void skip_space(const char*& p) {
    while (is_space(*p)) ++p;
}

bool scan_number(const char*& p, int32_t& value) {
    const char* q = p;
    skip_space(q);
    bool negative = false;
    if (*q == '+' || *q == '-') negative = *q++ == '-';
    if (!is_digit(*q)) return false;
    value = read_digits(q, negative);
    p = q;
    return true;
}

int32_t parse_long(const char* text) {
    const char* p = text;
    int32_t v;
    return scan_number(p, v) ? v : 0;
}

bool read_line() {
    int i = 0;
    for (;;) {
        const int c = getc(command_input);
        if (c == EOF) return false;
        if (i < LINE_CAPACITY) line_buffer[i++] = char(c);
        if (c == '\n') break;
    }
    // Replaces the '\n', or on an overlong line its 65536th character.
    line_buffer[i - 1] = '\0';
    if (i >= 2 && line_buffer[i - 2] == '\r') line_buffer[i - 2] = '\0';
    return true;
}

const char* match_keyword(const char* keyword, const char* text) {
    const size_t n = strlen(keyword);
    if (strncasecmp(text, keyword, n) != 0) return nullptr;
    const char* p = text + n;
    skip_space(p);
    return p;
}

void do_command() {
    for (const Command& c : commands) {
        if (const char* arg = match_keyword(c.keyword, line_buffer)) {
            c.run(arg);
            return;
        }
    }
    if (engine_face->command && engine_face->command(line_buffer)) return;
    send_line("UNKNOWN command");
}

// The whole line is written under the stream lock, so a reply of the worker
// and one of the main thread never mix within a line.
void send_line(const char* format, ...) {
    va_list args;
    va_start(args, format);
    lock_output();
    vprintf(format, args);
    putchar('\n');
    fflush(stdout);
    unlock_output();
    va_end(args);
}

void register_exit_hook() {
    if (exit_hook_registered) return;
    atexit(exit_hook);
    exit_hook_registered = 1;
}

void exit_hook() {
    engine_free();
    fputs("MESSAGE #\n", stdout);
}

void end_program() {
    if (engine_face->stop) engine_face->stop();
    wait_done();
    program_exit(0);
    abort(); // program_exit does not return
}

int protocol_main(const EngineFace& face) {
    engine_face = &face;
    prepare_streams();
    start_worker();
    for (;;) {
        if (!read_line()) end_program();
        do_command();
    }
}

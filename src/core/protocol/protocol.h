// The protocol front end: command loop, think worker, game record and referee.
//
// The main thread reads command lines and runs every command; the think worker
// runs one think per request. They share two events and nothing else: every
// command that reads or changes the game first calls wait_idle, so the game
// record, the boards and the whole engine are only touched while the worker is
// idle. The front end owns the GameRecord, the front-end board (colour of each
// recorded stone by Square, 2 for empty), the protocol board (the manager's
// view: cell (x,y) at index x * 15 + y; 0 empty, 1 own, 2 opponent, 3 mark)
// and the time settings.
#pragma once

#include <cstdint>
#include <cstdio>

#include "../types.h"

// What distinguishes one engine binary from another behind the same front
// end: each binary's main hands its engine's face to protocol_main. Every hook
// but `think` may be null; a face without `command` answers every command
// beyond the shared table with UNKNOWN, and one without `info` ignores the
// INFO keys the front end does not use.
struct EngineFace {
    const char* about; // the ABOUT reply
    Square (*think)(GameRecord record);
    bool (*command)(const char* line); // tried before UNKNOWN; true when it took the line
    void (*info)(const char* text);    // an INFO line no time setting took (key and value)
    void (*report)();                  // after a think, before its move reply
    void (*stop)();                    // the program ends: cut a running think short
    // The think budget in ms from the time settings, on the main thread when
    // a move is requested; null: the smaller of timeout_turn - 100 and
    // time_left / 20.
    int32_t (*budget)();
};
extern const EngineFace* engine_face; // the face protocol_main was handed

// Command loop and settings.
extern char line_buffer[65536];
extern int32_t board_width;
extern int32_t board_height;
extern int32_t timeout_turn;
extern int32_t time_left;
extern char folder[256];
extern int32_t exit_hook_registered;

// board_width and board_height are written by the main thread and read by the
// worker while it answers (a size command is stored before it waits), so the
// writes and the worker's reads are relaxed atomic accesses.
inline int32_t size_load(const int32_t& v) { return __atomic_load_n(&v, __ATOMIC_RELAXED); }
inline void size_store(int32_t& v, int32_t x) { __atomic_store_n(&v, x, __ATOMIC_RELAXED); }

// Number scanning for command arguments. scan_number reads one decimal number
// the way a "%d" conversion does (leading white space, optional sign, at least
// one digit) and advances p past it; out-of-range values clamp to the int32
// range instead of overflowing. parse_long converts like atol (no digits: 0),
// clamped the same way.
bool scan_number(const char*& p, int32_t& value);
int32_t parse_long(const char* text);
void skip_space(const char*& p);

// Where command lines come from (standard input) and how the program ends
// (exit). A driver that runs the front end inside another program points
// command_input at its own stream and installs a program_exit that hands
// control back to itself; it must not return to its caller.
extern FILE* command_input;
extern void (*program_exit)(int status);

bool read_line();                                                 // false at end of input
const char* match_keyword(const char* keyword, const char* text); // null when no match
void do_command();
void send_line(const char* format, ...) __attribute__((format(printf, 1, 2)));
void exit_hook();
void register_exit_hook();                 // once per process, however many size commands
int protocol_main(const EngineFace& face); // the process entry: events, worker, command loop

// Think worker and time allotment.
void start_worker();
void wait_idle();
void wait_done(); // waits for the worker without the board-size fallback
void start_think();
void fix_think_budget(); // think_start and think_budget from the settings
void reply_move();
[[noreturn]] void end_program(); // waits for the worker, then program_exit(0)

// Game record and referee.
extern GameRecord game_record;
extern uint8_t frontend_board[256];
extern int32_t protocol_board[BOARD_SIZE * BOARD_SIZE];
extern uint8_t game_live;

bool record_move(Square m);
void clear_protocol_board();
void new_game();
void reset_game();
void take_back();

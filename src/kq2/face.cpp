// The tournament engine's face: what it adds to the shared front end.
//
//  - ABOUT names it;
//  - STOP and YXSTOP end a running think at once (its best move so far is
//    answered); END and the end of input stop a think before the program
//    waits for it;
//  - YXSHOWFORBID lists black's forbidden points in the current position;
//  - YXHASHCLEAR empties the tables, so the next think starts as in a new
//    process (an analysis board sends it between unrelated positions);
//  - INFO rule, max_memory, max_depth, max_node, thread_num and show_detail
//    set the rule and the engine's limits; timeout_match and game_type are
//    accepted and change nothing;
//  - its own think budget: nearly the whole turn, and a share of the match
//    clock (time_left);
//  - after every think of the protocol a report line: depth, value, nodes,
//    time, speed and the principal variation.
#include <cstdio>
#include <cstring>

#include "../core/board/board.h"
#include "../core/engine/engine.h"
#include "../core/protocol/protocol.h"
#include "../core/solver/solver.h"
#include "../core/timing.h"
#include "kq2.h"

namespace {

void send_report() {
    char text[1200];
    kq2::format_report(text, sizeof text);
    send_line("MESSAGE %s", text);
}

void stop_think() { think_stop.store(true, std::memory_order_relaxed); }

// Rule bits: 1 exactly five, 2 continuous game, 4 renju, 8 caro. Renju wins
// over exactly five; the bits this engine does not play are said and left.
void set_rule(int32_t value) {
    const uint8_t rule = (value & 4) ? RULE_RENJU : (value & 1) ? RULE_EXACT : RULE_FREE;
    if (value < 0 || (value & ~5) != 0) {
        static const char* const names[] = {"five or more", "exactly five", "", "", "renju"};
        send_line("MESSAGE rule %d is not supported; playing %s (rule %d)", value, names[rule],
                  rule);
    }
    wait_done();
    select_rule(rule);
}

void tournament_info(const char* text) {
    const char* value;
    if ((value = match_keyword("rule", text))) {
        const char* p = value;
        int32_t rule;
        if (scan_number(p, rule)) {
            set_rule(rule);
        } else {
            send_line("MESSAGE rule %s is not a number; the rule is unchanged", value);
        }
    } else if ((value = match_keyword("max_memory", text))) {
        const int32_t bytes = parse_long(value);
        wait_done();
        kq2::settings.max_memory = bytes > 0 ? bytes : 0;
        kq2::setup_tables();
    } else if ((value = match_keyword("max_depth", text))) {
        const int32_t depth = parse_long(value);
        kq2::settings.max_depth = depth > 0 ? depth : 0;
    } else if ((value = match_keyword("max_node", text))) {
        const int32_t nodes = parse_long(value);
        kq2::settings.max_nodes = nodes > 0 ? nodes : 0;
    } else if ((value = match_keyword("show_detail", text))) {
        kq2::settings.show_detail = parse_long(value) != 0;
    }
    // thread_num, timeout_match, game_type and anything else: accepted.
    // The settings of a new game come while the engine waits: a moment to
    // touch some of the tables' pages, which a think would otherwise pay for.
    if (!kq2::thinking.load()) kq2::touch_tables(clock_ms() + 5);
}

// "FORBID " and every forbidden point for black as xxyy, then ".". Only black
// to move under renju has any.
void show_forbidden() {
    wait_done();
    char line[8 + 4 * MAX_MOVES + 2] = "FORBID ";
    int n = 7;
    const bool black_to_move = game_record.count % 2 == 0;
    if (black_to_move && game_rule == RULE_RENJU && load_position(game_record)) {
        for (int y = 0; y < BOARD_SIZE; ++y)
            for (int x = 0; x < BOARD_SIZE; ++x) {
                const Square s = Square(y * 16 + x);
                if (cells[s] == EMPTY && is_forbidden(s))
                    n += std::snprintf(line + n, sizeof line - size_t(n), "%02d%02d", x, y);
            }
    }
    line[n++] = '.';
    line[n] = '\0';
    send_line("%s", line);
}

// The whole turn less what the reply needs to reach the manager and a margin
// for the process being held up (a sixteenth of the turn, at least 12 ms and
// at most 150 ms); with a match clock, at most a twentieth of the time left,
// so the clock is spread over the game and a move never takes what the moves
// after it need.
int32_t tournament_budget() {
    const int64_t turn = timeout_turn;
    int64_t reserve = turn / 16;
    if (reserve < 12) reserve = 12;
    if (reserve > 150) reserve = 150;
    int64_t budget = turn - reserve;
    if (time_left >= 1 && time_left / 20 < budget) budget = time_left / 20;
    return budget < INT32_MIN ? INT32_MIN : int32_t(budget);
}

// The search and threat tables, the move history and this engine's part of
// the solver's table; the sizes stay.
void clear_tables() {
    wait_done();
    kq2::clear_search_table();
    kq2::clear_threat_table();
    std::memset(solver_table, 0, 2 * (size_t(kq2::solver_mask_in_use) + 1) * sizeof(SolverEntry));
}

bool tournament_command(const char* line) {
    if (match_keyword("stop", line) || match_keyword("yxstop", line)) {
        stop_think();
        return true;
    }
    if (match_keyword("yxshowforbid", line)) {
        show_forbidden();
        return true;
    }
    if (match_keyword("yxhashclear", line)) {
        clear_tables();
        return true;
    }
    return false;
}

} // namespace

const EngineFace kq2::tournament_face = {
    "name=\"kq2\", author=\"the kq developers\", version=\"0.1\", country=\"None\", "
    "www=\"None\"",
    kq2::think,
    tournament_command,
    tournament_info,
    send_report,
    stop_think,
    tournament_budget,
};

// Everything is set up before the first command, so no think pays for it.
// The search tables are taken for the default memory limit and taken again
// when INFO max_memory names another; their pages are only touched by use.
void kq2::prepare_face() {
    kq2::iteration_hook = send_report;
    engine_init();
    kq2::setup_tables();
}

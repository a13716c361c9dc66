// The protocol front end on arbitrary byte streams: each input is what a
// manager might write to the engine's standard input, BOARD blocks and
// console sessions included. The commands run in this process, one line at a
// time, with the thinks on this thread (no worker is started) and their
// budgets cut to at most 1 ms. END and end of input inside a BOARD block end
// the session where the program would exit.
//
// After every command: the record, the front-end board and the manager's
// board agree, and every move announced was the answer of a think that the
// wrapped think found legal (see fuzz_support.h). Inputs of odd length talk
// to the tournament engine's face (its rules, limits, STOP and foul query),
// the others to the exact engine's; each input starts under renju.
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/board/board.h"
#include "fuzz_support.h"
#include "kq/kq.h"
#include "kq2/kq2.h"

namespace {

// Not a local: a session may be left by longjmp.
std::string line;

void run_session() {
    while (read_line()) {
        fuzz::force_tiny_budget();
        line = line_buffer;
        fuzz::think_answers().clear();
        fuzz::Output::clear();
        do_command();
        fuzz::check_announcements(fuzz::Output::text());
        // A console game records moves the manager never named.
        if (match_keyword("kqmain", line.c_str())) fuzz::boards_in_step() = false;
        fuzz::check_front_end(true);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::Output::capture();
    program_exit = fuzz::end_session;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::reset_front_end();
    engine_face = size % 2 ? &kq2::tournament_face : &exact_face;
    engine_init();
    select_rule(RULE_RENJU);
    kq2::reset_settings();
    FILE* input = fuzz::open_input(data, size);
    if (!input) return 0;
    command_input = input;
    if (setjmp(fuzz::session_end()) == 0) {
        run_session();
    } else {
        // END or end of input inside a block: what the program left behind.
        fuzz::check_announcements(fuzz::Output::text());
        fuzz::check_front_end(true);
    }
    command_input = stdin;
    std::fclose(input);
    return 0;
}

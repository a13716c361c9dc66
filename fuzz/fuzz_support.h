// Shared by the fuzz harnesses: the front end run inside the fuzzer process,
// its output captured, and the invariants checked after every input.
//
// The harnesses link with --wrap for think and record_move, so every think
// and every recorded move of the front end, the console and the harness
// itself passes through the checks below:
//  - a think on a legal record names an empty on-board square while one
//    exists (the centre on an empty board, no move on a full one), and for
//    black no foul unless it completes or blocks a five; on an illegal record
//    it names none;
//  - after a think the engine board is the loaded position again: stones,
//    ply and keys exactly, and every LineShape either its fresh-load value or
//    its settled value, with classes, class counts and shape keys consistent;
//  - the game record, the front-end board and (while no console game or a
//    move before any game has intervened) the manager's board agree.
// A violated invariant aborts, which the fuzzer reports as a crash. The
// wrappers are defined here, so each harness includes this file exactly once.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/board/board.h"
#include "core/console/console.h"
#include "core/protocol/protocol.h"
#include "core/timing.h"
#include "kq/kq.h"
#include "kq2/kq2.h"
#include "test_support.h"

extern "C" Square __real__Z5think10GameRecord(GameRecord record);
extern "C" Square __real__ZN3kq25thinkE10GameRecord(GameRecord record);
extern "C" bool __real__Z11record_moveh(Square m);

namespace fuzz {

[[noreturn]] inline void fail(const char* what, const GameRecord* record = nullptr) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    if (record) {
        std::fprintf(stderr, "record (%d moves):", record->count);
        for (int i = 0; i < record->count && i < MAX_MOVES; ++i)
            std::fprintf(stderr, " %c%c", 'A' + (record->moves[i] & 15),
                         'A' + (record->moves[i] >> 4));
        std::fprintf(stderr, "\n");
    }
    std::abort();
}

// Moves answered by think since the last clear, in order.
inline std::vector<Square>& think_answers() {
    static std::vector<Square> answers;
    return answers;
}

// --- Legality of a record, judged independently of load_position. ---

inline bool record_is_legal(const GameRecord& r) {
    if (r.count > MAX_MOVES) return false;
    bool seen[256] = {};
    for (int i = 0; i < r.count; ++i) {
        const Square m = r.moves[i];
        if (!on_board(m) || seen[m]) return false;
        seen[m] = true;
    }
    return true;
}

// --- The engine board after a think against a fresh load of its record. ---

inline void check_board_restored(const GameRecord& record) {
    const BoardSnapshot after = BoardSnapshot::take();
    uint16_t after_keys[2][256];
    std::memcpy(after_keys, shape_key, sizeof after_keys);
    if (!load_position(record)) fail("a legal record no longer loads", &record);
    const BoardSnapshot fresh = BoardSnapshot::take();
    settle_all_lines();
    const BoardSnapshot settled = BoardSnapshot::take();

    if (std::memcmp(after.cells, fresh.cells, sizeof after.cells) != 0 || after.ply != fresh.ply ||
        after.hash_index != fresh.hash_index || after.hash_lock != fresh.hash_lock)
        fail("think left stones, ply or keys changed", &record);
    static const int weight[4] = {1, 11, 121, 1331};
    for (int c = 0; c < 2; ++c) {
        int32_t counted[CLASS_SLOTS] = {};
        for (int s = 0; s < 256; ++s) {
            if (!on_board(unsigned(s))) continue;
            int key = 0;
            unsigned index = 0;
            for (int d = 0; d < 4; ++d) {
                const uint8_t v = after.line_shape[c][d][s];
                if (v != fresh.line_shape[c][d][s] && v != settled.line_shape[c][d][s])
                    fail("think left a LineShape that is neither fresh nor settled", &record);
                key += v * weight[d];
                index |= unsigned(v) << (4 * d);
            }
            if (after_keys[c][s] != key) fail("shape key out of step with the shapes", &record);
            const uint8_t k = after.square_class[c][s];
            if (k >= CLASS_SLOTS) fail("SquareClass out of range", &record);
            if (cells[s] == EMPTY && k != class_table[c][index])
                fail("SquareClass out of step with the shapes", &record);
            if (cells[s] != EMPTY && k != fresh.square_class[c][s])
                fail("occupied square with a class", &record);
            counted[k]++;
        }
        for (int k = CLASS_TWO; k <= CLASS_OVERLINE; ++k)
            if (counted[k] != after.class_count[c][k]) fail("class_count off", &record);
    }
}

// --- The answer of one think. ---

inline void check_answer(const GameRecord& record, Square m) {
    if (engine_busy) fail("think left the busy flag set", &record);
    if (!record_is_legal(record)) {
        if (m != NO_MOVE) fail("a move on an illegal record", &record);
        return;
    }
    check_board_restored(record); // leaves the record loaded and settled
    if (record.count == 0) {
        if (m != CENTRE) fail("not the centre on an empty board", &record);
        return;
    }
    if (record.count == MAX_MOVES) {
        if (m != NO_MOVE) fail("a move on a full board", &record);
        return;
    }
    if (!on_board(m) || cells[m] != EMPTY) fail("answer is not an empty on-board square", &record);
    if ((record.count & 1) == 0 && is_forbidden(m) && square_class[BLACK][m] != CLASS_FIVE &&
        square_class[WHITE][m] != CLASS_FIVE) {
        // A foul is acceptable only when black has nothing else.
        for (int s = 0; s < 240; ++s)
            if (on_board(unsigned(s)) && cells[s] == EMPTY && !is_forbidden(Square(s)))
                fail("black answered a foul with legal squares left", &record);
    }
}

// --- Game record, front-end board and the manager's board. ---

// Before the first reset the front-end board is all zero and takes nothing;
// a reset marks every entry empty, the off-board ones for good.
inline bool game_opened() { return frontend_board[15] == EMPTY; }

// Whether the manager's board is known to mirror the record: from a moment
// both were empty in an open game until a console game intervenes or the
// declared size drops below 15.
inline bool& boards_in_step() {
    static bool in_step = false;
    return in_step;
}

// The record against the front-end board; with `manager` also against the
// manager's board, which is only in step between commands.
inline void check_front_end(bool manager) {
    const GameRecord& r = game_record;
    if (r.count > MAX_MOVES) fail("record longer than the board");
    if (!game_opened()) {
        if (r.count != 0) fail("moves recorded before any game", &r);
        for (uint8_t v : frontend_board)
            if (v != 0) fail("front-end board written before any game", &r);
    } else {
        if (!record_is_legal(r)) fail("record holds an off-board or repeated square", &r);
        uint8_t expected[256];
        std::memset(expected, EMPTY, sizeof expected);
        for (int i = 0; i < r.count; ++i) expected[r.moves[i]] = (i % 2 == 0) ? BLACK : WHITE;
        if (std::memcmp(expected, frontend_board, sizeof expected) != 0)
            fail("front-end board differs from the record", &r);
    }
    if (!manager) return;
    bool stones = false;
    for (int32_t v : protocol_board) {
        if (v < 0 || v > 3) fail("manager's board holds a bad value", &r);
        stones |= v == 1 || v == 2;
    }
    // Under a declared size below 15 the engine's own move can fall outside
    // the manager's board: it is recorded but the manager's cell stays empty.
    if (board_width < BOARD_SIZE || board_height < BOARD_SIZE) boards_in_step() = false;
    if (!boards_in_step() && game_opened() && r.count == 0 && !stones) boards_in_step() = true;
    if (boards_in_step()) {
        bool in_record[256] = {};
        for (int i = 0; i < r.count; ++i) in_record[r.moves[i]] = true;
        for (int x = 0; x < BOARD_SIZE; ++x)
            for (int y = 0; y < BOARD_SIZE; ++y) {
                // The engine knows nothing of the manager's marks (3): its move
                // may land on one, and is then recorded under the mark.
                const int32_t v = protocol_board[x * BOARD_SIZE + y];
                const bool recorded = in_record[y * 16 + x];
                if ((v == 1 || v == 2) ? !recorded : (recorded && v != 3))
                    fail("manager's board differs from the record", &r);
            }
    }
}

// --- The front end as a fresh process would hold it. ---

inline void reset_front_end() {
    size_store(board_width, 0);
    size_store(board_height, 0);
    timeout_turn = 30000;
    time_left = 1000000000;
    std::memset(folder, 0, sizeof folder);
    clear_protocol_board();
    game_record.count = 0;
    std::memset(frontend_board, 0, sizeof frontend_board);
    game_live = 0;
    mode = 0;
    std::memset(console_argument, 0, sizeof console_argument);
    boards_in_step() = false;
    think_answers().clear();
}

// Every think ends at its first time check or soon after: the budget is at
// most 1 ms whatever INFO said.
inline void force_tiny_budget() {
    if (timeout_turn > 101) timeout_turn = 101;
}

// --- Standard output into memory. ---

// Standard output goes to an anonymous memory file for the whole run; each
// input starts it empty, and the text written so far can be read back.
class Output {
public:
    static void capture() {
        const int fd = memfd_create("kq-fuzz-stdout", 0);
        if (fd < 0 || dup2(fd, 1) < 0) std::abort();
        close(fd);
    }
    static void clear() {
        std::fflush(stdout);
        if (ftruncate(1, 0) != 0 || lseek(1, 0, SEEK_SET) != 0) std::abort();
    }
    // Everything written since the last clear.
    static std::string text() {
        std::fflush(stdout);
        std::string s;
        char chunk[65536];
        for (off_t at = 0;;) {
            const ssize_t n = pread(1, chunk, sizeof chunk, at);
            if (n <= 0) break;
            s.append(chunk, size_t(n));
            at += n;
        }
        return s;
    }
};

// Each "MESSAGE computer: #XY" (or "Pass.") in the output is the answer of
// one think, in the order the thinks ran.
inline void check_announcements(const std::string& out) {
    const std::vector<Square>& answers = think_answers();
    size_t next = 0;
    const std::string tag = "MESSAGE computer: ";
    for (size_t at = out.find(tag); at != std::string::npos; at = out.find(tag, at + 1)) {
        const char* p = out.c_str() + at + tag.size();
        Square said;
        if (std::strncmp(p, "Pass.\n", 6) == 0) {
            said = NO_MOVE;
        } else if (p[0] == '#' && p[1] >= 'A' && p[1] <= 'O' && p[2] >= 'A' && p[2] <= 'O' &&
                   p[3] == '\n') {
            said = Square((p[2] - 'A') * 16 + (p[1] - 'A'));
        } else {
            fail("malformed move announcement");
        }
        while (next < answers.size() && answers[next] != said) ++next;
        if (next == answers.size()) fail("announced a move no think gave");
        ++next;
    }
}

// --- Running the front end on a byte stream. ---

// Where program_exit returns to: END, or end of input inside a BOARD block.
inline std::jmp_buf& session_end() {
    static std::jmp_buf at;
    return at;
}

[[noreturn]] inline void end_session(int) { std::longjmp(session_end(), 1); }

// A read stream over the input bytes; null for an empty input.
inline FILE* open_input(const uint8_t* data, size_t size) {
    if (size == 0) return nullptr;
    return fmemopen(const_cast<uint8_t*>(data), size, "r");
}

} // namespace fuzz

// The wrapped entries: every caller in the library and the harness lands here.
extern "C" Square __wrap__Z5think10GameRecord(GameRecord record) {
    const Square m = __real__Z5think10GameRecord(record);
    fuzz::check_answer(record, m);
    fuzz::think_answers().push_back(m);
    return m;
}

extern "C" Square __wrap__ZN3kq25thinkE10GameRecord(GameRecord record) {
    const Square m = __real__ZN3kq25thinkE10GameRecord(record);
    // The board is compared with a fresh load as the tournament engine keys it.
    const kq2::SolverScope scope;
    fuzz::check_answer(record, m);
    fuzz::think_answers().push_back(m);
    return m;
}

extern "C" bool __wrap__Z11record_moveh(Square m) {
    const GameRecord before = game_record;
    const bool open = fuzz::game_opened();
    const bool free_square = on_board(m) && frontend_board[m] == EMPTY;
    const bool taken = __real__Z11record_moveh(m);
    if (taken != (open && free_square && before.count < MAX_MOVES))
        fuzz::fail("record_move took a move it should refuse, or refused a free one", &before);
    if (taken) {
        if (game_record.count != before.count + 1 || game_record.moves[before.count] != m)
            fuzz::fail("record_move did not append the move", &game_record);
    } else if (std::memcmp(&before, &game_record, sizeof before) != 0) {
        fuzz::fail("a refused move changed the record", &before);
    }
    fuzz::check_front_end(false);
    return taken;
}

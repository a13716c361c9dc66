// The think driver of the tournament engine: from a game record to a move
// within the budget its face fixed (think_start, think_budget: nearly the
// whole turn, or a share of the match clock).
//
// Time: every search stops at hard_limit, a little short of the budget; the
// threat searches before the main search get shares of it; the main search
// stops a twentieth earlier, which is kept for the check of the chosen move;
// iterations start while any of its time is left (time a turn does not use
// is lost, and an unfinished iteration still counts where it found a better
// first move). Forced moves (a five, the block of a five, a found win) are
// answered at once.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "../core/board/board.h"
#include "../core/engine/engine.h"
#include "../core/solver/solver.h"
#include "../core/timing.h"
#include "kq2.h"

namespace kq2 {

Settings settings;
ThinkReport report;

void reset_settings() {
    settings.max_memory = 350ll << 20;
    settings.max_depth = 0;
    settings.max_nodes = 0;
    settings.show_detail = false;
}

namespace {

constexpr int32_t ROOT_FOUR_TRIES = 20000;
constexpr int ROOT_QUIET_LIMIT = 40;
constexpr int MAX_THREE_DEPTH = 14; // attacking moves of a win by threes
// Wins by threes of up to this many attacking moves are looked for first,
// shortest first; then any win, by a proof-number search.
constexpr int SHORT_THREE_DEPTH = 4;
// Threat-search nodes allowed in a turn of up to BASE_TURN_MS: a search for
// the mover's win by threes, one for the opponent's, and one check of a root
// move. A longer turn allows them in proportion (see allowance).
constexpr int32_t BASE_TURN_MS = 300;
constexpr int MAX_GROWTH = 32;
constexpr int64_t OWN_THREE_NODES = 100000;
constexpr int64_t THEIR_THREE_NODES = 50000;
constexpr int64_t CHECK_THREE_NODES = 3000;
constexpr int64_t CHECK_TOTAL_NODES = 200000;
constexpr int32_t CHECK_FOUR_TRIES = 1000;
// Checks of the chosen move against a win by threes of the opponent.
constexpr int VERIFY_ROUNDS = 3;
constexpr int VERIFY_DEPTH = 8;
constexpr int64_t VERIFY_NODES = 25000;

int32_t share(int percent) { return int32_t(int64_t(hard_limit) * percent / 100); }

// Threat-search nodes for one phase: its own allowance, times the turn's
// length in BASE_TURN_MS (at most MAX_GROWTH) when the think has a clock and
// neither a depth nor a node limit, so that the threat searches keep their
// share of a long turn as of a short one (their deadlines bound them as
// well); or a part of the node limit of the move when that is smaller.
int64_t allowance(int64_t nodes, int part) {
    if (settings.max_depth == 0 && settings.max_nodes == 0 && hard_limit > BASE_TURN_MS) {
        const int64_t growth = hard_limit / BASE_TURN_MS;
        nodes *= growth < MAX_GROWTH ? growth : MAX_GROWTH;
    }
    const int64_t cap = settings.max_nodes;
    const int64_t limit = cap / part;
    return cap > 0 && limit < nodes ? (limit > 0 ? limit : 1) : nodes;
}

// Searching for a win by threes until the deadline: the short ones with
// rising depth, then any. The depth of a short win found, max_depth for a
// longer one, 0 when none was.
int deepening_vct(uint8_t side, int32_t deadline, int64_t nodes, Square* move,
                  int max_depth = MAX_THREE_DEPTH) {
    threat_deadline = deadline;
    const int64_t end = threat_nodes + nodes;
    for (int depth = 1; depth <= SHORT_THREE_DEPTH && depth <= max_depth && threat_nodes < end;
         ++depth) {
        const int result = vct(side, depth, (end - threat_nodes) / 2 + 1, move);
        if (result == 0) continue;
        threat_deadline = INT32_MAX;
        return result == 1 ? depth : 0;
    }
    const bool won = threat_nodes < end && vct_proof(side, end - threat_nodes, move) == 1;
    threat_deadline = INT32_MAX;
    return won ? max_depth : 0;
}

Square decided(Square m, const char* reason, int value) {
    report.reason = reason;
    report.value = value;
    report.pv[0] = m;
    report.pv_length = 1;
    return m;
}

// The empty square nearest the centre that the side may play; for a record
// whose every candidate is a foul.
Square any_legal(uint8_t side) {
    Square best = NO_MOVE;
    int best_distance = INT_MAX;
    for (int s = 0; s < 240; ++s) {
        if (!on_board(s) || cells[s] != EMPTY) continue;
        if (best == NO_MOVE) best = Square(s);
        if (restricted(side) && is_forbidden(Square(s))) continue;
        const int dr = (s >> 4) - 7, dc = (s & 15) - 7;
        const int distance = dr * dr + dc * dc;
        if (distance < best_distance) {
            best_distance = distance;
            best = Square(s);
        }
    }
    return best;
}

// The root moves when the opponent holds a win by fours or by threes: the
// moves after which it no longer does, checked one by one while time allows
// (unchecked ones are kept). When every move checked loses, the moves that
// lose only to threes are kept over those that lose to fours: the search then
// chooses the longest resistance among them.
int keep_defences(Square* moves, int n, uint8_t side, int three_depth, int32_t deadline,
                  bool& hopeless) {
    const uint8_t other = uint8_t(1 - side);
    uint8_t verdict[MAX_MOVES]; // 0 holds (or unchecked), 1 loses to threes, 2 to fours
    int best = 2;
    const int64_t node_end = threat_nodes + allowance(CHECK_TOTAL_NODES, 4);
    for (int i = 0; i < n; ++i) {
        const Square m = moves[i];
        verdict[i] = 0;
        if (think_elapsed() < deadline && threat_nodes < node_end) {
            place_stone(m, side);
            if (class_count[side][CLASS_FIVE] == 0) { // a four is searched, not judged here
                Square unused;
                if (class_count[other][CLASS_FIVE] > 0 || vcf(other, CHECK_FOUR_TRIES, &unused)) {
                    verdict[i] = 2;
                } else if (three_depth > 0 &&
                           deepening_vct(other, deadline, allowance(CHECK_THREE_NODES, 64), &unused,
                                         three_depth) > 0) {
                    verdict[i] = 1;
                }
            }
            remove_stone();
        }
        if (verdict[i] < best) best = verdict[i];
    }
    int k = 0;
    for (int i = 0; i < n; ++i)
        if (verdict[i] == best) moves[k++] = moves[i];
    hopeless = best > 0;
    return k;
}

Square think_position(GameRecord& record) {
    const uint8_t side = uint8_t(~record.count & 1), other = uint8_t(1 - side);
    if (record.count == 0) return decided(CENTRE, "opening", 0);
    if (record.count >= MAX_MOVES) return NO_MOVE;

    Square m = five_point(side);
    if (m != NO_MOVE) return decided(m, "five", WIN - 1);
    m = five_point(other);
    if (m != NO_MOVE && (!restricted(side) || !is_forbidden(m)))
        return decided(m, "block", class_count[other][CLASS_FIVE] > 1 ? -(WIN - 2) : 0);

    if (m == NO_MOVE) {
        if (vcf(side, ROOT_FOUR_TRIES, &m)) return decided(m, "win by fours", WIN - 9);
        if (deepening_vct(side, share(20), allowance(OWN_THREE_NODES, 4), &m))
            return decided(m, "win by threes", WIN - 19);
    }

    // The opponent's threats narrow the root.
    Square moves[MAX_MOVES];
    int n;
    Square unused;
    bool hopeless = false;
    const bool by_fours = m == NO_MOVE && (class_count[other][CLASS_OPEN_FOUR] > 0 ||
                                           vcf(other, ROOT_FOUR_TRIES, &unused));
    if (by_fours) {
        n = generate_defences(moves, class_count[other][CLASS_OPEN_FOUR] == 0);
        n = keep_defences(moves, n, side, 4, share(40), hopeless);
    } else {
        n = generate_moves(moves, ROOT_QUIET_LIMIT);
        const int depth =
            m == NO_MOVE ? deepening_vct(other, share(30), allowance(THEIR_THREE_NODES, 8), &unused)
                         : 0;
        if (depth > 0) n = keep_defences(moves, n, side, depth + 1, share(55), hopeless);
    }
    if (n == 0) return decided(any_legal(side), "no candidate", 0);

    RootMove root[MAX_MOVES];
    for (int i = 0; i < n; ++i) root[i] = {moves[i], 0, 0};
    report.search_ms = think_elapsed();
    report.root_moves = n;
    report.reason = "";
    const int32_t depth_cap = settings.max_depth;
    const int max_depth = depth_cap > 0 ? depth_cap : MAX_PLY;
    // The main search stops a twentieth of the time early: what is left is
    // for the check below, which mostly needs a few milliseconds and gives up
    // (the move stands) at the limit.
    const int32_t check_limit = hard_limit;
    hard_limit -= hard_limit / 20;
    search_root(root, n, max_depth, settings.max_nodes);
    // The chosen move must not hand the opponent a win by threes that the
    // search was too shallow to see. A refuted choice is dropped; the rest are
    // searched again while time is left, or else the next best of the
    // search's order is checked in its place.
    for (int round = 0; round < VERIFY_ROUNDS && !hopeless && n > 1 && root[0].value < MATE_BOUND;
         ++round) {
        Square refutation;
        place_stone(root[0].move, side);
        const bool refuted = class_count[side][CLASS_FIVE] == 0 &&
                             deepening_vct(other, check_limit, allowance(VERIFY_NODES, 16),
                                           &refutation, VERIFY_DEPTH) > 0;
        remove_stone();
        if (!refuted || time_up) break;
        std::memmove(&root[0], &root[1], sizeof(RootMove) * size_t(--n));
        report.pv_length = 0;
        if (think_elapsed() < hard_limit) search_root(root, n, max_depth, settings.max_nodes);
    }
    hard_limit = check_limit;
    if (report.pv_length == 0 || report.pv[0] != root[0].move) {
        report.pv[0] = root[0].move;
        report.pv_length = 1;
        // A move below the best of the last iteration has no exact value of
        // its own: the one of the iteration before, when it had one.
        const int v = root[0].value > -INF + 1 ? root[0].value : root[0].previous;
        report.value = v > -INF + 1 ? v : 0;
    }
    return root[0].move;
}

} // namespace

SolverScope::SolverScope()
    : strict(solver_strict), restore(restore_on_remove), mask(solver_mask), salt(lock_salt) {
    solver_strict = true;
    restore_on_remove = true;
    solver_mask = solver_mask_in_use;
    lock_salt = 0x2545F491u;
}

SolverScope::~SolverScope() {
    solver_strict = strict;
    restore_on_remove = restore;
    solver_mask = mask;
    lock_salt = salt;
}

std::atomic<bool> thinking{false};

namespace {
// `thinking` for as long as it lasts.
struct ThinkingFlag {
    ThinkingFlag() { thinking.store(true); }
    ~ThinkingFlag() { thinking.store(false); }
};
} // namespace

Square think(GameRecord record) {
    const ThinkingFlag flag;
    engine_init();
    if (!engine_initialised) return NO_MOVE;
    setup_tables(); // both searches also work without their tables
    time_up = 0;
    search_nodes = 0;
    threat_nodes = 0;
    report = ThinkReport();
    // A little short of the budget, so the reply is written in time.
    const int64_t margin = think_budget / 32 > 3 ? think_budget / 32 : 3;
    const int64_t limit = int64_t(think_budget) - margin;
    hard_limit = int32_t(limit < INT32_MIN ? INT32_MIN : limit);
    // Tables not yet wholly touched: a part now, the searches use what is.
    touch_tables(think_start + hard_limit / 8);
    const SolverScope scope;
    if (!load_position(record)) return NO_MOVE;
    age_history();
    refresh_evaluation();

    Square m = think_position(record);
    if (!on_board(m) || cells[m] != EMPTY) m = any_legal(uint8_t(~record.count & 1));
    report.nodes = search_nodes + threat_nodes;
    report.time_ms = think_elapsed();
    return m;
}

int format_report(char* out, int size) {
    char value[32];
    const int v = report.value;
    if (v > MATE_BOUND)
        std::snprintf(value, sizeof value, "win in %d", WIN - v);
    else if (v < -MATE_BOUND)
        std::snprintf(value, sizeof value, "loss in %d", WIN + v);
    else
        std::snprintf(value, sizeof value, "%d", v);
    const int64_t speed = report.time_ms > 0 ? report.nodes * 1000 / report.time_ms : 0;
    int n =
        std::snprintf(out, size_t(size), "depth %d-%d value %s nodes %lld time %d speed %lld pv",
                      report.depth, report.sel_depth, value, static_cast<long long>(report.nodes),
                      report.time_ms, static_cast<long long>(speed));
    for (int i = 0; i < report.pv_length && n < size - 8; ++i)
        n += std::snprintf(out + n, size_t(size - n), " %d,%d", report.pv[i] & 15,
                           report.pv[i] >> 4);
    if (report.reason[0] && n < size - 40)
        n += std::snprintf(out + n, size_t(size - n), " (%s)", report.reason);
    return n;
}

} // namespace kq2

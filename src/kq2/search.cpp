// The main search: iterative deepening over the root moves, each iteration
// in a window around the last one's value (widened when the value falls
// outside), a principal variation search below, a transposition table of
// four-entry buckets.
//
// Every node first settles what needs no search: a five point of the mover
// wins; a five point of the opponent must be blocked (a single reply, at no
// cost in depth; a restricted block on a foul loses); an open-four point of
// the mover wins. Then the table, then a win by fours of the mover. When the
// opponent threatens to win (an open-four point, or a win by fours as if it
// were to move) only the moves that can stop it are searched: the squares
// whose stone leaves no open-four point, and the mover's own fours. At the
// horizon such a node is searched on rather than evaluated, with the blocks
// alone, so the defence of a three is always seen. Quiet moves come from the
// pattern ordering, capped in number; near the horizon and off the principal
// variation a quiet node whose static value is far above beta ends there, and
// late quiet moves are pruned (by count, and by the static value against
// alpha), unless they make a threat; and late moves are searched
// shallower first, the more so the later and deeper they are, threats or not
// (at the root too, by half as much, and there threats never).
// Killers, counter moves and history order the rest.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "../core/board/board.h"
#include "../core/platform/platform.h"
#include "../core/solver/solver.h"
#include "../core/timing.h"
#include "kq2.h"

namespace kq2 {

bool resize_threat_table(uint64_t entries);
void* threat_table_memory(size_t& bytes);
void use_threat_table(size_t touched);

int64_t search_nodes;
int32_t hard_limit;
uint32_t solver_mask_in_use = SOLVER_TABLE_SIZE - 1;
void (*iteration_hook)() = nullptr;
bool search_aborted;

namespace {

// Search table entry, 16 bytes: the full 64-bit key (hash_index above,
// hash_lock below), the value (mate values stored from this node), the
// depth, the bound (low two bits) and the search's generation above them,
// and the best move.
struct TableEntry {
    uint64_t key;
    int16_t value;
    int8_t depth;
    uint8_t bound_age;
    Square move;
    uint8_t unused[3];
};
static_assert(sizeof(TableEntry) == 16, "search entries are 16 bytes");
constexpr int BUCKET = 4; // entries per bucket: one 64-byte line

constexpr uint8_t BOUND_UPPER = 1, BOUND_LOWER = 2, BOUND_EXACT = 3;
constexpr int32_t NODE_FOUR_TRIES = 60; // solver tries for a win by fours at a node
constexpr int QUIESCENCE_PLIES = 2;     // answers to a three past the horizon
constexpr int LIKELY_LOSS = 5000;       // a loss past the horizon that is not proven
// Quiet moves looked at in one node: fewer near the horizon.
inline int quiet_limit(int depth) { return depth >= 6 ? 20 : depth >= 3 ? 15 : 10; }
// Near the horizon, outside the principal variation: quiet moves past this
// count are not searched at all (late-move pruning), and none when the
// static value is this far below alpha (futility).
constexpr int LATE_MOVE_COUNT[5] = {0, 4, 6, 8, 11};
constexpr int FUTILITY_MARGIN = 180;   // per ply of depth left
constexpr int STATIC_CUT_DEPTH = 4;    // a static value this far above beta ends the node
constexpr int STATIC_CUT_MARGIN = 140; // per ply of depth left
constexpr int ROOT_FULL_MOVES = 4;     // root moves searched without reduction
// The root's first window: this far on either side of the last value, from
// this depth on.
constexpr int ASPIRATION = 60;
constexpr int ASPIRATION_DEPTH = 5;

// Reductions of late quiet moves, growing with the depth left and the move's
// place in the order: about ln(depth) * ln(number) / 1.2.
struct ReductionTable {
    int8_t r[64][64];
    ReductionTable() : r() {
        for (int d = 1; d < 64; ++d)
            for (int i = 1; i < 64; ++i) r[d][i] = int8_t(0.5 + std::log(d) * std::log(i) / 1.2);
    }
};
const ReductionTable reductions;

TableEntry* memory = nullptr; // the whole table
uint64_t memory_mask = 0;     // its buckets
uint32_t solver_mask_full = 0;
size_t search_touched = 0; // bytes of the search table touched so far
// The parts in use: what has been touched (see touch_tables); null: none.
TableEntry* table = nullptr;
uint64_t bucket_mask = 0;
int touched_region = 0;   // the first table not wholly touched (3: all are)
size_t touched_bytes = 0; // and how much of it is
uint8_t generation = 0;

Square pv[MAX_PLY][MAX_PLY];
int pv_length[MAX_PLY];
Square killers[MAX_PLY][2];
Square counters[2][256]; // [mover][the opponent's last move]: the move that refuted it last
int64_t node_limit;
int root_depth; // depth of the current iteration

inline uint64_t position_key() { return uint64_t(hash_index) << 32 | hash_lock; }

inline int to_table(int v, int ply) {
    if (v > MATE_BOUND) return v + ply;
    if (v < -MATE_BOUND) return v - ply;
    return v;
}
inline int from_table(int v, int ply) {
    if (v > MATE_BOUND) return v - ply;
    if (v < -MATE_BOUND) return v + ply;
    return v;
}

// Starts loading the bucket of the position after `colour` plays s, so that
// the child's probe, after the placement, finds it cached.
inline void prefetch_child(Square s, uint8_t colour) {
    if (table)
        __builtin_prefetch(
            &table[((hash_index ^ zobrist_index[colour][s]) & bucket_mask) * BUCKET]);
}

TableEntry* probe(uint64_t key) {
    if (!table) return nullptr;
    TableEntry* b = &table[(key >> 32 & bucket_mask) * BUCKET];
    for (int i = 0; i < BUCKET; ++i)
        if (b[i].key == key) return &b[i];
    return nullptr;
}

void store(uint64_t key, int value, int depth, uint8_t bound, Square move, int ply) {
    if (!table || search_aborted) return;
    TableEntry* b = &table[(key >> 32 & bucket_mask) * BUCKET];
    TableEntry* slot = &b[0];
    int worst = 1 << 30;
    for (int i = 0; i < BUCKET; ++i) {
        if (b[i].key == key) {
            slot = &b[i];
            if (move == NO_MOVE) move = b[i].move;
            break;
        }
        // Replace the shallowest entry, older generations first.
        const int age = uint8_t(generation - (b[i].bound_age >> 2)) & 63;
        const int keep = b[i].depth - 4 * age;
        if (keep < worst) {
            worst = keep;
            slot = &b[i];
        }
    }
    slot->key = key;
    slot->value = int16_t(to_table(value, ply));
    slot->depth = int8_t(depth < -100 ? -100 : depth > 120 ? 120 : depth);
    slot->bound_age = uint8_t(bound | generation << 2);
    slot->move = move;
}

inline bool time_check() {
    if (search_aborted) return true;
    // The solver gave up (STOP, the end, the budget): its answers are no
    // longer proofs, so nothing more may be searched or stored.
    if (time_up) return search_aborted = true;
    if (node_limit > 0 && search_nodes + threat_nodes >= node_limit) search_aborted = true;
    if ((search_nodes & 255) == 0 && (think_elapsed() >= hard_limit || time_is_spent()))
        search_aborted = true;
    return search_aborted;
}

void update_pv(int ply, Square m) {
    pv[ply][0] = m;
    const int n = ply + 1 < MAX_PLY ? pv_length[ply + 1] : 0;
    std::memcpy(&pv[ply][1], &pv[ply + 1][0], size_t(n));
    pv_length[ply] = n + 1;
}

void credit(uint8_t side, Square m, int depth, int ply) {
    history[side][m] += depth * depth * 16;
    if (history[side][m] > (1 << 24)) age_history();
    if (killers[ply][0] != m) {
        killers[ply][1] = killers[ply][0];
        killers[ply][0] = m;
    }
    if (::ply > 0) counters[side][move_stack[::ply - 1]] = m;
}

// A move that is never pruned, nor reduced at the root: it makes an open
// three or more for the mover, or takes a square where the opponent would
// make a four. Inside the tree such moves are reduced like the others: most
// of a node's moves are of this kind, and a reduced one that proves better is
// searched again in full.
inline bool forcing_move(uint8_t side, Square m) {
    return square_class[side][m] >= CLASS_OPEN_THREE || square_class[1 - side][m] >= CLASS_FOUR;
}

// Puts `m` at position `at` of the list if it is further down.
void lift(Square* moves, int n, int at, Square m) {
    for (int i = at + 1; i < n; ++i) {
        if (moves[i] != m) continue;
        std::memmove(&moves[at + 1], &moves[at], size_t(i - at));
        moves[at] = m;
        return;
    }
}

int search(int alpha, int beta, int depth, int ply, bool pv_node) {
    pv_length[ply] = 0;
    ++search_nodes;
    if (time_check()) return 0;
    if (ply > report.sel_depth) report.sel_depth = ply;
    const uint8_t side = uint8_t(~::ply & 1), other = uint8_t(1 - side);

    if (class_count[side][CLASS_FIVE] > 0) return WIN - ply - 1;
    if (ply >= MAX_PLY - 2 || ::ply >= MAX_MOVES) return evaluate();
    if (class_count[other][CLASS_FIVE] > 0) {
        if (class_count[other][CLASS_FIVE] >= 2) return -(WIN - ply - 2);
        const Square b = five_point(other);
        if (restricted(side) && is_forbidden(b)) return -(WIN - ply - 1);
        prefetch_child(b, side);
        place_stone(b, side);
        const int v = -search(-beta, -alpha, depth, ply + 1, pv_node);
        remove_stone();
        if (pv_node) update_pv(ply, b);
        return v;
    }
    if (has_open_four_point(side)) return WIN - ply - 3;

    // Mate distance: nothing here can beat a win already found nearer the root.
    if (alpha < -(WIN - ply)) alpha = -(WIN - ply);
    if (beta > WIN - ply - 1) beta = WIN - ply - 1;
    if (alpha >= beta) return alpha;

    const uint64_t key = position_key();
    Square table_move = NO_MOVE;
    if (const TableEntry* e = probe(key)) {
        table_move = e->move;
        const int v = from_table(e->value, ply);
        const uint8_t bound = e->bound_age & 3;
        if (!pv_node && e->depth >= depth) {
            if (bound == BOUND_EXACT) return v;
            if (bound == BOUND_LOWER && v >= beta) return v;
            if (bound == BOUND_UPPER && v <= alpha) return v;
        }
    }

    // A four-three point is where wins by fours start; without one, the
    // search's own forced blocks see the fours.
    Square four_win;
    if (has_four_three(side) && vcf(side, NODE_FOUR_TRIES, &four_win)) {
        const int v = WIN - ply - 5;
        store(key, v, 100, BOUND_EXACT, four_win, ply);
        if (pv_node) {
            pv_length[ply + 1] = 0;
            update_pv(ply, four_win);
        }
        return v;
    }
    if (search_aborted) return 0;
    // Two open threes at once win when the opponent cannot make a four: it
    // can stop only one of them.
    if (!restricted(side) && class_count[side][CLASS_DOUBLE_THREE] > 0 &&
        (four_squares[other][0] | four_squares[other][1] | four_squares[other][2] |
         four_squares[other][3]) == 0)
        return WIN - ply - 5;

    // Is the opponent threatening to win?
    bool threat = has_open_four_point(other);
    bool wide = false;
    if (!threat && has_four_three(other)) {
        Square unused;
        threat = wide = vcf(other, NODE_FOUR_TRIES, &unused);
    }
    if (depth <= 0) {
        if (!threat) return evaluate();
        // Past the horizon a three is answered for a few plies more; a threat
        // of many moves, or one still open after those, is only scored.
        if (wide || depth <= -QUIESCENCE_PLIES) return evaluate() - 200;
    }

    // Near the horizon, off the principal variation and with nothing to
    // answer, a static value far enough above beta is taken as the node's.
    const bool quiet_edge = !pv_node && !threat && depth > 0 && depth <= STATIC_CUT_DEPTH;
    int static_value = quiet_edge ? evaluate() : 0;
    if (quiet_edge && beta > -MATE_BOUND && static_value - STATIC_CUT_MARGIN * depth >= beta &&
        static_value < MATE_BOUND)
        return static_value;

    // Without a table move the node's order is a guess: search it shallower.
    if (table_move == NO_MOVE && !threat && depth >= 4) --depth;

    Square moves[MAX_MOVES];
    // Past the horizon only the blocks are searched, unless there are none;
    // a loss found there without the counter-fours is only likely.
    bool blocks_only = threat && depth <= 0;
    int n = threat ? generate_defences(moves, wide, !blocks_only)
                   : generate_moves(moves, quiet_limit(depth));
    if (n == 0 && blocks_only) {
        blocks_only = false;
        n = generate_defences(moves, wide, true);
    }
    if (n == 0) return threat ? -(WIN - ply - 4) : evaluate();
    int first = 0;
    if (table_move != NO_MOVE) lift(moves, n, first++, table_move);
    const Square counter = ::ply > 0 ? counters[side][move_stack[::ply - 1]] : NO_MOVE;
    if (!threat) {
        for (const Square k : killers[ply])
            if (k != NO_MOVE && first < n) lift(moves, n, first++, k);
        if (counter != NO_MOVE && first < n) lift(moves, n, first++, counter);
    }
    // Pruning near the horizon, for quiet nodes off the principal variation.
    const bool prune = !pv_node && !threat && depth <= 4;
    // A node the table-less reduction brought to depth 4 has no static value yet.
    if (prune && !quiet_edge) static_value = evaluate();

    const int alpha_start = alpha;
    int best = -INF;
    Square best_move = NO_MOVE;
    for (int i = 0; i < n; ++i) {
        const Square m = moves[i];
        if (cells[m] != EMPTY) continue;
        const bool forcing = forcing_move(side, m);
        // Blocks of a three cost nothing, so a chain of threes is followed to
        // its end (within twice the iteration's depth); the defender's own
        // fours cost a ply like any other move.
        int new_depth = depth - 1;
        if (threat && depth > 0 &&
            (n == 1 || (!wide && ply < 2 * root_depth && square_class[other][m] >= CLASS_FOUR)))
            new_depth = depth;
        if (prune && i > 0 && !forcing) {
            if (i >= LATE_MOVE_COUNT[depth]) continue;
            if (static_value + FUTILITY_MARGIN * depth <= alpha) continue;
        }
        int reduction = 0;
        if (!threat && i >= (pv_node ? 2 : 1) && depth >= 2) {
            reduction = reductions.r[depth < 64 ? depth : 63][i < 64 ? i : 63];
            if (pv_node) --reduction;
            if (m == killers[ply][0] || m == killers[ply][1] || m == counter) --reduction;
            if (reduction > new_depth - 1) reduction = new_depth - 1;
            if (reduction < 0) reduction = 0;
        }

        prefetch_child(m, side);
        place_stone(m, side);
        int v;
        if (i == 0) {
            v = -search(-beta, -alpha, new_depth, ply + 1, pv_node);
        } else {
            v = -search(-alpha - 1, -alpha, new_depth - reduction, ply + 1, false);
            if (v > alpha && reduction) v = -search(-alpha - 1, -alpha, new_depth, ply + 1, false);
            if (v > alpha && v < beta && pv_node)
                v = -search(-beta, -alpha, new_depth, ply + 1, true);
        }
        remove_stone();
        if (search_aborted) return 0;
        if (v > best) {
            best = v;
            best_move = m;
            if (v > alpha) {
                alpha = v;
                if (pv_node) update_pv(ply, m);
                if (v >= beta) {
                    if (!threat) credit(side, m, depth, ply);
                    break;
                }
            }
        }
    }
    if (blocks_only && best < -MATE_BOUND) best = -LIKELY_LOSS;
    const uint8_t bound = best >= beta         ? BOUND_LOWER
                          : best > alpha_start ? BOUND_EXACT
                                               : BOUND_UPPER;
    store(key, best, depth, bound, best_move, ply);
    return best;
}

// One pass over the root moves at `depth` in the window (alpha, beta): a
// move that reaches beta ends it. The best move found is put first (also in
// an unfinished pass, when it is a better first move), with its variation in
// the report.
void root_pass(RootMove* moves, int n, int depth, int alpha, int beta) {
    const uint8_t side = uint8_t(~ply & 1);
    int best_index = -1;
    Square best_pv[MAX_PLY];
    int best_pv_length = 0;
    for (int i = 0; i < n; ++i) {
        RootMove& rm = moves[i];
        // Late quiet moves of the last iteration's order are searched
        // shallower first.
        const int reduction = depth >= 3 && i >= ROOT_FULL_MOVES && !forcing_move(side, rm.move)
                                  ? reductions.r[depth < 64 ? depth : 63][i < 64 ? i : 63] / 2
                                  : 0;
        prefetch_child(rm.move, side);
        place_stone(rm.move, side);
        int v;
        if (i == 0) {
            v = -search(-beta, -alpha, depth - 1, 1, true);
        } else {
            v = -search(-alpha - 1, -alpha, depth - 1 - reduction, 1, false);
            if (v > alpha && reduction && !search_aborted)
                v = -search(-alpha - 1, -alpha, depth - 1, 1, false);
            if (v > alpha && !search_aborted) v = -search(-beta, -alpha, depth - 1, 1, true);
        }
        remove_stone();
        if (search_aborted) break;
        rm.value = v;
        if (v > alpha) {
            alpha = v;
            best_index = i;
            best_pv[0] = rm.move;
            std::memcpy(&best_pv[1], pv[1], size_t(pv_length[1]));
            best_pv_length = pv_length[1] + 1;
            if (v >= beta) break;
        } else if (i > 0) {
            rm.value = -INF + 1; // below the best: its exact value is unknown
        }
    }
    if (best_index > 0 || (!search_aborted && best_index == 0)) {
        const RootMove best = moves[best_index];
        std::memmove(&moves[1], &moves[0], sizeof(RootMove) * size_t(best_index));
        moves[0] = best;
        report.value = best.value;
        report.pv_length = best_pv_length;
        std::memcpy(report.pv, best_pv, size_t(best_pv_length));
    }
}

} // namespace

void search_root(RootMove* moves, int n, int max_depth, int64_t max_nodes) {
    search_aborted = false;
    node_limit = max_nodes;
    ++generation;
    std::memset(killers, NO_MOVE, sizeof killers);
    std::memset(counters, NO_MOVE, sizeof counters);
    report.depth = 0;
    for (int depth = 1; depth <= max_depth && depth < MAX_PLY - 8; ++depth) {
        root_depth = depth;
        for (int i = 0; i < n; ++i) moves[i].previous = moves[i].value;
        // A window around the last iteration's value, widened when the
        // value falls outside it.
        const int guess = moves[0].value;
        int delta = ASPIRATION;
        const bool narrow = depth >= ASPIRATION_DEPTH && guess > -MATE_BOUND && guess < MATE_BOUND;
        int window_low = narrow ? guess - delta : -INF;
        int window_high = narrow ? guess + delta : INF;
        for (;;) {
            root_pass(moves, n, depth, window_low, window_high);
            if (search_aborted) break;
            const int v = moves[0].value;
            if (v > window_low && v < window_high) break;
            // Outside the window: wider on that side, all the way for a won
            // or lost value.
            delta *= 4;
            if (v <= window_low)
                window_low = v - delta <= -MATE_BOUND ? -INF : v - delta;
            else
                window_high = v + delta >= MATE_BOUND ? INF : v + delta;
        }
        if (search_aborted) break;
        report.depth = depth;
        // Keep the others in the order of this iteration's values.
        for (int i = 2; i < n; ++i) {
            const RootMove m = moves[i];
            int j = i;
            while (j > 1 && moves[j - 1].value < m.value) {
                moves[j] = moves[j - 1];
                --j;
            }
            moves[j] = m;
        }
        if (settings.show_detail && iteration_hook) {
            report.nodes = search_nodes + threat_nodes;
            report.time_ms = think_elapsed();
            iteration_hook();
        }
        if (moves[0].value > MATE_BOUND || (n == 1 && depth >= 2)) break;
        // Every move lost: nothing deeper changes that, except which loss is longest.
        if (moves[0].value < -MATE_BOUND && depth >= 4) break;
        // A new iteration starts whenever time is left: one that cannot
        // finish still counts where it found a better first move.
        if (max_nodes > 0 && search_nodes + threat_nodes >= max_nodes) break;
    }
}

void clear_search_table() {
    if (memory) std::memset(memory, 0, search_touched);
    std::memset(history, 0, sizeof history);
}

bool setup_tables() {
    static int64_t sized_for = -1;
    const int64_t wanted = settings.max_memory;
    if (sized_for == wanted) return table != nullptr;
    // The memory left for tables after the process's own (code, stacks, the
    // line tables): an eighth each for the solver's table and the threat
    // table, the rest for the search table, each a power of two and none
    // larger than a search of a few seconds can fill.
    const int64_t limit = wanted > 0 ? wanted : 350ll << 20;
    int64_t room = limit - (24ll << 20);
    if (room < (4ll << 20)) room = 4ll << 20;
    uint64_t solver_entries = 1u << 12; // per side
    while (solver_entries < (1u << 20) && solver_entries * 2 <= SOLVER_TABLE_SIZE &&
           int64_t(solver_entries * 2 * 2 * sizeof(SolverEntry)) <= room / 8)
        solver_entries *= 2;
    uint64_t threat_entries = 1u << 12;
    while (threat_entries < (1u << 20) && int64_t(threat_entries * 2 * 16) <= room / 8)
        threat_entries *= 2;
    const int64_t used = int64_t(solver_entries * 2 * sizeof(SolverEntry) + threat_entries * 16);
    uint64_t buckets = 1u << 10;
    while (buckets < (1u << 20) &&
           int64_t(buckets * 2 * BUCKET * sizeof(TableEntry)) <= room - used)
        buckets *= 2;

    if (memory) give_table_memory_back(memory, (memory_mask + 1) * BUCKET * sizeof(TableEntry));
    memory = static_cast<TableEntry*>(take_table_memory(buckets * BUCKET * sizeof(TableEntry)));
    memory_mask = memory ? buckets - 1 : 0;
    table = nullptr;
    bucket_mask = 0;
    search_touched = 0;
    const bool threats_ok = resize_threat_table(threat_entries);
    sized_for = wanted;

    // The solver's static table: this engine uses its first entries. Entries
    // written under another size would be found at the wrong side's place,
    // so a new size starts from an empty table (where the system allows, every
    // page is given back and reads as zero when next touched).
    if (solver_mask_full != uint32_t(solver_entries - 1)) {
        solver_mask_full = uint32_t(solver_entries - 1);
        clear_memory(solver_table, 2 * sizeof(SolverEntry), sizeof solver_table);
        prefer_large_pages(solver_table, sizeof(SolverEntry) * 2 * solver_entries);
    }
    // The part in use starts at one entry a side, read as empty.
    solver_mask_in_use = 0;
    std::memset(solver_table, 0, 2 * sizeof(SolverEntry));
    touched_region = 0;
    touched_bytes = 0;

    // The pages are left untouched until a think: the process grows as the
    // tables are used, and each table was given back before the next was
    // taken, so a smaller limit that arrives later is never exceeded.
    return memory && threats_ok;
}

uint64_t fitting_entries(size_t touched, size_t entry_bytes, uint64_t most) {
    uint64_t n = 0;
    while ((n ? n * 2 : 1) <= most && (n ? n * 2 : 1) * entry_bytes <= touched) n = n ? n * 2 : 1;
    return n;
}

namespace {

// Writes to every page of [start, start+bytes) what it holds: the page is
// then backed, and nothing in it changed.
void touch_pages(void* start, size_t bytes) {
    volatile char* p = static_cast<volatile char*>(start);
    for (size_t at = 0; at < bytes; at += 4096) p[at] = p[at];
}

} // namespace

bool touch_tables(int32_t until) {
    if (touched_region == 3) return true;
    struct Region {
        void* start;
        size_t size;
    };
    size_t threat_bytes = 0;
    void* threat_start = threat_table_memory(threat_bytes);
    // The solver's part first: it is in use from its first entries on.
    const Region regions[3] = {
        {solver_table, sizeof(SolverEntry) * 2 * (size_t(solver_mask_full) + 1)},
        {threat_start, threat_bytes},
        {memory, memory ? size_t(memory_mask + 1) * BUCKET * sizeof(TableEntry) : 0},
    };
    // Large-page steps, so a deadline is looked at between page faults.
    constexpr size_t STEP = size_t(2) << 20;
    while (touched_region < 3 && int32_t(uint32_t(clock_ms()) - uint32_t(until)) < 0) {
        const Region& r = regions[touched_region];
        if (touched_bytes >= r.size) {
            ++touched_region;
            touched_bytes = 0;
            continue;
        }
        const size_t n = r.size - touched_bytes < STEP ? r.size - touched_bytes : STEP;
        touch_pages(static_cast<char*>(r.start) + touched_bytes, n);
        touched_bytes += n;
    }
    // Each table is used as far as it is touched: the largest power of two of
    // entries inside the touched part (entries are found by their whole key,
    // so a part that grows only loses what it held).
    auto touched = [&](int k) {
        return touched_region > k ? regions[k].size : touched_region == k ? touched_bytes : 0;
    };
    uint64_t solver_entries =
        fitting_entries(touched(0), 2 * sizeof(SolverEntry), uint64_t(solver_mask_full) + 1);
    if (solver_entries == 0) solver_entries = 1;
    if (solver_entries - 1 != solver_mask_in_use) {
        // The solver keeps one side's entries above the other's: when its
        // part grows, entries would be read as the other side's, so it starts
        // empty.
        std::memset(solver_table, 0, sizeof(SolverEntry) * 2 * solver_entries);
        solver_mask_in_use = uint32_t(solver_entries - 1);
    }
    use_threat_table(touched(1));
    const uint64_t buckets =
        memory ? fitting_entries(touched(2), BUCKET * sizeof(TableEntry), memory_mask + 1) : 0;
    table = buckets ? memory : nullptr;
    bucket_mask = buckets ? buckets - 1 : 0;
    search_touched = touched(2);
    return touched_region == 3;
}

} // namespace kq2

// Threat searches: wins by continuous fours through the shared solver, and
// wins by threes, where the attacker also plays open threes: by rising depth
// (attack, defend) and by proof numbers (proof_search, below).
//
// Win by threes, as an AND/OR search on the engine board:
//  - attacker node (attacker to move): a five point wins; a five point of the
//    defender must be blocked, and the attack goes on only if the block
//    leaves a threat; an open-four point (white: also a double four) wins; a
//    win by fours wins; otherwise every four or three of the attacker is
//    tried, best first, each costing one unit of depth;
//  - defender node (defender to move, the attacker threatens): a five point
//    of the attacker must be blocked (a black block on a foul loses); a three
//    counts only when it left an open-four point; the defender's own win by
//    fours refutes it; otherwise every defender move that could stop an
//    open four (the attacker's four points) and every four of the defender
//    is tried, and the attack holds only if it holds against all of them.
// Any defence of an open three lies on the attacker's four points (a square
// that keeps the three from becoming an open four is a square that, with the
// three, would make a four) or is a four of the defender, so the replies
// tried are all that can matter.
//
// Threat table: entries of 16 bytes, a full 64-bit key (both Zobrist keys,
// the attacker's colour and the node kind folded in), the result, the depth
// it was searched to and the attacking move. A win holds at any depth, a
// failure only up to the depth it was searched to.
#include <climits>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "../core/board/board.h"
#include "../core/platform/platform.h"
#include "../core/solver/solver.h"
#include "../core/timing.h"
#include "kq2.h"

namespace kq2 {

int64_t threat_nodes;
int32_t threat_deadline = INT32_MAX;

namespace {

// Adds to `set` the attacker's four points on the lines through t, up to the
// first defender stone or five squares away: with t itself, the squares where
// a stone of the defender can change what the attacker makes at t.
void add_line_defences(uint64_t* set, uint8_t attacker, Square t) {
    const uint8_t defender = uint8_t(1 - attacker);
    for (int d = 0; d < 4; ++d) {
        const int step = dir_step[d];
        const int lo = t - edge_back[d][t], hi = t + edge_fwd[d][t];
        for (int dir = -1; dir <= 1; dir += 2) {
            int q = t;
            for (int k = 0; k < 5 && q != (dir < 0 ? lo : hi); ++k) {
                q += dir * step;
                if (cells[q] == defender) break;
                if (cells[q] == EMPTY && line_shape[attacker][d][q] >= SHAPE_FOUR &&
                    line_shape[attacker][d][q] != SHAPE_FIVE)
                    set[q >> 6] |= uint64_t(1) << (q & 63);
            }
        }
    }
}

// Whether an attacker's square of class k wins on the next move.
inline bool open_four_class(uint8_t attacker, uint8_t k) {
    return k == CLASS_OPEN_FOUR || (k == CLASS_DOUBLE_FOUR && !restricted(attacker));
}

} // namespace

void threat_replies(uint64_t* set, uint8_t attacker) {
    Square points[MAX_MOVES]; // the attacker's open-four points
    int n = 0;
    for_each_four_square(attacker, [&](int s) {
        if (open_four_class(attacker, square_class[attacker][s])) points[n++] = Square(s);
        return true;
    });
    for (int w = 0; w < 4; ++w) set[w] = 0;
    for (int i = 0; i < n; ++i) {
        set[points[i] >> 6] |= uint64_t(1) << (points[i] & 63);
        add_line_defences(set, attacker, points[i]);
    }
    // A stone that leaves an open-four point standing loses at once: only
    // the squares that remove every one of them are kept.
    for (int w = 0; w < 4; ++w)
        for (uint64_t bits = set[w]; bits; bits &= bits - 1) {
            const Square q = Square(w * 64 + __builtin_ctzll(bits));
            for (int i = 0; i < n; ++i)
                if (points[i] != q &&
                    open_four_class(attacker, class_with_blocker(attacker, points[i], q))) {
                    set[w] &= ~(uint64_t(1) << (q & 63));
                    break;
                }
        }
}

namespace {

struct ThreatEntry {
    uint64_t key;
    int8_t depth;   // depth searched (failures hold up to it)
    uint8_t result; // RESULT_NONE, THREAT_WIN or THREAT_FAIL
    Square move;    // the attacking move of a win at an attacker node
    uint8_t unused[5];
};
static_assert(sizeof(ThreatEntry) == 16, "threat entries are 16 bytes");

constexpr uint8_t THREAT_WIN = 1, THREAT_FAIL = 2; // 0: an empty entry
constexpr int WON = 1, FAILED = 0, ABORTED = -1;
constexpr int32_t INNER_FOUR_TRIES = 200; // solver tries for a win by fours inside
constexpr int MAX_ATTACKS = 24;           // attacking moves tried at one node

ThreatEntry* memory = nullptr; // the whole table
uint64_t memory_mask = 0;
size_t memory_touched = 0;
ThreatEntry* table = nullptr; // its part in use, the part already touched; null: none
uint64_t table_mask = 0;
int64_t node_limit;
bool aborted;

// Node kinds of the table: attacker to move, defender to move, and the
// result of a win-by-fours question.
enum NodeKind { KIND_ATTACK, KIND_DEFEND, KIND_FOURS };

inline uint64_t node_key(uint8_t attacker, NodeKind kind) {
    static constexpr uint64_t kind_keys[3] = {0x9e3779b97f4a7c15ull, 0, 0xc2b2ae3d27d4eb4full};
    uint64_t key = (uint64_t(hash_index) << 32 | hash_lock) ^ kind_keys[kind];
    if (attacker == BLACK) key ^= 0x5bd1e9955bd1e995ull;
    return key;
}

inline ThreatEntry* probe(uint64_t key) {
    if (!table) return nullptr;
    ThreatEntry* e = &table[key & table_mask];
    return e->key == key ? e : nullptr;
}

inline void store(uint64_t key, uint8_t result, int depth, Square move) {
    if (!table || aborted) return;
    ThreatEntry& e = table[key & table_mask];
    // A win is never replaced by a failure of the same position.
    if (e.key == key && e.result == THREAT_WIN && result != THREAT_WIN) return;
    e = {key, int8_t(depth), result, move, {}};
}

inline bool out_of_work() {
    if (aborted) return true;
    if ((threat_nodes & 63) == 0) {
        if (time_is_spent()) time_up = 1;
        if (think_elapsed() >= threat_deadline) aborted = true;
    }
    if (time_up || (node_limit > 0 && threat_nodes >= node_limit)) aborted = true;
    return aborted;
}

int attack(uint8_t attacker, int depth, Square* move);

// The defender is to move and the attacker threatens.
int defend(uint8_t attacker, int depth) {
    const uint8_t defender = uint8_t(1 - attacker);
    ++threat_nodes;
    if (out_of_work()) return ABORTED;
    if (class_count[defender][CLASS_FIVE] > 0) return FAILED;
    if (class_count[attacker][CLASS_FIVE] >= 2) return WON;
    if (class_count[attacker][CLASS_FIVE] == 1) {
        const Square b = five_point(attacker);
        if (restricted(defender) && is_forbidden(b)) return WON;
        place_stone(b, defender);
        const int r = attack(attacker, depth, nullptr);
        remove_stone();
        return r;
    }
    if (!has_open_four_point(attacker)) return FAILED;
    const uint64_t key = node_key(attacker, KIND_DEFEND);
    if (const ThreatEntry* e = probe(key)) {
        if (e->result == THREAT_WIN) return WON;
        if (e->result == THREAT_FAIL && e->depth >= depth) return FAILED;
    }
    // The defender's fours are among the replies below, and each of them
    // comes back here after the forced block, so its wins by fours are seen
    // there; a quick proof is tried only from a four-three point.
    Square counter;
    if (has_four_three(defender) && vcf(defender, INNER_FOUR_TRIES, &counter)) {
        store(key, THREAT_FAIL, 127, NO_MOVE);
        return FAILED;
    }
    if (time_up) return ABORTED;

    // Replies: the squares that leave the attacker no open-four point, then
    // the defender's own fours.
    uint64_t set[4];
    threat_replies(set, attacker);
    for (int pass = 0; pass < 2; ++pass) {
        for (int w = 0; w < 4; ++w) {
            uint64_t bits = pass == 0 ? set[w] : four_squares[defender][w] & ~set[w];
            for (; bits; bits &= bits - 1) {
                const Square s = Square(w * 64 + __builtin_ctzll(bits));
                if (!legal_for(defender, s)) continue;
                place_stone(s, defender);
                const int r = attack(attacker, depth, nullptr);
                remove_stone();
                if (r == ABORTED) return ABORTED;
                if (r == FAILED) {
                    store(key, THREAT_FAIL, depth, NO_MOVE);
                    return FAILED;
                }
            }
        }
    }
    store(key, THREAT_WIN, depth, NO_MOVE);
    return WON;
}

// Ordering of attacking moves: four-threes and double threes first.
int attack_order(uint8_t attacker, Square s) {
    static constexpr int rank[CLASS_SLOTS] = {0,  0, 0,  0,  0, 30, 40, 80, 20,
                                              25, 0, 90, 85, 0, 0,  0,  0,  0};
    const uint8_t defender = uint8_t(1 - attacker);
    return rank[square_class[attacker][s]] * 64 + move_score(attacker, s) / 16 +
           square_class[defender][s];
}

// The columns of row r, a bit per column, where `colour` makes an open three
// or a four, short of a double four (classes 5 to 12; 10 is never assigned),
// found 16 squares at a time.
inline unsigned attack_columns(uint8_t colour, int r) {
    const uint8_t* row = square_class[colour] + r * 16;
#if defined(__SSE2__)
    const __m128i k = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
    const __m128i in = _mm_and_si128(_mm_cmpgt_epi8(k, _mm_set1_epi8(CLASS_OPEN_THREE - 1)),
                                     _mm_cmpgt_epi8(_mm_set1_epi8(CLASS_DOUBLE_FOUR), k));
    return unsigned(_mm_movemask_epi8(in)) & 0x7FFFu;
#else
    unsigned bits = 0;
    for (int c = 0; c < BOARD_SIZE; ++c)
        if (row[c] >= CLASS_OPEN_THREE && row[c] < CLASS_DOUBLE_FOUR) bits |= 1u << c;
    return bits;
#endif
}

// The attacker's fours and threes, best first, at most MAX_ATTACKS of them;
// returns their count.
int attacking_moves(uint8_t attacker, Square* out) {
    int scores[MAX_MOVES];
    int n = 0;
    for (int r = 0; r < BOARD_SIZE; ++r)
        for (unsigned bits = attack_columns(attacker, r); bits; bits &= bits - 1) {
            const Square s = Square(r * 16 + __builtin_ctz(bits));
            if (!legal_for(attacker, s)) continue;
            int v = attack_order(attacker, s), j = n++;
            while (j > 0 && scores[j - 1] < v) {
                out[j] = out[j - 1];
                scores[j] = scores[j - 1];
                --j;
            }
            out[j] = s;
            scores[j] = v;
        }
    return n < MAX_ATTACKS ? n : MAX_ATTACKS;
}

// The attacker is to move.
int attack(uint8_t attacker, int depth, Square* move) {
    const uint8_t defender = uint8_t(1 - attacker);
    ++threat_nodes;
    if (out_of_work()) return ABORTED;
    if (class_count[attacker][CLASS_FIVE] > 0) {
        if (move) *move = five_point(attacker);
        return WON;
    }
    if (class_count[defender][CLASS_FIVE] > 0) {
        if (class_count[defender][CLASS_FIVE] >= 2) return FAILED;
        const Square b = five_point(defender);
        if (restricted(attacker) && is_forbidden(b)) return FAILED;
        place_stone(b, attacker);
        const int r = defend(attacker, depth);
        remove_stone();
        if (r == WON && move) *move = b;
        return r;
    }
    if (has_open_four_point(attacker)) {
        if (move) {
            *move = NO_MOVE;
            for_each_four_square(attacker, [&](int s) {
                const uint8_t k = square_class[attacker][s];
                if (k == CLASS_OPEN_FOUR || (k == CLASS_DOUBLE_FOUR && !restricted(attacker))) {
                    *move = Square(s);
                    return false;
                }
                return true;
            });
        }
        return WON;
    }
    Square four_win;
    if (has_four_three(attacker) && vcf(attacker, INNER_FOUR_TRIES, &four_win)) {
        if (move) *move = four_win;
        return WON;
    }
    if (time_up) return ABORTED;
    if (depth <= 0) return FAILED;
    const uint64_t key = node_key(attacker, KIND_ATTACK);
    if (const ThreatEntry* e = probe(key)) {
        if (e->result == THREAT_WIN && (!move || legal_for(attacker, e->move))) {
            if (move) *move = e->move;
            return WON;
        }
        if (e->result == THREAT_FAIL && e->depth >= depth) return FAILED;
    }

    Square moves[MAX_MOVES];
    const int n = attacking_moves(attacker, moves);

    for (int i = 0; i < n; ++i) {
        const Square s = moves[i];
        const bool four = square_class[attacker][s] >= CLASS_FOUR;
        place_stone(s, attacker);
        // A three must leave an open-four point; anything less is no threat.
        int r = FAILED;
        if (four || has_open_four_point(attacker)) r = defend(attacker, depth - 1);
        remove_stone();
        if (r == ABORTED) return ABORTED;
        if (r == WON) {
            store(key, THREAT_WIN, depth, s);
            if (move) *move = s;
            return WON;
        }
    }
    store(key, THREAT_FAIL, depth, NO_MOVE);
    return FAILED;
}

// ---- Win by threes as a proof-number search ----
//
// The same AND/OR tree as attack() and defend(), searched best-first by
// proof and disproof numbers (depth-first, with thresholds), with no depth
// limit but the node budget: a long win along few replies is found before a
// short one among many. Numbers live in the threat table, under keys of their
// own, so a later search goes on from what an earlier one left.

constexpr uint32_t PN_INF = 1u << 30;
constexpr int PN_MAX_PLIES = 60; // past this many plies a line counts as failed
// A child is searched until its number passes the second best by half:
// fewer switches between siblings of near numbers.
constexpr uint32_t PN_GROWTH_PERCENT = 50;

struct ProofEntry {
    uint64_t key;
    uint32_t pn, dn;
};
static_assert(sizeof(ProofEntry) == sizeof(ThreatEntry), "proof entries share the table");

uint8_t proof_attacker;
int proof_root_ply;
Square proof_move; // the root's proved move

inline uint64_t proof_key(uint32_t index, uint32_t lock, bool attacker_moves) {
    static constexpr uint64_t salt[2][2] = {{0x3c6ef372fe94f82bull, 0xa54ff53a5f1d36f1ull},
                                            {0x510e527fade682d1ull, 0x9b05688c2b3e6c1full}};
    return (uint64_t(index) << 32 | lock) ^ salt[proof_attacker][attacker_moves];
}

// An unsearched three of the attacker starts at this proof number (a four,
// with its single reply, at 1): fours are tried first.
constexpr uint32_t PN_THREE = 3;
inline void proof_load(uint64_t key, uint32_t& pn, uint32_t& dn, uint32_t first_pn = 1) {
    pn = first_pn;
    dn = 1;
    if (!table) return;
    ProofEntry e;
    std::memcpy(&e, &table[key & table_mask], sizeof e);
    if (e.key == key) pn = e.pn, dn = e.dn;
}

inline void proof_store(uint64_t key, uint32_t pn, uint32_t dn) {
    if (!table || aborted) return;
    const ProofEntry e{key, pn, dn};
    std::memcpy(&table[key & table_mask], &e, sizeof e);
}

// Sums stop short of PN_INF, which only a proof or a disproof gives.
inline uint32_t add_capped(uint32_t a, uint32_t b) {
    return a >= PN_INF || b >= PN_INF ? PN_INF : a + b >= PN_INF - 1 ? PN_INF - 1 : a + b;
}

// The moves of a node, or its result without a search: WON or FAILED (of the
// attack), or -2 with the moves in `out` (count in n).
int proof_moves(uint8_t attacker, bool attacker_moves, Square* out, int& n) {
    const uint8_t defender = uint8_t(1 - attacker);
    n = 0;
    if (ply - proof_root_ply >= PN_MAX_PLIES) return FAILED;
    if (attacker_moves) {
        if (class_count[attacker][CLASS_FIVE] > 0) return WON;
        if (class_count[defender][CLASS_FIVE] > 0) {
            if (class_count[defender][CLASS_FIVE] >= 2) return FAILED;
            const Square b = five_point(defender);
            if (restricted(attacker) && is_forbidden(b)) return FAILED;
            out[n++] = b;
            return -2;
        }
        if (has_open_four_point(attacker)) return WON;
        Square unused;
        if (has_four_three(attacker) && vcf(attacker, INNER_FOUR_TRIES, &unused)) return WON;
        n = attacking_moves(attacker, out);
        return n ? -2 : FAILED;
    }
    if (class_count[defender][CLASS_FIVE] > 0) return FAILED;
    if (class_count[attacker][CLASS_FIVE] >= 2) return WON;
    if (class_count[attacker][CLASS_FIVE] == 1) {
        const Square b = five_point(attacker);
        if (restricted(defender) && is_forbidden(b)) return WON;
        out[n++] = b;
        return -2;
    }
    if (!has_open_four_point(attacker)) return FAILED;
    Square counter;
    if (has_four_three(defender) && vcf(defender, INNER_FOUR_TRIES, &counter)) return FAILED;
    // The replies of defend(): the squares that leave the attacker no
    // open-four point, and the defender's fours.
    uint64_t set[4];
    threat_replies(set, attacker);
    for (int w = 0; w < 4; ++w) set[w] |= four_squares[defender][w];
    for (int w = 0; w < 4; ++w)
        for (uint64_t bits = set[w]; bits; bits &= bits - 1) {
            const Square s = Square(w * 64 + __builtin_ctzll(bits));
            if (legal_for(defender, s)) out[n++] = s;
        }
    return n ? -2 : WON;
}

// Expands the node until its numbers reach a threshold; leaves them in pn, dn.
void proof_search(uint8_t attacker, bool attacker_moves, uint32_t th_pn, uint32_t th_dn,
                  uint32_t& pn, uint32_t& dn) {
    ++threat_nodes;
    const uint64_t key = proof_key(hash_index, hash_lock, attacker_moves);
    if (out_of_work()) {
        pn = dn = 1;
        return;
    }
    Square kids[MAX_MOVES];
    int n = 0;
    const int r = proof_moves(attacker, attacker_moves, kids, n);
    if (r != -2) {
        pn = r == WON ? 0 : PN_INF;
        dn = r == WON ? PN_INF : 0;
        proof_store(key, pn, dn);
        return;
    }
    const uint8_t mover = attacker_moves ? attacker : uint8_t(1 - attacker);
    // With the attacker to move, the node's proof number is the least of its
    // children's and its disproof number their sum; the other way round with
    // the defender to move. "near" is the number taken as the least, "far"
    // the summed one.
    int best = -1;
    for (;;) {
        uint32_t least = PN_INF, second = PN_INF, sum = 0, best_far = 0;
        best = -1;
        for (int i = 0; i < n; ++i) {
            uint32_t cpn, cdn;
            const Square k = kids[i];
            const bool three = attacker_moves && square_class[attacker][k] < CLASS_FOUR;
            proof_load(proof_key(hash_index ^ zobrist_index[mover][k],
                                 hash_lock ^ zobrist_lock[mover][k], !attacker_moves),
                       cpn, cdn, three ? PN_THREE : 1);
            const uint32_t near = attacker_moves ? cpn : cdn, far = attacker_moves ? cdn : cpn;
            sum = add_capped(sum, far);
            if (near < least) {
                second = least;
                least = near;
                best = i;
                best_far = far;
            } else if (near < second) {
                second = near;
            }
        }
        pn = attacker_moves ? least : sum;
        dn = attacker_moves ? sum : least;
        if (pn >= th_pn || dn >= th_dn || pn == 0 || dn == 0 || aborted) break;
        const uint32_t th_near = attacker_moves ? th_pn : th_dn;
        const uint32_t th_far = attacker_moves ? th_dn : th_pn;
        const uint32_t grown =
            second >= PN_INF - 1
                ? second
                : second + 1 + uint32_t(uint64_t(second) * PN_GROWTH_PERCENT / 100);
        const uint32_t child_near = grown < th_near ? grown : th_near;
        const uint32_t child_far = th_far >= PN_INF ? PN_INF : th_far - sum + best_far;
        uint32_t cpn, cdn;
        place_stone(kids[best], mover);
        if (attacker_moves)
            proof_search(attacker, false, child_near, child_far, cpn, cdn);
        else
            proof_search(attacker, true, child_far, child_near, cpn, cdn);
        remove_stone();
    }
    if (pn == 0 && attacker_moves && ply == proof_root_ply) proof_move = kids[best];
    proof_store(key, pn, dn);
}

} // namespace

int vct_proof(uint8_t side, int64_t nodes, Square* move) {
    aborted = false;
    node_limit = nodes > 0 ? threat_nodes + nodes : 0;
    *move = NO_MOVE;
    proof_attacker = side;
    proof_root_ply = ply;
    proof_move = NO_MOVE;
    uint32_t pn, dn;
    proof_search(side, true, PN_INF, PN_INF, pn, dn);
    if (aborted) return -1;
    if (pn != 0) return 0;
    // Won at the root without a search (a five, an open four, a win by
    // fours): the search that knows the move.
    if (proof_move == NO_MOVE) return vct(side, 1, 0, move) == 1 ? 1 : 0;
    *move = proof_move;
    return legal_for(side, proof_move) ? 1 : 0;
}

Square five_point(uint8_t colour) {
    if (class_count[colour][CLASS_FIVE] == 0) return NO_MOVE;
    const Square f = five_square[colour];
    if (cells[f] == EMPTY && square_class[colour][f] == CLASS_FIVE) return f;
    Square found = NO_MOVE;
    for_each_four_square(colour, [&](int s) {
        if (square_class[colour][s] != CLASS_FIVE) return true;
        found = Square(s);
        return false;
    });
    return found;
}

bool legal_for(uint8_t colour, Square s) {
    if (!on_board(s) || cells[s] != EMPTY) return false;
    return !restricted(colour) || !is_forbidden(s);
}

// The solver keeps what it proved, but not a search its budget cut short:
// such failures are remembered here, with the budget they had (as a power of
// two), so that a question is asked again only with a larger budget.
bool vcf(uint8_t side, int32_t tries, Square* move) {
    if (four_squares[side][0] == 0 && four_squares[side][1] == 0 && four_squares[side][2] == 0 &&
        four_squares[side][3] == 0)
        return false;
    const uint64_t key = node_key(side, KIND_FOURS);
    const int level = 32 - __builtin_clz(uint32_t(tries));
    if (const ThreatEntry* e = probe(key))
        if (e->result == THREAT_FAIL && e->depth >= level) return false;
    solver_budget = tries;
    solver_move = NO_MOVE;
    const int8_t r = solve_threats(side, nullptr);
    if (r < RESULT_WIN || !legal_for(side, solver_move)) {
        if (!time_up && table) {
            ThreatEntry& e = table[key & table_mask];
            if (e.key != key || e.result != THREAT_WIN)
                e = {key, int8_t(level), THREAT_FAIL, NO_MOVE, {}};
        }
        return false;
    }
    *move = solver_move;
    return true;
}

int vct(uint8_t side, int depth, int64_t nodes, Square* move) {
    aborted = false;
    node_limit = nodes > 0 ? threat_nodes + nodes : 0;
    *move = NO_MOVE;
    const int r = attack(side, depth, move);
    if (r == WON && !legal_for(side, *move)) return 0;
    return r == WON ? 1 : r == ABORTED ? -1 : 0;
}

void clear_threat_table() {
    if (memory) std::memset(memory, 0, memory_touched);
}

void use_threat_table(size_t touched) {
    memory_touched = touched;
    const uint64_t n = memory ? fitting_entries(touched, sizeof(ThreatEntry), memory_mask + 1) : 0;
    table = n ? memory : nullptr;
    table_mask = n ? n - 1 : 0;
}

void* threat_table_memory(size_t& bytes) {
    bytes = memory ? (memory_mask + 1) * sizeof(ThreatEntry) : 0;
    return memory;
}

// Sized by setup_tables (search.cpp) through this hook.
bool resize_threat_table(uint64_t entries) {
    if (memory) give_table_memory_back(memory, (memory_mask + 1) * sizeof(ThreatEntry));
    memory = table = nullptr;
    memory_mask = table_mask = 0;
    memory_touched = 0;
    if (entries == 0) return true;
    memory = static_cast<ThreatEntry*>(take_table_memory(entries * sizeof(ThreatEntry)));
    if (!memory) return false;
    memory_mask = entries - 1;
    return true;
}

} // namespace kq2

// The tournament engine: its own search and evaluation over the shared board,
// forbidden-move test and four-threat solver.
//
// A think runs, in order: the trivial answers (centre, own five, the block of
// a five), a win by fours (the solver), a win by threes (threat search with
// threes: the short wins by rising depth, then any by proof numbers), a look
// at the opponent's threats, which narrows the root to the moves that stop
// them, and an iterative-deepening principal variation search until the
// budget is spent or a limit is reached.
//
// Values are centipawn-like integers from the side to move. A won position
// is worth WIN - n, with n the plies to the five as far as the search knows;
// a lost one -(WIN - n). Everything below MATE_BOUND in size is heuristic.
//
// Memory: the search table and the threat table are allocated at set-up from
// the memory limit (INFO max_memory; absent: 350 MB; 0: no limit), together
// with the part of the solver's static table the engine may touch. A think
// allocates nothing.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "../core/board/board.h"
#include "../core/types.h"

struct EngineFace;

namespace kq2 {

constexpr int WIN = 30000;
constexpr int MATE_BOUND = WIN - 1000; // |v| above this: a proven result
constexpr int INF = 32000;
constexpr int MAX_PLY = 128;

// Settings, written by the protocol commands (INFO may come while the worker
// thinks, hence the atomics; max_memory only changes between thinks).
struct Settings {
    std::atomic<int64_t> max_memory{350ll << 20}; // bytes for the whole process; 0: no limit
    std::atomic<int32_t> max_depth{0};            // per move; 0: no limit
    std::atomic<int64_t> max_nodes{0};            // per move; 0: no limit
    std::atomic<bool> show_detail{false};         // a report line per finished iteration
};
extern Settings settings;
void reset_settings(); // back to the values above

// What the last think did, for the report line.
struct ThinkReport {
    int depth = 0;         // last finished iteration (0: decided without a search)
    int sel_depth = 0;     // deepest ply a search node reached
    int value = 0;         // from the mover's side
    int64_t nodes = 0;     // search nodes plus threat-search nodes
    int32_t time_ms = 0;   // from the request to the answer
    int32_t search_ms = 0; // when the main search began (the threat searches before it)
    int root_moves = 0;    // moves the main search chose among
    Square pv[MAX_PLY];    // principal variation, starting with the move
    int pv_length = 0;
    const char* reason = ""; // how the move was decided when not by the search
};
extern ThinkReport report;

// The move for a game record; NO_MOVE only on a full board or a bad record.
Square think(GameRecord record);

// The face the front end is handed (pbrain-kq2's main), and its set-up:
// engine and tables ready before the first command, the per-iteration report.
extern const EngineFace tournament_face;
void prepare_face();

// Frees and re-sizes the tables for settings.max_memory. Called between
// thinks; a think calls it itself when the tables are not there yet. False
// when the memory could not be had (the searches then go on without).
bool setup_tables();
// Touches the pages of the tables once after they were sized, a large page
// at a time until the clock (clock_ms) reaches `until`, so that the searches
// do not meet first touches; a later call goes on where this one stopped.
// A first touch can be slow (on a virtual machine the host may have to back
// the page), so the idle moments before a game do part of it: each INFO line
// the engine takes while no think runs, and then every think until all is
// done. True when every page has been touched.
bool touch_tables(int32_t until);
// Set while a think runs (for the front end's thread, which must not touch
// the tables then).
extern std::atomic<bool> thinking;
// The largest power of two of entries of `entry_bytes` each, at most `most`,
// that fits in the first `touched` bytes of a table; 0 when none does.
uint64_t fitting_entries(size_t touched, size_t entry_bytes, uint64_t most);
// The part of the shared solver table this engine uses (a mask, as
// solver_mask), set by setup_tables and put in place for each think.
extern uint32_t solver_mask_in_use;

// The shared solver as this engine uses it, for as long as the scope lasts:
// strict proofs, take-backs that restore the board exactly (undo_stone),
// its part of the table, and its own entries (a salted lock:
// positions loaded inside the scope get it), so that another engine in the
// same process neither reads them nor has its own read here. A think opens
// one; so must any other caller of vcf or vct.
struct SolverScope {
    SolverScope();
    ~SolverScope();
    SolverScope(const SolverScope&) = delete;
    SolverScope& operator=(const SolverScope&) = delete;

private:
    bool strict, restore;
    uint32_t mask, salt;
};

// The text of a report line (without "MESSAGE "), from `report`.
int format_report(char* out, int size);

// ---- Evaluation and move ordering (eval.cpp) ----

// Static value of the current position for the side to move: over the empty
// squares, the mover's square weights less the other side's, each square
// weighed by its class (own_weight[mover], their_weight[mover]) or by its
// combination of line shapes where shape_weights.inc sets one (kq2-tune fits
// both).
extern const int own_weight[2][CLASS_SLOTS];
extern const int their_weight[2][CLASS_SLOTS];
int evaluate();
// The tables evaluate() reads, for the rule in force; a think calls it first.
void refresh_evaluation();
// A square's four line shapes as a multiset, sorted from the largest down: the
// combination its evaluation weight belongs to. Fitted weights (kq2-tune
// --shapes, kept in shape_weights.inc) override the class weight of single
// combinations of the classes two to four-more.
constexpr int SHAPE_COMBOS = 1001;
struct ShapeCombos {
    uint16_t of_key[SHAPE_KEYS]; // the combination of a shape key
    uint8_t shapes[SHAPE_COMBOS][4];
    ShapeCombos();
};
extern const ShapeCombos shape_combos;
// The weight of a square of combination `combo` and class k, for the side to
// move `mover`, on its own squares or (theirs) on the other side's; before
// the restricted side's discount on its fouls.
int combo_weight(uint8_t mover, bool theirs, int combo, uint8_t k);
// A weight v of a square of class k as it counts for `colour`: a restricted
// side can never use double fours and overlines (0), and a double three may
// be a foul (half).
int restricted_value(int v, uint8_t colour, uint8_t k);
// Candidate moves of the side to move in the plain case, best first by the
// ordering score; returns the count (at most `limit`). Forbidden squares of a
// restricted side are left out.
int generate_moves(Square* out, int limit);
// Moves that may stop the opponent's threat. Against an open-four point: the
// squares whose stone leaves the opponent none, and the mover's fours unless
// `counter_fours` is false. When `wide` (a win by fours): the opponent's four
// points, the mover's fours and the squares where the opponent would make an
// open three. Ordered; forbidden squares left out.
int generate_defences(Square* out, bool wide, bool counter_fours = true);
// Ordering score of a move for the side to move: by the shape combinations
// of the square for both sides (what the move makes, what it takes away),
// and the history.
int move_score(uint8_t side, Square s);
// History credit of good moves, [colour][square].
extern int32_t history[2][256];
void age_history();

// ---- Threat searches (threats.cpp) ----

// A square where `colour` makes a four and an open three at once: where wins
// by fours start.
inline bool has_four_three(uint8_t colour) {
    return class_count[colour][CLASS_FOUR_THREE] > 0 ||
           class_count[colour][CLASS_FOUR_THREE_THREE] > 0;
}
// A square where `colour` wins next move whatever the answer: an open four,
// or for an unrestricted colour a double four.
inline bool has_open_four_point(uint8_t colour) {
    return class_count[colour][CLASS_OPEN_FOUR] > 0 ||
           (!restricted(colour) && class_count[colour][CLASS_DOUBLE_FOUR] > 0);
}

// The squares where a stone of the defender leaves the attacker no open-four
// point: among each open-four point and the attacker's four points on the
// lines through it (a stone elsewhere cannot change what the attacker makes
// there; a white double four is stopped on either of its lines). The
// defender's own fours are not included.
void threat_replies(uint64_t* set, uint8_t attacker);
// The square where `colour` completes five, NO_MOVE when none.
Square five_point(uint8_t colour);
// Whether `colour` could play s now (empty, and not a foul for a restricted side).
bool legal_for(uint8_t colour, Square s);
// Win by continuous fours for `side` as if it were to move; the opponent must
// have no five point. `tries` bounds the work. On a win *move is set.
bool vcf(uint8_t side, int32_t tries, Square* move);
// Win by threes and fours for `side` as if it were to move, within `depth`
// attacking moves and `nodes` threat-search nodes. On a win *move is set.
// Returns 1 win, 0 none found, -1 aborted (time or nodes).
int vct(uint8_t side, int depth, int64_t nodes, Square* move);
// The same question by a proof-number search within `nodes` threat-search
// nodes, with no depth limit: 1 win (*move set), 0 none, -1 aborted.
int vct_proof(uint8_t side, int64_t nodes, Square* move);
extern int64_t threat_nodes;    // threat-search nodes since the think began
extern int32_t threat_deadline; // elapsed ms at which a threat search gives up
void clear_threat_table();

// ---- Main search (search.cpp) ----

struct RootMove {
    Square move;
    int value;
    int previous;
};

// Iterative deepening over `moves` (count n) until the limits stop it; the
// best move ends up first. Fills `report`.
void search_root(RootMove* moves, int n, int max_depth, int64_t max_nodes);
extern int64_t search_nodes;
void clear_search_table();
// Hard time limit of the think: elapsed ms at which every search stops.
extern int32_t hard_limit;
extern bool search_aborted;
// Called after each finished iteration when settings.show_detail is on.
extern void (*iteration_hook)();

} // namespace kq2

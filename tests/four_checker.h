// An independent judge of wins by continuous fours, for checking the solver
// and the search against hand-verified rules.
//
// It shares nothing with the solver and reads none of the pattern tables:
// five points are found by counting stones on `cells`, fours are moves after
// which the attacker has a five point, positions are remembered under the
// checker's own keys. From the engine it borrows only place_stone /
// remove_stone (to keep the board consistent for the next caller) and the
// Renju foul test is_forbidden.
//
// Rules followed:
//  - the attacker wins at once when it has a five point (black: exactly five);
//  - otherwise every attacking move must leave the attacker a five point;
//    black never plays a square is_forbidden rejects;
//  - while the defender has a five point the attacker may only take it (two
//    five points of the defender: no win); a move leaving the attacker two or
//    more five points wins;
//  - the defender must take the attacker's single five point; a black defender
//    whose block is forbidden loses (optionally not for an overline block,
//    which the engine lets black play);
//  - a block that leaves the defender a five point must be answered by the
//    attacker, and that answer must again be a four (the rule above).
#pragma once

#include <cstdint>
#include <random>
#include <unordered_map>
#include <vector>

#include "test_support.h"

class FourChecker {
  public:
    // Four-making moves of the attacker allowed in one line, the final one
    // (an open four, a double four, a four the defender may not block) included.
    static constexpr int DEFAULT_DEPTH = 20;

    long node_limit = 3000000; // placements allowed to one question

    // overline_block_loses: Renju proper (a black defender may not block on an
    // overline point); false follows the engine, which lets black block there.
    // ignore_forbidden: a black attacker may play fouls too.
    explicit FourChecker(bool overline_block_loses = true, bool ignore_forbidden = false)
        : overline_block_loses_(overline_block_loses), ignore_forbidden_(ignore_forbidden) {
        std::mt19937_64 gen(20240601);
        for (auto& colour : keys_)
            for (auto& k : colour) k = gen();
    }

    // Fewest fours `side` needs to win from the current position, -1 when it
    // has no such win within max_fours (or the node limit was hit: see
    // aborted). A five on the spot needs 0.
    int fours_needed(uint8_t side, int max_fours = DEFAULT_DEPTH) {
        start();
        for (int n = 0; n <= max_fours && !aborted; ++n)
            if (wins_within(side, n)) return n;
        return -1;
    }

    // Does `side` win by fours within n four-making moves?
    bool wins(uint8_t side, int n) {
        start();
        return wins_within(side, n);
    }

    // Does `side`'s move m win by fours, with at most n fours, m included?
    bool move_wins(uint8_t side, Square m, int n) {
        start();
        return try_move(side, m, n);
    }

    // A winning line of at most n fours (attacker's moves and forced blocks
    // alternately, ending with the five or the unstoppable four), for
    // diagnostics.
    std::vector<Square> line(uint8_t side, int n) {
        start();
        std::vector<Square> out;
        const int base = placed_;
        for (int depth = n; depth >= 0; --depth) {
            Square fives[225];
            if (five_points(side, fives) > 0) {
                out.push_back(fives[0]);
                break;
            }
            Square m = NO_MOVE;
            for (int s = 0; s < 240 && m == NO_MOVE; ++s)
                if (on_board(s) && cells[s] == EMPTY && try_move(side, Square(s), depth))
                    m = Square(s);
            if (m == NO_MOVE) break;
            out.push_back(m);
            put(m, side);
            const int count = five_points(side, fives);
            if (count != 1 || (side == WHITE && black_may_not_block(fives[0]))) break;
            out.push_back(fives[0]);
            put(fives[0], uint8_t(1 - side));
        }
        while (placed_ > base) take();
        return out;
    }

    bool aborted = false;

    // --- rules on the bare cells ---

    static bool inside(int c, int r) { return c >= 0 && c < 15 && r >= 0 && r < 15; }

    // Stones of `colour` in a row through empty q along (dc, dr) if q were
    // played, q included.
    static int run_through(Square q, int dc, int dr, uint8_t colour) {
        int n = 1;
        for (int sign : {1, -1}) {
            int c = (q & 15) + sign * dc, r = (q >> 4) + sign * dr;
            while (inside(c, r) && cells[sq(c, r)] == colour) {
                ++n;
                c += sign * dc;
                r += sign * dr;
            }
        }
        return n;
    }

    // Would a stone of `colour` on empty q complete five (black: exactly five)?
    static bool makes_five(Square q, uint8_t colour) {
        for (int d = 0; d < 4; ++d) {
            const int n = run_through(q, DC[d], DR[d], colour);
            if (colour == BLACK ? n == 5 : n >= 5) return true;
        }
        return false;
    }

    static bool makes_overline(Square q) {
        for (int d = 0; d < 4; ++d)
            if (run_through(q, DC[d], DR[d], BLACK) >= 6) return true;
        return false;
    }

    static int five_points(uint8_t colour, Square* out) {
        int n = 0;
        for (int s = 0; s < 240; ++s)
            if (on_board(s) && cells[s] == EMPTY && makes_five(Square(s), colour))
                out[n++] = Square(s);
        return n;
    }

    // A stone on m can only make a four if some five-square window through m
    // holds three of the colour's stones and none of the other's.
    static bool could_make_four(Square m, uint8_t colour) {
        const int mc = m & 15, mr = m >> 4;
        for (int d = 0; d < 4; ++d)
            for (int start = -4; start <= 0; ++start) {
                int own = 0, other = 0;
                bool fits = true;
                for (int k = start; k < start + 5; ++k) {
                    const int c = mc + k * DC[d], r = mr + k * DR[d];
                    if (!inside(c, r)) {
                        fits = false;
                        break;
                    }
                    const uint8_t cell = cells[sq(c, r)];
                    if (cell == colour)
                        ++own;
                    else if (cell != EMPTY)
                        ++other;
                }
                if (fits && own == 3 && other == 0) return true;
            }
        return false;
    }

  private:
    static constexpr int DC[4] = {1, 0, -1, 1};
    static constexpr int DR[4] = {0, 1, 1, 1};

    struct Memo {
        int win_at = -1;  // smallest depth known to win
        int lose_at = -1; // largest depth known to fail
    };

    // Each question starts from whatever is on the board: key it afresh.
    void start() {
        key_ = 0;
        for (int s = 0; s < 240; ++s)
            if (on_board(s) && cells[s] != EMPTY) key_ ^= keys_[cells[s]][s];
        nodes_ = 0;
        aborted = false;
        depth_cut_ = false;
    }

    bool black_may_not_block(Square f) {
        if (!overline_block_loses_ && makes_overline(f) && !makes_five(f, BLACK)) return false;
        return is_forbidden(f);
    }

    // A failure that never met the depth bound holds at every depth.
    static constexpr int ANY_DEPTH = 1 << 30;

    bool wins_within(uint8_t side, int n) {
        const uint64_t key = key_ ^ (side ? 0x9e3779b97f4a7c15ull : 0);
        auto it = memo_.find(key);
        if (it != memo_.end()) {
            if (it->second.win_at >= 0 && it->second.win_at <= n) return true;
            if (it->second.lose_at >= n) {
                if (it->second.lose_at < ANY_DEPTH) depth_cut_ = true;
                return false;
            }
        }
        const bool outer_cut = depth_cut_;
        depth_cut_ = false;
        const bool result = search(side, n);
        Memo& e = memo_[key];
        if (result) {
            if (e.win_at < 0 || n < e.win_at) e.win_at = n;
        } else if (!aborted) {
            const int proven = depth_cut_ ? n : ANY_DEPTH;
            if (proven > e.lose_at) e.lose_at = proven;
        }
        depth_cut_ = outer_cut || depth_cut_;
        return result;
    }

    bool search(uint8_t side, int n) {
        Square fives[225];
        if (five_points(side, fives) > 0) return true;
        if (n <= 0) {
            depth_cut_ = true;
            return false;
        }
        Square threats[225];
        const int def_fives = five_points(uint8_t(1 - side), threats);
        if (def_fives >= 2) return false;
        if (def_fives == 1) return try_move(side, threats[0], n);
        for (int s = 0; s < 240; ++s)
            if (on_board(s) && cells[s] == EMPTY && could_make_four(Square(s), side) &&
                try_move(side, Square(s), n))
                return true;
        return false;
    }

    bool try_move(uint8_t side, Square m, int n) {
        const uint8_t def = uint8_t(1 - side);
        if (!on_board(m) || cells[m] != EMPTY) return false;
        if (makes_five(m, side)) return true;
        if (n <= 0) {
            depth_cut_ = true;
            return false;
        }
        Square threats[225];
        const int def_fives = five_points(def, threats);
        if (def_fives >= 2 || (def_fives == 1 && threats[0] != m)) return false;
        if (side == BLACK && !ignore_forbidden_ && is_forbidden(m)) return false;
        if (++nodes_ > node_limit) aborted = true;
        if (aborted) return false;

        put(m, side);
        Square fives[225];
        const int count = five_points(side, fives);
        bool result;
        if (count == 0) {
            result = false; // not a four
        } else if (count >= 2) {
            result = true; // one block cannot stop two five points
        } else if (def == BLACK && black_may_not_block(fives[0])) {
            result = true;
        } else {
            put(fives[0], def);
            result = wins_within(side, n - 1);
            take();
        }
        take();
        return result;
    }

    void put(Square s, uint8_t colour) {
        place_stone(s, colour);
        key_ ^= keys_[colour][s];
        ++placed_;
    }
    void take() {
        const Square s = move_stack[ply - 1];
        key_ ^= keys_[cells[s]][s];
        remove_stone();
        --placed_;
    }

    bool overline_block_loses_;
    bool ignore_forbidden_;
    uint64_t keys_[2][256];
    uint64_t key_ = 0; // the checker's own key of all stones on the board
    int placed_ = 0;
    long nodes_ = 0;
    bool depth_cut_ = false; // the search below stopped at the depth bound somewhere
    std::unordered_map<uint64_t, Memo> memo_;
};

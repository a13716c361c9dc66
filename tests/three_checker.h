// An independent judge of wins by threes: forced wins in which the attacker
// plays only fours and open threes while the defender may answer with any
// legal move, for checking the searches that look for such wins.
//
// Like FourChecker it shares nothing with the searches and reads none of the
// pattern tables: fives are found by counting stones on `cells` (with
// FourChecker's counting helpers), a three by trying the open four it
// threatens, positions are remembered under the checker's own keys. From the
// engine it borrows only place_stone / remove_stone and the Renju foul test
// is_forbidden.
//
// Depth: the attacker's moves before its five, threes and fours alike (a
// double three and the open four after it: 2).
//
// Rules followed:
//  - the attacker wins at once when it has a five point (black: exactly
//    five);
//  - while the defender has a five point the attacker must take it (two five
//    points of the defender: no win);
//  - every other attacking move is a four (it leaves a five point) or a
//    three; black never plays a square is_forbidden rejects;
//  - a three is a move m after which the attacker could make an open four
//    with m in it: a move q on a line through m, no five itself and legal for
//    the attacker (for black not forbidden, so a three whose open-four points
//    are all fouls is no three), after which that line holds two five points,
//    one of them completing a five through m;
//  - a four is answered by its block; a black defender whose block is
//    forbidden loses (an overline point too);
//  - a three is answered by every legal move of the defender, counter-fours
//    included, each searched to the end; the one shortcut is exact: a reply
//    that makes no four and leaves one of the three's open fours to be made
//    loses;
//  - the attacker's block of a counter-four must itself be a four or a three,
//    unless quiet_blocks is set: then any block will do, and the defender
//    moves again.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <unordered_map>

#include "four_checker.h"
#include "test_support.h"

class ThreeChecker {
  public:
    long node_limit = 20000000; // attacking moves and replies allowed to one question
    bool aborted = false;

    explicit ThreeChecker(bool quiet_blocks = false) : quiet_blocks_(quiet_blocks) {
        std::mt19937_64 gen(20240717);
        for (auto& colour : keys_)
            for (auto& k : colour) k = gen();
    }

    // Fewest attacking moves `side` needs to win by threes, -1 when it has no
    // such win within max_depth (or a node limit was hit: see aborted).
    int threes_needed(uint8_t side, int max_depth) {
        start();
        for (int n = 0; n <= max_depth && !aborted; ++n)
            if (wins_within(side, n)) return n;
        return -1;
    }

    // Does `side`, to move, win by threes within n attacking moves?
    bool wins(uint8_t side, int n) {
        start();
        return wins_within(side, n);
    }

    // Does `side`'s move m keep a win by threes within n moves, m included?
    bool move_wins(uint8_t side, Square m, int n) {
        start();
        return try_move(side, m, n);
    }

    // Would `side`'s stone on the empty square m make a three (rule above)?
    static bool makes_three(uint8_t side, Square m) {
        Square fives[225];
        place_stone(m, side);
        Square points[32];
        const bool three =
            FourChecker::five_points(side, fives) == 0 && open_four_points(side, m, points) > 0;
        remove_stone();
        return three;
    }

  private:
    static constexpr int DC[4] = {1, 0, -1, 1};
    static constexpr int DR[4] = {0, 1, 1, 1};

    struct Memo {
        int win_at = -1;  // smallest depth known to win
        int lose_at = -1; // largest depth known to fail
    };

    void start() {
        key_ = 0;
        for (int s = 0; s < 240; ++s)
            if (on_board(s) && cells[s] != EMPTY) key_ ^= keys_[cells[s]][s];
        nodes_ = 0;
        aborted = false;
    }

    // The square k steps from s along direction d, or NO_MOVE off the board.
    static Square step(Square s, int d, int k) {
        const int c = (s & 15) + k * DC[d], r = (s >> 4) + k * DR[d];
        return FourChecker::inside(c, r) ? sq(c, r) : NO_MOVE;
    }

    // Stones of `side` in a row through the empty square p along d if p and
    // q held its stones, p and q included.
    static int run_with(Square p, Square q, int d, uint8_t side) {
        int n = 1;
        for (int sign : {1, -1})
            for (int k = sign;; k += sign) {
                const Square s = step(p, d, k);
                if (s == NO_MOVE || (cells[s] != side && s != q)) break;
                ++n;
            }
        return n;
    }

    // The five points a stone of `side` on s (played or not) gives on the
    // lines through s. When `side` has no other five point, these are all
    // its five points: each five it can complete runs through s.
    static int fives_through(Square s, uint8_t side, Square* out) {
        int count = 0;
        for (int d = 0; d < 4; ++d)
            for (int k = -4; k <= 4; ++k) {
                const Square p = step(s, d, k);
                if (k == 0 || p == NO_MOVE || cells[p] != EMPTY) continue;
                const int run = run_with(p, s, d, side);
                if (side == BLACK ? run == 5 : run >= 5) out[count++] = p;
            }
        return count;
    }

    // With m played and no five point of `side` on the board: the squares q
    // of the rule for threes (a square may be listed more than once). m is a
    // three when there is one.
    static int open_four_points(uint8_t side, Square m, Square* out) {
        int count = 0;
        for (int d = 0; d < 4; ++d)
            for (int k = -4; k <= 4; ++k) {
                const Square q = step(m, d, k);
                if (k == 0 || q == NO_MOVE || cells[q] != EMPTY) continue;
                // The line's five points after q, all within four steps of q.
                int fives = 0;
                bool through_m = false;
                for (int j = -4; j <= 4; ++j) {
                    const Square p = step(q, d, j);
                    if (j == 0 || p == NO_MOVE || cells[p] != EMPTY) continue;
                    const int run = run_with(p, q, d, side);
                    if (side == BLACK ? run != 5 : run < 5) continue;
                    ++fives;
                    through_m = through_m || joined(p, m, q, d, side);
                }
                if (fives >= 2 && through_m && !(side == BLACK && is_forbidden(q)))
                    out[count++] = q;
            }
        return count;
    }

    // Are all squares strictly between p and m (on line d) stones of `side`,
    // or q?
    static bool joined(Square p, Square m, Square q, int d, uint8_t side) {
        const int k = d == 0 ? (m & 15) - (p & 15) : (m >> 4) - (p >> 4); // m is k steps from p
        const int sign = k > 0 ? 1 : -1;
        for (int j = sign; j != k; j += sign) {
            const Square s = step(p, d, j);
            if (cells[s] != side && s != q) return false;
        }
        return true;
    }

    // most[c][s]: the most stones of colour c in a five-square window through
    // the empty square s that holds none of the other colour's. A stone of c
    // on s can complete a five only where it is 4, make a four only where it
    // is 3 or more, a three only where it is 2 or more (the window of the
    // open four's five through m, before m and q are played).
    static void count_windows(uint8_t (&most)[2][256]) {
        std::memset(most, 0, sizeof most);
        for (int s = 0; s < 240; ++s)
            for (int d = 0; d < 4; ++d) {
                if (!on_board(s) || step(Square(s), d, 4) == NO_MOVE) continue;
                int stones[3] = {0, 0, 0};
                for (int k = 0; k < 5; ++k) ++stones[cells[step(Square(s), d, k)]];
                for (int k = 0; k < 5; ++k) {
                    const Square p = step(Square(s), d, k);
                    for (int c = 0; c < 2; ++c)
                        if (cells[p] == EMPTY && stones[1 - c] == 0 && stones[c] > most[c][p])
                            most[c][p] = uint8_t(stones[c]);
                }
            }
    }

    bool wins_within(uint8_t side, int n) {
        const uint64_t key = key_ ^ (side ? 0x9e3779b97f4a7c15ull : 0);
        auto it = memo_.find(key);
        if (it != memo_.end()) {
            if (it->second.win_at >= 0 && it->second.win_at <= n) return true;
            if (it->second.lose_at >= n) return false;
        }
        const bool result = search(side, n); // a win found stands even if aborted later
        if (!result && aborted) return false;
        Memo& e = memo_[key];
        if (result && (e.win_at < 0 || n < e.win_at)) e.win_at = n;
        if (!result && n > e.lose_at) e.lose_at = n;
        return result;
    }

    bool search(uint8_t side, int n) {
        const uint8_t def = uint8_t(1 - side);
        uint8_t most[2][256];
        count_windows(most);
        Square threats[225];
        int def_fives = 0;
        for (int s = 0; s < 240; ++s) {
            if (most[side][s] == 4 && FourChecker::makes_five(Square(s), side)) return true;
            if (most[def][s] == 4 && FourChecker::makes_five(Square(s), def))
                threats[def_fives++] = Square(s);
        }
        if (n <= 0 || def_fives >= 2) return false;
        if (def_fives == 1) return try_move(side, threats[0], n);
        // Fours first: they are few and end most lines at once. With one move
        // left a three cannot win (the defender takes any square and no five
        // point appears), so then only fours are tried.
        for (int pass = 0; pass < (n >= 2 ? 2 : 1); ++pass)
            for (int s = 0; s < 240 && !aborted; ++s) {
                if (pass == 0 ? most[side][s] < 3 : most[side][s] != 2) continue;
                if (side == BLACK && is_forbidden(Square(s))) continue;
                if (play(side, Square(s), n, false, false)) return true;
            }
        return false;
    }

    bool try_move(uint8_t side, Square m, int n) {
        if (!on_board(m) || cells[m] != EMPTY) return false;
        if (FourChecker::makes_five(m, side)) return true;
        if (n <= 0) return false;
        Square threats[225];
        const int def_fives = FourChecker::five_points(uint8_t(1 - side), threats);
        if (def_fives >= 2 || (def_fives == 1 && threats[0] != m)) return false;
        if (side == BLACK && is_forbidden(m)) return false;
        return play(side, m, n, def_fives == 1, FourChecker::five_points(side, threats) > 0);
    }

    // The attacker's legal move m, which takes the defender's five point when
    // it has one (blocking). Unless scan_all, the attacker has no five point
    // before m, so the ones after it are all near m.
    bool play(uint8_t side, Square m, int n, bool blocking, bool scan_all) {
        const uint8_t def = uint8_t(1 - side);
        if (++nodes_ > node_limit) aborted = true;
        if (aborted) return false;
        put(m, side);
        Square fives[225];
        const int count =
            scan_all ? FourChecker::five_points(side, fives) : fives_through(m, side, fives);
        bool result = false;
        if (count >= 2) {
            result = true;
        } else if (count == 1) {
            if (def == BLACK && is_forbidden(fives[0])) {
                result = true;
            } else {
                put(fives[0], def);
                result = wins_within(side, n - 1);
                take();
            }
        } else if (n >= 2) {
            Square points[32];
            const int open_fours = open_four_points(side, m, points);
            if (open_fours > 0 || (blocking && quiet_blocks_))
                result = every_reply_loses(side, m, points, open_fours, n - 1);
        }
        take();
        return result;
    }

    // Every legal move of the defender after the attacker's threat m (no five
    // point of either side on the board), then the attacker with n moves.
    // Squares near m come first: they hold the usual refutations, so a threat
    // that fails is dropped quickly. Most replies make no four and leave one
    // of the open fours the three threatens (points) to be played at once.
    bool every_reply_loses(uint8_t side, Square m, const Square* points, int open_fours, int n) {
        const uint8_t def = uint8_t(1 - side);
        Square order[225];
        bool listed[256] = {};
        int count = 0;
        for (int k = 1; k <= 5; ++k)
            for (int d = 0; d < 4; ++d)
                for (int sign : {1, -1}) {
                    const Square s = step(m, d, sign * k);
                    if (s != NO_MOVE && cells[s] == EMPTY && !listed[s]) {
                        listed[s] = true;
                        order[count++] = s;
                    }
                }
        for (int s = 0; s < 240; ++s)
            if (on_board(s) && cells[s] == EMPTY && !listed[s]) order[count++] = Square(s);

        for (int i = 0; i < count; ++i) {
            const Square r = order[i];
            if (def == BLACK && is_forbidden(r)) continue;
            if (++nodes_ > node_limit) aborted = true;
            if (aborted) return false;
            put(r, def);
            Square fives[225];
            bool lost = false;
            if (fives_through(r, def, fives) == 0)
                for (int k = 0; k < open_fours && !lost; ++k) {
                    const Square q = points[k];
                    lost = cells[q] == EMPTY && !(side == BLACK && is_forbidden(q)) &&
                           fives_through(q, side, fives) >= 2;
                }
            if (!lost) lost = wins_within(side, n);
            take();
            if (!lost) return false;
        }
        return true;
    }

    void put(Square s, uint8_t colour) {
        place_stone(s, colour);
        key_ ^= keys_[colour][s];
    }
    void take() {
        const Square s = move_stack[ply - 1];
        key_ ^= keys_[cells[s]][s];
        remove_stone();
    }

    bool quiet_blocks_;
    uint64_t keys_[2][256];
    uint64_t key_ = 0;
    long nodes_ = 0;
    std::unordered_map<uint64_t, Memo> memo_;
};

// A slow, plain model of black's Renju fouls, written straight from the
// rules to check the engine's is_forbidden against. It shares nothing with
// the board code: a 15 x 15 array of cells and stones counted along the four
// directions, one trial stone at a time.
//
// The rules as read here, for a black stone tried on an empty point p:
//  - A five is a run of exactly five black stones. If p makes one in any
//    direction the move is allowed, whatever else it makes.
//  - Otherwise a run of six or more through p is an overline: forbidden.
//  - A four on a line is a set of four black stones including p that one
//    more stone on an empty point of that line turns into a five (an exact
//    five; a point that would give six completes nothing). Fours are told
//    apart by their stones, so the two ends of an open four .XXXX. are one
//    four, while X.XXX.X with p in the middle holds two. Only fours
//    containing p count: a four already on the board is not made by p.
//    Two or more fours, on one line or several, are forbidden.
//  - A three on a line is a line where some empty point q of it would make a
//    straight four containing both p and q (a four with two distinct points
//    completing an exact five). The three is real when at least one such q
//    is not itself forbidden with p on the board, judged by these same rules
//    (so recursively). A line counts once however many threes it holds; two
//    or more lines with a real three are forbidden. A four and one real
//    three is allowed, a four and two real threes is not.
//  - Occupied points are never forbidden; white is never restricted.
//
// The recursion ends by itself (each level adds a stone), but it is capped
// at MAX_DEPTH trial stones: a point met deeper is taken as allowed and
// counted in depth_cap_hits, so a caller can check the cap never decided.
#pragma once

#include <cstdint>

namespace renju_model {

constexpr int SIZE = 15;
constexpr uint8_t EMPTY_POINT = 0, BLACK_STONE = 1, WHITE_STONE = 2;
constexpr int DR[4] = {0, 1, 1, 1}, DC[4] = {1, 0, 1, -1};
constexpr int MAX_DEPTH = 12;

enum Verdict { ALLOWED, FIVE, OVERLINE, DOUBLE_FOUR, DOUBLE_THREE };

struct Board {
    uint8_t at[SIZE][SIZE] = {};
    // Counters for the caller: depth caps met; points whose verdict turned
    // on a three that was not real; open-four points refused as double threes
    // (a verdict two trial stones deep).
    long depth_cap_hits = 0, saved_by_false_three = 0, refused_as_double_three = 0;

    static bool inside(int r, int c) { return r >= 0 && r < SIZE && c >= 0 && c < SIZE; }
    bool is(int r, int c, uint8_t v) const { return inside(r, c) && at[r][c] == v; }

    // Length of the run of `colour` through (r, c) along direction d,
    // counting (r, c) itself whatever it holds.
    int run(int r, int c, int d, uint8_t colour = BLACK_STONE) const {
        int n = 1;
        for (int s = -1; s <= 1; s += 2)
            for (int k = 1; is(r + s * k * DR[d], c + s * k * DC[d], colour); ++k) ++n;
        return n;
    }

    // The fours through p = (r, c) on line d, p black: how many distinct
    // four-stone sets containing p (and `also`, an offset from p along the
    // line, when given) one stone completes to an exact five, and how many
    // completing points the best-served of them has.
    void fours(int r, int c, int d, int& count, int& most_points, int also = 99) {
        uint32_t sets[9];
        int points[9];
        count = most_points = 0;
        for (int k = -4; k <= 4; ++k) {
            const int er = r + k * DR[d], ec = c + k * DC[d];
            if (!is(er, ec, EMPTY_POINT)) continue;
            at[er][ec] = BLACK_STONE;
            // The run through the completing point, as offsets from p.
            int lo = k, hi = k;
            while (is(r + (lo - 1) * DR[d], c + (lo - 1) * DC[d], BLACK_STONE)) --lo;
            while (is(r + (hi + 1) * DR[d], c + (hi + 1) * DC[d], BLACK_STONE)) ++hi;
            at[er][ec] = EMPTY_POINT;
            if (hi - lo + 1 != 5 || lo > 0 || hi < 0) continue; // not an exact five with p
            if (also != 99 && (lo > also || hi < also)) continue;
            uint32_t set = 0;
            for (int j = lo; j <= hi; ++j)
                if (j != k) set |= 1u << (j + 8);
            int i = 0;
            while (i < count && sets[i] != set) ++i;
            if (i == count) sets[count] = set, points[count++] = 0;
            if (++points[i] > most_points) most_points = points[i];
        }
    }

    // Line d through p = (r, c), p black: 0 when no point of it makes a
    // straight four with p, 1 when some do but all are forbidden for black,
    // 2 when one of them is allowed (a real three).
    int three(int r, int c, int d, int depth) {
        int found = 0;
        for (int k = -4; k <= 4; ++k) {
            const int qr = r + k * DR[d], qc = c + k * DC[d];
            if (k == 0 || !is(qr, qc, EMPTY_POINT)) continue;
            at[qr][qc] = BLACK_STONE;
            int count, most;
            fours(r, c, d, count, most, k);
            at[qr][qc] = EMPTY_POINT;
            if (most < 2) continue;
            found = 1;
            if (depth + 1 >= MAX_DEPTH) {
                ++depth_cap_hits;
                return 2;
            }
            const Verdict v = verdict(qr, qc, depth + 1);
            if (v == ALLOWED || v == FIVE) return 2;
            refused_as_double_three += v == DOUBLE_THREE;
        }
        return found;
    }

    // The verdict for black at (r, c); trial stones are `depth` deep.
    Verdict verdict(int r, int c, int depth = 0) {
        if (!is(r, c, EMPTY_POINT)) return ALLOWED;
        at[r][c] = BLACK_STONE;
        bool five = false, over = false;
        for (int d = 0; d < 4; ++d) {
            const int n = run(r, c, d);
            five |= n == 5;
            over |= n > 5;
        }
        Verdict v = ALLOWED;
        if (five) {
            v = FIVE;
        } else if (over) {
            v = OVERLINE;
        } else {
            int total = 0;
            for (int d = 0; d < 4; ++d) {
                int count, most;
                fours(r, c, d, count, most);
                total += count;
            }
            if (total >= 2) {
                v = DOUBLE_FOUR;
            } else {
                int threes = 0, real = 0;
                for (int d = 0; d < 4; ++d) {
                    const int t = three(r, c, d, depth);
                    threes += t > 0;
                    real += t == 2;
                }
                if (real >= 2) v = DOUBLE_THREE;
                saved_by_false_three += threes >= 2 && real < 2;
            }
        }
        at[r][c] = EMPTY_POINT;
        return v;
    }
    bool forbidden(int r, int c) {
        const Verdict v = verdict(r, c);
        return v == OVERLINE || v == DOUBLE_FOUR || v == DOUBLE_THREE;
    }

    // A five or longer for either colour anywhere on the board (black's six
    // included): positions past the end of a game.
    bool has_five_or_more() const {
        for (int r = 0; r < SIZE; ++r)
            for (int c = 0; c < SIZE; ++c)
                for (int d = 0; d < 4; ++d)
                    if (at[r][c] != EMPTY_POINT && run(r, c, d, at[r][c]) >= 5) return true;
        return false;
    }
};

} // namespace renju_model

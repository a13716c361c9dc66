// kq2-tune: fits the weights of kq2's evaluation to game results, or to a
// search's verdicts (--shapes).
//
// Reads game logs of kq-match (--log: one game a line, the moves as two
// letters, " # ", then "black wins", "white wins" or "draw"), or SGF records
// of a match runner (a file that begins with "(;"). Every renju
// game decided on the board (by a five, a foul or a full board; not by the
// clock or a fault) is replayed on the engine board, and its quiet positions
// are kept: neither colour has a five, open-four or four-three square
// (classes 15, 14, 11, 12). The first 6 moves and the last 2 plies before the
// end are left out, and a game met twice is read once. A kept position gives
// the class counts 2..14 of the side to move and of the other side, the
// mover's colour and the result for the mover (1 win, 0.5 draw, 0 loss).
//
// The model is kq2::evaluate(): the mover's counts times own_weight less the
// other side's counts times their_weight, restricted black's double fours
// worth 0 and its double threes half. The fit minimises the mean squared
// error between the result and 1 / (1 + exp(-eval / K)). K is chosen for the
// current weights and then held, which keeps the fit in the units the
// search's margins are written in (each fit prints its mean |eval| to show
// how far the values spread). The weights are fitted by gradient descent
// (Adam), then polished as integers, with evaluate()'s own rounding, by
// single steps that lower the error. Twice: one pair of tables for both
// movers (from the mean of eval.cpp's two), and one pair for each colour as
// the mover, as eval.cpp has it. A
// weight is fitted only when its class shows up in enough training
// positions; the others (among them 11, 12 and 14, which quiet positions
// never hold) keep their values.
//
// Games are split into training and validation by a hash of their first 8
// moves, so that repeats of one game land in the same part; the validation
// error tells whether the fit only learnt its training games.
//
//   kq2-tune [options] LOG...
//     --valid P        percent of games held out (default 20)
//     --fold F         holds out the F-th such share instead of the first
//     --ridge R        pulls the weights towards the current ones: adds R
//                      times the mean squared relative change to the error
//                      (default 0)
//     --min N          training positions a class needs to be fitted (default 40)
//     --iters N        gradient steps (default 3000)
//     --features FILE  writes the kept positions, one a line: mover (b/w),
//                      result, the 13 counts of the mover, the 13 of the
//                      other side, part (t/v)
//     --shapes         fits instead one weight per shape combination of a
//                      square (the multiset of its four line shapes), by
//                      mover and side, for the classes two to four-more, to
//                      a search's verdict on each kept position; prints the
//                      lines of src/kq2/shape_weights.inc
//     --label-depth D  the depth of that search (default 6; at most a million
//                      nodes); 0: no search, only the positions the labels
//                      file knows are used
//     --mix M          the target is M times the search's verdict plus 1-M
//                      times the game's result (default 1; 0: no search)
//     --labels FILE    verdicts already searched, one a line (moves, value),
//                      read first; new ones are appended. The verdicts depend
//                      on the engine and the depth: a new file for either.
//
// Games for it, e.g. kq2 against itself from varied openings:
//   kq-match pbrain-kq2 pbrain-kq2 --openings FILE --turn 150 --games 104 --log games.log
// and the shape weights from them:
//   kq2-tune --shapes --label-depth 6 --labels labels.txt games.log > fit.txt
//
// Build: the kq2-tune target, or by hand
//   g++ -O2 -std=c++17 -Isrc -Ibench bench/kq2_tune.cpp build/libkq.a -lpthread -o kq2-tune
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/board/board.h"
#include "core/timing.h"
#include "kq/kq.h"
#include "kq2/kq2.h"

namespace {

constexpr int FIRST = CLASS_TWO, LAST = CLASS_OPEN_FOUR, CLASSES = LAST - FIRST + 1;
constexpr int SKIP_FIRST = 6, SKIP_LAST = 2;

// The weights eval.cpp holds, by the colour of the side to move.
const auto& current_own = kq2::own_weight;
const auto& current_their = kq2::their_weight;

const char* const class_name[CLASS_SLOTS] = {
    "none",      "ones",        "two",       "closed three", "double two", "open three",
    "three-two", "dbl three",   "four",      "four+",        "unused",     "four-three",
    "4-3-3",     "double four", "open four", "five",         "overline",   ""};

struct Sample {
    int16_t own[CLASSES];   // mover's counts, class FIRST + i
    int16_t their[CLASSES]; // the other side's
    uint8_t mover;          // BLACK or WHITE
    bool valid;             // held out
    double result;          // for the mover
};

// Weights by the mover's colour: own[m] weighs the mover's counts, their[m]
// the other side's. The shared fit keeps both colours equal.
struct Tables {
    int own[2][CLASS_SLOTS];
    int their[2][CLASS_SLOTS];
};

// Features of --shapes: the mover's combinations, then the other side's.
constexpr int FEATURES = 2 * kq2::SHAPE_COMBOS;

// --shapes: a kept position by the shape combinations of its squares. The
// fitted part of the evaluation is the sum over its features of count times
// weight; the rest of evaluate() (the classes the fit leaves alone) is fixed.
struct ShapeSample {
    std::vector<std::pair<uint16_t, float>> features; // theirs * SHAPE_COMBOS + combo
    float fixed;
    uint8_t mover;
    bool valid;
    float result;     // for the mover
    int16_t search;   // the value of a search of the position, from the mover's side
    float target = 0; // what the fit aims at: search verdict and result, mixed
};

// The search of a label stops at this many nodes if its depth takes more
// (long games, crowded boards).
constexpr int64_t LABEL_NODES = 1000000;

struct ShapeOptions {
    bool on = false;
    int label_depth = 6;
    double mix = 1.0; // share of the search verdict in the target
    const char* labels = nullptr;
    std::map<std::string, int> known; // moves -> search value, from the labels file
    FILE* append = nullptr;
    long searched = 0;
};
ShapeOptions shape_options;
std::vector<ShapeSample> shape_data;

// What one square of class k is worth to `colour` per unit of weight, as
// kq2::restricted_value has it (black is the restricted colour in renju).
double class_factor(uint8_t colour, int k) {
    if (colour != BLACK) return 1.0;
    if (k == CLASS_DOUBLE_FOUR || k == CLASS_OVERLINE) return 0.0;
    if (k == CLASS_DOUBLE_THREE || k == CLASS_FOUR_THREE_THREE) return 0.5;
    return 1.0;
}

int class_value(const int* w, uint8_t colour, int k) {
    return kq2::restricted_value(w[k], colour, uint8_t(k));
}

int exact_eval(const Sample& s, const Tables& t) {
    const uint8_t m = s.mover, o = uint8_t(1 - m);
    int v = 0;
    for (int i = 0; i < CLASSES; ++i) {
        v += class_value(t.own[m], m, FIRST + i) * s.own[i];
        v -= class_value(t.their[m], o, FIRST + i) * s.their[i];
    }
    return v;
}

Tables current_tables() {
    Tables t;
    for (int m = 0; m < 2; ++m) {
        std::memcpy(t.own[m], current_own[m], sizeof current_own[m]);
        std::memcpy(t.their[m], current_their[m], sizeof current_their[m]);
    }
    return t;
}

double sigmoid(double x) { return 1.0 / (1.0 + std::exp(-x)); }

struct Errors {
    double train = 0, valid = 0;
};

Errors errors(const std::vector<Sample>& data, const Tables& t, double k) {
    double sum[2] = {0, 0};
    long n[2] = {0, 0};
    for (const Sample& s : data) {
        const double d = s.result - sigmoid(exact_eval(s, t) / k);
        sum[s.valid] += d * d;
        ++n[s.valid];
    }
    return {n[0] ? sum[0] / double(n[0]) : 0.0, n[1] ? sum[1] / double(n[1]) : 0.0};
}

// K for the given tables: golden-section search on log K over the training part.
double fit_k(const std::vector<Sample>& data, const Tables& t) {
    double a = std::log(1.0), b = std::log(1e5);
    const double r = (std::sqrt(5.0) - 1) / 2;
    auto err = [&](double lk) { return errors(data, t, std::exp(lk)).train; };
    double c = b - r * (b - a), d = a + r * (b - a), fc = err(c), fd = err(d);
    for (int i = 0; i < 60; ++i) {
        if (fc < fd) {
            b = d, d = c, fd = fc;
            c = b - r * (b - a), fc = err(c);
        } else {
            a = c, c = d, fc = fd;
            d = a + r * (b - a), fd = err(d);
        }
    }
    return std::exp((a + b) / 2);
}

// A fitted weight: the table entries it sets (one, or one per mover colour).
struct Param {
    bool own;
    int k;
    int movers; // bit m: the table of mover m
};

// Which weights the training data can tell: a class of a table that enough
// positions hold, with a nonzero value for the colour it is counted for.
std::vector<Param> free_params(const std::vector<Sample>& data, bool split, int min_count) {
    std::vector<Param> out;
    for (int own = 1; own >= 0; --own) {
        for (int group = 0; group < (split ? 2 : 1); ++group) {
            const int movers = split ? 1 << (group ? BLACK : WHITE) : 3;
            for (int k = FIRST; k <= LAST; ++k) {
                int count = 0;
                for (const Sample& s : data) {
                    if (s.valid || !(movers >> s.mover & 1)) continue;
                    const uint8_t colour = own ? s.mover : uint8_t(1 - s.mover);
                    const int16_t c = own ? s.own[k - FIRST] : s.their[k - FIRST];
                    if (c && class_factor(colour, k) > 0) ++count;
                }
                if (count >= min_count) out.push_back({own != 0, k, movers});
            }
        }
    }
    return out;
}

// A weight shared by both movers starts from the mean of the two.
double prior_value(const Param& p) {
    const auto& w = p.own ? current_own : current_their;
    if (p.movers == 3) return (w[WHITE][p.k] + w[BLACK][p.k]) / 2.0;
    return w[p.movers >> BLACK & 1 ? BLACK : WHITE][p.k];
}

// The pull of --ridge towards the current weights: ridge times the mean
// squared relative change of the fitted weights.
double prior_scale(const Param& p) { return std::max(4.0, prior_value(p)); }

void set_param(Tables& t, const Param& p, int v) {
    for (int m = 0; m < 2; ++m)
        if (p.movers >> m & 1) (p.own ? t.own : t.their)[m][p.k] = v;
}

int get_param(const Tables& t, const Param& p) {
    const int m = p.movers & 1 ? 0 : 1;
    return (p.own ? t.own : t.their)[m][p.k];
}

double penalty(const Tables& t, const std::vector<Param>& params, double ridge) {
    if (params.empty()) return 0.0;
    double sum = 0;
    for (const Param& p : params) {
        const double d = (get_param(t, p) - prior_value(p)) / prior_scale(p);
        sum += d * d;
    }
    return ridge * sum / double(params.size());
}

// Adam on real-valued weights over the training part, from `t`; the result
// rounded into `t`.
void descend(const std::vector<Sample>& data, const std::vector<Param>& params, Tables& t, double k,
             int iters, double ridge) {
    double w[2][2][CLASS_SLOTS]; // [own?][mover][class]
    for (int m = 0; m < 2; ++m)
        for (int c = 0; c < CLASS_SLOTS; ++c) {
            w[1][m][c] = t.own[m][c];
            w[0][m][c] = t.their[m][c];
        }
    const size_t np = params.size();
    std::vector<double> mom(np, 0.0), var(np, 0.0);
    long n = 0;
    for (const Sample& s : data) n += !s.valid;
    const double beta1 = 0.9, beta2 = 0.999;
    for (int it = 1; it <= iters; ++it) {
        double g[2][2][CLASS_SLOTS] = {};
        for (const Sample& s : data) {
            if (s.valid) continue;
            const uint8_t m = s.mover, o = uint8_t(1 - m);
            double v = 0;
            for (int i = 0; i < CLASSES; ++i) {
                v += w[1][m][FIRST + i] * class_factor(m, FIRST + i) * s.own[i];
                v -= w[0][m][FIRST + i] * class_factor(o, FIRST + i) * s.their[i];
            }
            const double p = sigmoid(v / k);
            const double d = 2 * (p - s.result) * p * (1 - p) / k / double(n);
            for (int i = 0; i < CLASSES; ++i) {
                g[1][m][FIRST + i] += d * class_factor(m, FIRST + i) * s.own[i];
                g[0][m][FIRST + i] -= d * class_factor(o, FIRST + i) * s.their[i];
            }
        }
        // The step shrinks from 2 weight units to 0.05 over the run.
        const double lr = 2.0 * std::pow(0.025, double(it) / iters);
        for (size_t j = 0; j < np; ++j) {
            const Param& p = params[j];
            const int m0 = p.movers & 1 ? 0 : 1;
            const double sc = prior_scale(p);
            double gj = 2 * ridge * (w[p.own][m0][p.k] - prior_value(p)) / (sc * sc) / double(np);
            for (int m = 0; m < 2; ++m)
                if (p.movers >> m & 1) gj += g[p.own][m][p.k];
            mom[j] = beta1 * mom[j] + (1 - beta1) * gj;
            var[j] = beta2 * var[j] + (1 - beta2) * gj * gj;
            const double mh = mom[j] / (1 - std::pow(beta1, it)),
                         vh = var[j] / (1 - std::pow(beta2, it));
            const double step = lr * mh / (std::sqrt(vh) + 1e-12);
            for (int m = 0; m < 2; ++m)
                if (p.movers >> m & 1) w[p.own][m][p.k] -= step;
        }
    }
    for (const Param& p : params) {
        const int m = p.movers & 1 ? 0 : 1;
        set_param(t, p, int(std::lround(w[p.own][m][p.k])));
    }
}

// Integer polish: steps of +-1 and +-2 on each weight while the training
// error (with the ridge's pull) falls.
void polish(const std::vector<Sample>& data, const std::vector<Param>& params, Tables& t, double k,
            double ridge) {
    double best = errors(data, t, k).train + penalty(t, params, ridge);
    for (int pass = 0; pass < 100; ++pass) {
        bool improved = false;
        for (const Param& p : params) {
            const int v0 = get_param(t, p);
            for (const int delta : {1, -1, 2, -2}) {
                set_param(t, p, v0 + delta);
                const double e = errors(data, t, k).train + penalty(t, params, ridge);
                if (e < best - 1e-12) {
                    best = e;
                    improved = true;
                    break;
                }
                set_param(t, p, v0);
            }
        }
        if (!improved) break;
    }
}

// As eval.cpp declares it, nine entries a line.
void print_table(const char* name, const int* w) {
    const int indent = std::printf("constexpr int %s[CLASS_SLOTS] = {", name);
    for (int c = 0; c < CLASS_SLOTS; ++c) {
        if (c == 9)
            std::printf(",\n%*s", indent, "");
        else if (c)
            std::printf(", ");
        std::printf("%d", w[c]);
    }
    std::printf("};\n");
}

double mean_size(const std::vector<Sample>& data, const Tables& t) {
    double sum = 0;
    for (const Sample& s : data) sum += std::abs(exact_eval(s, t));
    return sum / double(data.size());
}

// Result words of a log line: 1 black won, 0 white won, 0.5 draw, -1 unknown.
double parse_result(const std::string& tail) {
    if (tail.compare(0, 10, "black wins") == 0) return 1.0;
    if (tail.compare(0, 10, "white wins") == 0) return 0.0;
    if (tail.compare(0, 4, "draw") == 0) return 0.5;
    return -1.0;
}

// Whether the game was decided on the board: a five, a foul or a full board,
// not a crash, an illegal reply or the clock.
bool decided_on_board(const std::string& tail) {
    const size_t open = tail.find('(');
    if (open == std::string::npos) return true;
    for (const char* r : {"five", "foul", "full"})
        if (tail.compare(open + 1, std::strlen(r), r) == 0) return true;
    return false;
}

bool parse_moves(const std::string& text, GameRecord& g) {
    g.count = 0;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        if (i + 1 >= text.size() || g.count >= MAX_MOVES) return false;
        const int x = text[i] - 'A', y = text[i + 1] - 'A';
        if (x < 0 || x >= BOARD_SIZE || y < 0 || y >= BOARD_SIZE) return false;
        g.moves[g.count++] = Square(y * 16 + x);
        i += 2;
        if (i < text.size() && text[i] != ' ') return false;
    }
    return true;
}

uint32_t opening_hash(const GameRecord& g) {
    uint32_t h = 2166136261u;
    for (int i = 0; i < std::min<int>(g.count, 8); ++i) h = (h ^ g.moves[i]) * 16777619u;
    return h;
}

struct ReadStats {
    long games = 0, skipped = 0, repeats = 0, positions = 0, kept = 0;
    long differ = 0; // kept positions where evaluate() is not the model with current weights
    long valid_games = 0;
    double black_score = 0;
};

bool quiet() {
    for (int c = 0; c < 2; ++c)
        if (class_count[c][CLASS_FIVE] || class_count[c][CLASS_OPEN_FOUR] ||
            class_count[c][CLASS_FOUR_THREE] || class_count[c][CLASS_FOUR_THREE_THREE])
            return false;
    return true;
}

// The games of an SGF collection (a match runner's record: RE[B+..] or
// RE[W+..] for the winner, TE[...] for how the game ended, ;B[hh] moves) as
// log lines. A game that ended by a five, a foul or a full board says so; any
// other end (time, a crash, an illegal move) is left unnamed and skipped.
std::vector<std::string> sgf_games(const std::string& text) {
    auto property = [](const std::string& game, const char* name) {
        const size_t at = game.find(std::string(name) + "[");
        if (at == std::string::npos) return std::string();
        const size_t start = at + std::strlen(name) + 1, end = game.find(']', start);
        return end == std::string::npos ? std::string() : game.substr(start, end - start);
    };
    std::vector<std::string> out;
    for (size_t at = text.find("(;"); at != std::string::npos;) {
        const size_t next = text.find("(;", at + 2);
        const std::string game = text.substr(at, next == std::string::npos ? next : next - at);
        at = next;
        const std::string re = property(game, "RE"), te = property(game, "TE");
        std::string moves;
        for (size_t m = game.find(";B["); m != std::string::npos;) {
            if (m + 5 < game.size() && game[m + 5] == ']' && game[m + 3] >= 'a' &&
                game[m + 3] <= 'o' && game[m + 4] >= 'a' && game[m + 4] <= 'o') {
                if (!moves.empty()) moves += ' ';
                moves += char(game[m + 3] - 'a' + 'A');
                moves += char(game[m + 4] - 'a' + 'A');
            }
            const size_t b = game.find(";B[", m + 1), w = game.find(";W[", m + 1);
            m = std::min(b, w);
        }
        const char* result = re.compare(0, 2, "B+") == 0   ? "black wins"
                             : re.compare(0, 2, "W+") == 0 ? "white wins"
                                                           : "draw";
        const char* end = te.find("five") != std::string::npos        ? "five"
                          : te.find("forbidden") != std::string::npos ? "foul"
                          : te.find("board") != std::string::npos     ? "full"
                                                                      : "other";
        out.push_back(moves + " # " + result + " (" + end + ")");
    }
    return out;
}

// The position on the board (the first n moves of g) as a shape sample: its
// features, the rest of evaluate(), and a search's verdict (from the labels
// file when it knows the position).
void collect_shapes(const GameRecord& g, int n, const Sample& s) {
    ShapeSample out;
    out.mover = s.mover;
    out.valid = s.valid;
    out.result = float(s.result);
    const int value = kq2::evaluate();
    int fitted_part = 0;
    std::map<int, float> features;
    for (int theirs = 0; theirs < 2; ++theirs) {
        const uint8_t colour = theirs ? uint8_t(1 - s.mover) : s.mover;
        const int sign = theirs ? -1 : 1;
        for (int sq = 0; sq < 256; ++sq) {
            const int key = shape_key[colour][sq];
            const uint8_t k = class_by_key[colour][key];
            if (cells[sq] != EMPTY || k < CLASS_TWO || k > CLASS_FOUR_MORE) continue;
            const int combo = kq2::shape_combos.of_key[key];
            fitted_part += sign * kq2::restricted_value(
                                      kq2::combo_weight(s.mover, theirs != 0, combo, k), colour, k);
            features[theirs * kq2::SHAPE_COMBOS + combo] += float(sign * class_factor(colour, k));
        }
    }
    out.fixed = float(value - fitted_part);
    for (const auto& f : features) out.features.emplace_back(uint16_t(f.first), f.second);

    std::string moves;
    for (int i = 0; i < n; ++i) {
        moves += char('A' + (g.moves[i] & 15));
        moves += char('A' + (g.moves[i] >> 4));
    }
    const auto known = shape_options.known.find(moves);
    int search;
    if (shape_options.mix <= 0) {
        search = 0; // the target is the game's result alone
    } else if (known != shape_options.known.end()) {
        search = known->second;
    } else if (shape_options.label_depth <= 0) {
        return;
    } else {
        GameRecord r = g;
        r.count = uint8_t(n);
        kq2::settings.max_depth = shape_options.label_depth;
        kq2::settings.max_nodes = LABEL_NODES;
        think_start = clock_ms();
        think_budget = INT32_MAX;
        kq2::think(r);
        search = kq2::report.value;
        ++shape_options.searched;
        shape_options.known[moves] = search;
        if (shape_options.append) {
            std::fprintf(shape_options.append, "%s %d\n", moves.c_str(), search);
            std::fflush(shape_options.append);
        }
        load_position(r); // as the caller left it
    }
    out.search = int16_t(search);
    shape_data.push_back(std::move(out));
}

// Games seen so far, by their moves: a game played twice (an engine against
// itself often repeats the game of the other colour) is read once.
void read_log(const char* path, int valid_percent, int fold, std::set<std::string>& seen,
              std::vector<Sample>& out, ReadStats& st) {
    const Tables current = current_tables();
    std::ifstream in(path);
    if (!in) {
        std::fprintf(stderr, "kq2-tune: cannot open %s\n", path);
        std::exit(2);
    }
    std::vector<std::string> lines;
    for (std::string read; std::getline(in, read);) lines.push_back(read);
    if (!lines.empty() && lines[0].compare(0, 2, "(;") == 0) {
        std::string text;
        for (const std::string& l : lines) text += l;
        lines = sgf_games(text);
    }
    for (const std::string& line : lines) {
        const size_t hash = line.find(" # ");
        if (hash == std::string::npos) continue;
        const std::string tail = line.substr(hash + 3);
        const double black_result = parse_result(tail);
        GameRecord g;
        if (black_result < 0 || !decided_on_board(tail) || !parse_moves(line.substr(0, hash), g) ||
            (tail.find(", rule ") != std::string::npos &&
             tail.find(", rule renju") == std::string::npos)) {
            ++st.skipped;
            continue;
        }
        if (!seen.insert(line.substr(0, hash)).second) {
            ++st.repeats;
            continue;
        }
        const int bucket = int(opening_hash(g) % 100);
        const bool valid = bucket >= fold * valid_percent && bucket < (fold + 1) * valid_percent;
        ++st.games;
        st.valid_games += valid;
        st.black_score += black_result;
        const int full = g.count;
        for (int n = SKIP_FIRST; n < full - SKIP_LAST; ++n) {
            g.count = uint8_t(n);
            if (!load_position(g)) break;
            ++st.positions;
            if (!quiet()) continue;
            Sample s;
            s.mover = uint8_t(~n & 1);
            const uint8_t other = uint8_t(1 - s.mover);
            for (int i = 0; i < CLASSES; ++i) {
                s.own[i] = int16_t(class_count[s.mover][FIRST + i]);
                s.their[i] = int16_t(class_count[other][FIRST + i]);
            }
            s.valid = valid;
            s.result = s.mover == BLACK ? black_result : 1.0 - black_result;
            st.differ += exact_eval(s, current) != kq2::evaluate();
            out.push_back(s);
            ++st.kept;
            if (shape_options.on) collect_shapes(g, n, s);
        }
    }
}

void report_fit(const char* title, const std::vector<Sample>& data, const Tables& t, double k,
                const Errors& before) {
    const Errors e = errors(data, t, k);
    std::printf("\n%s: train %.6f (was %.6f), validation %.6f (was %.6f), mean |eval| %.0f\n",
                title, e.train, before.train, e.valid, before.valid, mean_size(data, t));
}

// The class of a combination for a colour under the rule in force.
uint8_t combo_class(uint8_t colour, int combo) {
    const uint8_t* sh = kq2::shape_combos.shapes[combo];
    return class_by_key[colour][sh[0] + 11 * sh[1] + 121 * sh[2] + 1331 * sh[3]];
}

double shape_eval(const ShapeSample& s, const std::vector<double>& w) {
    double v = s.fixed;
    const size_t base = size_t(s.mover) * FEATURES;
    for (const auto& f : s.features) v += f.second * w[base + f.first];
    return v;
}

// --shapes: fits one weight per shape combination (by mover and side) so that
// the static value predicts the target: the search's verdict on the position
// (a proven result as 1 or 0, a value through the sigmoid of K), mixed with
// the game's result by --mix. Prints the error of evaluate() and of the fit,
// and the entries of shape_weights.inc that differ from the class weights.
void fit_shapes(double k, int min_count, int iters, double ridge) {
    constexpr int SC = kq2::SHAPE_COMBOS;
    for (ShapeSample& s : shape_data) {
        const double label = s.search > kq2::MATE_BOUND    ? 1.0
                             : s.search < -kq2::MATE_BOUND ? 0.0
                                                           : sigmoid(s.search / k);
        s.target = float(shape_options.mix * label + (1 - shape_options.mix) * s.result);
    }
    const size_t np = size_t(2 * FEATURES);
    std::vector<double> w0(np), w(np);
    std::vector<int> seen(np, 0);
    long n_train = 0;
    for (const ShapeSample& s : shape_data) {
        if (s.valid) continue;
        ++n_train;
        for (const auto& f : s.features) ++seen[size_t(s.mover) * FEATURES + f.first];
    }
    std::vector<size_t> free;
    for (size_t p = 0; p < np; ++p) {
        const uint8_t mover = uint8_t(p / FEATURES);
        const bool theirs = p % FEATURES / SC != 0;
        const int combo = int(p % FEATURES % SC);
        const uint8_t colour = theirs ? uint8_t(1 - mover) : mover;
        const uint8_t cls = combo_class(colour, combo);
        w0[p] = w[p] = kq2::combo_weight(mover, theirs, combo, cls);
        if (seen[p] >= min_count && cls >= CLASS_TWO && cls <= CLASS_FOUR_MORE) free.push_back(p);
    }
    auto scale = [&](size_t p) { return std::max(4.0, std::abs(w0[p])); };
    auto error = [&](const std::vector<double>& x, bool valid, bool by_result) {
        double sum = 0;
        long n = 0;
        for (const ShapeSample& s : shape_data) {
            if (s.valid != valid) continue;
            const double d = (by_result ? s.result : s.target) - sigmoid(shape_eval(s, x) / k);
            sum += d * d;
            ++n;
        }
        return n ? sum / double(n) : 0.0;
    };
    std::printf("\nshapes: %zu samples (%ld training), %ld searched now at depth %d, mix %.2f, "
                "%zu weights free\n",
                shape_data.size(), n_train, shape_options.searched, shape_options.label_depth,
                shape_options.mix, free.size());
    std::printf("before: target train %.6f validation %.6f; result validation %.6f\n",
                error(w, false, false), error(w, true, false), error(w, true, true));

    std::vector<double> mom(np, 0.0), var(np, 0.0), g(np);
    const double beta1 = 0.9, beta2 = 0.999;
    for (int it = 1; it <= iters; ++it) {
        std::fill(g.begin(), g.end(), 0.0);
        for (const ShapeSample& s : shape_data) {
            if (s.valid) continue;
            const double p = sigmoid(shape_eval(s, w) / k);
            const double d = 2 * (p - s.target) * p * (1 - p) / k / double(n_train);
            const size_t base = size_t(s.mover) * FEATURES;
            for (const auto& f : s.features) g[base + f.first] += d * f.second;
        }
        const double lr = 2.0 * std::pow(0.025, double(it) / iters);
        for (const size_t p : free) {
            const double sc = scale(p);
            const double gj = g[p] + 2 * ridge * (w[p] - w0[p]) / (sc * sc) / double(free.size());
            mom[p] = beta1 * mom[p] + (1 - beta1) * gj;
            var[p] = beta2 * var[p] + (1 - beta2) * gj * gj;
            const double mh = mom[p] / (1 - std::pow(beta1, it)),
                         vh = var[p] / (1 - std::pow(beta2, it));
            w[p] -= lr * mh / (std::sqrt(vh) + 1e-12);
        }
    }
    for (const size_t p : free) w[p] = double(std::lround(w[p]));
    std::printf("fitted: target train %.6f validation %.6f; result validation %.6f\n",
                error(w, false, false), error(w, true, false), error(w, true, true));

    std::printf("\n// shape_weights.inc: {mover, theirs, combination, weight}\n");
    // Every weight that is not its class weight, fitted now or kept from before.
    for (size_t p = 0; p < np; ++p) {
        const uint8_t mover = uint8_t(p / FEATURES);
        const int theirs = int(p % FEATURES / SC), combo = int(p % FEATURES % SC);
        const uint8_t cls = combo_class(theirs ? uint8_t(1 - mover) : mover, combo);
        if (cls < CLASS_TWO || cls > CLASS_FOUR_MORE ||
            w[p] == (theirs ? kq2::their_weight : kq2::own_weight)[mover][cls])
            continue;
        const uint8_t* sh = kq2::shape_combos.shapes[combo];
        std::printf("{%d, %d, %d, %ld}, // %s to move, %s: shapes %d %d %d %d, class %d, was %ld, "
                    "seen %d\n",
                    mover, theirs, combo, std::lround(w[p]), mover == BLACK ? "black" : "white",
                    theirs ? "theirs" : "own", sh[0], sh[1], sh[2], sh[3],
                    combo_class(theirs ? uint8_t(1 - mover) : mover, combo), std::lround(w0[p]),
                    seen[p]);
    }
}

} // namespace

int main(int argc, char** argv) {
    int valid_percent = 20, fold = 0, min_count = 40, iters = 3000;
    double ridge = 0;
    const char* features = nullptr;
    std::vector<const char*> logs;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool has_value = i + 1 < argc;
        if (a == "--valid" && has_value) {
            valid_percent = std::atoi(argv[++i]);
        } else if (a == "--fold" && has_value) {
            fold = std::atoi(argv[++i]);
        } else if (a == "--ridge" && has_value) {
            ridge = std::atof(argv[++i]);
        } else if (a == "--min" && has_value) {
            min_count = std::atoi(argv[++i]);
        } else if (a == "--iters" && has_value) {
            iters = std::atoi(argv[++i]);
        } else if (a == "--shapes") {
            shape_options.on = true;
        } else if (a == "--label-depth" && has_value) {
            shape_options.label_depth = std::atoi(argv[++i]);
        } else if (a == "--mix" && has_value) {
            shape_options.mix = std::atof(argv[++i]);
        } else if (a == "--labels" && has_value) {
            shape_options.labels = argv[++i];
        } else if (a == "--features" && has_value) {
            features = argv[++i];
        } else if (a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "usage: kq2-tune [--valid P] [--fold F] [--ridge R] [--min N] "
                                 "[--iters N] [--features FILE]\n"
                                 "                [--shapes [--label-depth D] [--mix M] "
                                 "[--labels FILE]] LOG...\n");
            return 2;
        } else {
            logs.push_back(argv[i]);
        }
    }
    if (logs.empty()) {
        std::fprintf(stderr, "kq2-tune: no game logs given\n");
        return 2;
    }

    engine_init();
    if (!engine_initialised) {
        std::fprintf(stderr, "kq2-tune: engine set-up failed\n");
        return 1;
    }
    select_rule(RULE_RENJU);
    kq2::refresh_evaluation();
    if (shape_options.labels) {
        std::ifstream known(shape_options.labels);
        std::string moves;
        int value;
        while (known >> moves >> value) shape_options.known[moves] = value;
        shape_options.append = std::fopen(shape_options.labels, "a");
    }
    std::vector<Sample> data;
    ReadStats st;
    std::set<std::string> seen;
    for (const char* path : logs) read_log(path, valid_percent, fold, seen, data, st);
    long n_valid = 0, n_black = 0;
    double black_mover_score = 0;
    for (const Sample& s : data) {
        n_valid += s.valid;
        if (s.mover == BLACK) {
            ++n_black;
            black_mover_score += s.result;
        }
    }
    std::printf("games %ld (validation %ld; repeats %ld and %ld other lines left out), black "
                "scored %.3f\n",
                st.games, st.valid_games, st.repeats, st.skipped,
                st.games ? st.black_score / double(st.games) : 0.0);
    std::printf("positions %ld, quiet %ld: training %ld, validation %ld; black to move %ld "
                "(scoring %.3f)\n",
                st.positions, st.kept, st.kept - n_valid, n_valid, n_black,
                n_black ? black_mover_score / double(n_black) : 0.0);
    // The weights are eval.cpp's own: a difference means evaluate() has
    // moved on from the model here (its rounding, or what it counts).
    if (st.differ)
        std::printf("note: evaluate() differs from the model here on %ld positions\n", st.differ);
    if (data.empty() || n_valid == long(data.size())) {
        std::fprintf(stderr, "kq2-tune: no training positions\n");
        return 1;
    }

    if (features) {
        FILE* f = std::fopen(features, "w");
        if (!f) {
            std::fprintf(stderr, "kq2-tune: cannot write %s\n", features);
            return 2;
        }
        for (const Sample& s : data) {
            std::fprintf(f, "%c %.1f", s.mover == BLACK ? 'b' : 'w', s.result);
            for (const int16_t c : s.own) std::fprintf(f, " %d", c);
            for (const int16_t c : s.their) std::fprintf(f, " %d", c);
            std::fprintf(f, " %c\n", s.valid ? 'v' : 't');
        }
        std::fclose(f);
    }

    // How often each class occurs, by the colour it is counted for.
    std::printf("\nclass            positions holding it (mean count)\n"
                "                 black     white\n");
    for (int k = FIRST; k <= LAST; ++k) {
        long held[2] = {0, 0};
        double sum[2] = {0, 0};
        for (const Sample& s : data) {
            const uint8_t m = s.mover, o = uint8_t(1 - m);
            held[m] += s.own[k - FIRST] > 0;
            held[o] += s.their[k - FIRST] > 0;
            sum[m] += s.own[k - FIRST];
            sum[o] += s.their[k - FIRST];
        }
        const double n = double(data.size());
        std::printf("%2d %-12s %6ld (%5.2f) %6ld (%5.2f)\n", k, class_name[k], held[BLACK],
                    sum[BLACK] / n, held[WHITE], sum[WHITE] / n);
    }

    const Tables current = current_tables();
    const double k = fit_k(data, current);
    const Errors before = errors(data, current, k);
    double mean = 0;
    long n_train = 0;
    for (const Sample& s : data)
        if (!s.valid) mean += s.result, ++n_train;
    mean /= double(n_train);
    double flat[2] = {0, 0};
    for (const Sample& s : data) flat[s.valid] += (s.result - mean) * (s.result - mean);
    std::printf("\nK %.1f\nerror of the current weights: train %.6f, validation %.6f, mean "
                "|eval| %.0f\n"
                "error of a constant %.3f: train %.6f, validation %.6f\n",
                k, before.train, before.valid, mean_size(data, current), mean,
                flat[0] / double(n_train), n_valid ? flat[1] / double(n_valid) : 0.0);

    if (shape_options.on) {
        fit_shapes(k, min_count, iters, ridge);
        return 0;
    }

    Tables fitted[2] = {current, current};
    for (int split = 0; split < 2; ++split) {
        const std::vector<Param> params = free_params(data, split != 0, min_count);
        for (const Param& p : params) set_param(fitted[split], p, int(std::lround(prior_value(p))));
        descend(data, params, fitted[split], k, iters, ridge);
        polish(data, params, fitted[split], k, ridge);
        report_fit(split ? "one pair of tables per mover colour" : "one pair of tables", data,
                   fitted[split], k, before);
        std::printf("fitted:");
        for (const Param& p : params)
            std::printf(" %s%s%d", p.own ? "own" : "their",
                        p.movers == 3           ? ""
                        : p.movers >> BLACK & 1 ? "/b"
                                                : "/w",
                        p.k);
        std::printf("\n");
        if (!split) {
            print_table("own_weight", fitted[0].own[0]);
            print_table("their_weight", fitted[0].their[0]);
        } else {
            std::printf("// black to move: own weighs black's squares, their white's\n");
            print_table("own_weight_black", fitted[1].own[BLACK]);
            print_table("their_weight_black", fitted[1].their[BLACK]);
            std::printf("// white to move: own weighs white's squares, their black's\n");
            print_table("own_weight_white", fitted[1].own[WHITE]);
            print_table("their_weight_white", fitted[1].their[WHITE]);
        }
    }

    std::printf("\nclass            now (black)  shared    black moves  white moves\n"
                "                 own their   own their  own their    own their\n");
    for (int c = FIRST; c <= LAST; ++c)
        std::printf("%2d %-12s %4d %4d  %4d %4d  %4d %4d    %4d %4d\n", c, class_name[c],
                    current_own[BLACK][c], current_their[BLACK][c], fitted[0].own[0][c],
                    fitted[0].their[0][c], fitted[1].own[BLACK][c], fitted[1].their[BLACK][c],
                    fitted[1].own[WHITE][c], fitted[1].their[WHITE][c]);
    return 0;
}
